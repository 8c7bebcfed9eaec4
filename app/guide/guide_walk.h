#pragma once
// A wizard answered without a window: `finish` reads every page and finishes it (ticking the
// licence box, choosing Agree, pressing Start); otherwise the user quits from the first page and
// answers the quit question with Yes. Each page passed is printed as "[guide] title" and the
// question as "[caption] text", one line each through `print`.
#include <functional>
#include <string>

namespace upwend {

class GuideWizard;

// Returns the modal result the wizard closed with.
int WalkGuide(GuideWizard& wizard, bool finish, const std::function<void(const std::string&)>& print);

}  // namespace upwend
