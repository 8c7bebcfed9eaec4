#pragma once
// The guide wizards in their Qt windows.
class QWidget;

namespace upwend {

class GuideWizard;

// Shows `wizard` modally in its window (TFormGuide ... TFormGuide3) and returns its modal
// result. The quit question is a Qt Yes/No box, owned by the wizard's window or by none as the
// wizard asks. Throws SkinError when a picture of the window cannot be read.
int ShowGuideWindow(GuideWizard& wizard, QWidget* owner);

}  // namespace upwend
