#pragma once
// The window's Dialogs: Qt message boxes and folder chooser, the skinned confirmation box and the
// About box. Every box is also printed on stderr as "[caption] text". With
// UPWEND_DIALOG_ANSWER=ok|cancel|yes|no set (scripted runs and tests) the modal boxes are not
// shown but answered by that policy, as in headless mode.
#include <memory>
#include <optional>

#include "app/shell/dialogs.h"

class QWidget;

namespace upwend {

class TFormMessagebox;
class TVorezUzeAboutForm;

class QtDialogs final : public Dialogs {
public:
  QtDialogs();
  ~QtDialogs() override;

  // The window the boxes are centred on; may be null.
  void SetOwner(QWidget* owner) { owner_ = owner; }
  // Every guide ends as if walked to its end, without a page shown or a check made: for pictures
  // of the window in set states, where no device is there for a guide's checks.
  void AnswerGuidesDone() { guidesDone_ = true; }

  int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;
  std::optional<std::string> ChooseFolder(const std::string& caption, const std::string& startFolder) override;
  int ConfirmUpdate(const std::string& title, int projectType) override;
  void ShowAbout(const ProductConfig& config, const AboutInputs& inputs) override;
  // The guide in its window; scripted runs walk it as headless runs do.
  int ShowGuide(GuideWizard& wizard) override;

  TFormMessagebox& messageBoxForm();
  TVorezUzeAboutForm& aboutForm();
  bool scripted() const { return scripted_ != nullptr; }

private:
  QWidget* owner_ = nullptr;
  bool guidesDone_ = false;
  std::unique_ptr<HeadlessDialogs> scripted_;
  std::unique_ptr<TFormMessagebox> messageBox_;
  std::unique_ptr<TVorezUzeAboutForm> about_;
};

}  // namespace upwend
