#pragma once
// Modal message boxes, the folder chooser and the guide wizards go through Dialogs: Qt boxes
// and windows in the window, printed and answered by policy in headless runs and tests.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/shell/about_content.h"
#include "platform/message_box.h"

namespace upwend {

class GuideWizard;
struct ProductConfig;

class Dialogs {
public:
  virtual ~Dialogs() = default;
  // Shows a modal box and returns the button pressed.
  virtual int MessageBox(const std::string& text, const std::string& caption, unsigned flags) = 0;
  // Shows the folder chooser with `caption`, starting at `startFolder`; the chosen folder, or
  // nothing when it was cancelled. A front end without a chooser cancels.
  virtual std::optional<std::string> ChooseFolder(const std::string& caption, const std::string& startFolder) {
    return std::nullopt;
  }
  // Shows a guide wizard modally and returns its modal result (kGuideOk to go on). A front end
  // without guide windows cannot let the user read and accept one, so the guide is not confirmed.
  virtual int ShowGuide(GuideWizard& wizard);
  // The skinned OK/Cancel box that confirms an update (customer variants); kIdOk or kIdCancel.
  // Without a skinned box it is an ordinary OK/Cancel box.
  virtual int ConfirmUpdate(const std::string& title, int projectType) {
    return MessageBox(kConfirmUpdateText, title, kMbOkCancel);
  }
  // Opens the modeless About box with the texts handed over; nothing without a window.
  virtual void ShowAbout(const ProductConfig& config, const AboutInputs& inputs) {}

  static constexpr const char* kConfirmUpdateText =
      "他のアプリケーションをすべて終了して下さい。電源アダプタを接続し、PCのサスペンド又は、シャットダウンを絶対にしないで下"
      "さい。ソフトウェアのアップデートを開始しますか？";
};

// --answer ok|cancel|yes|no
enum class AnswerPolicy { Ok, Cancel, Yes, No };
std::optional<AnswerPolicy> ParseAnswerPolicy(std::string_view text);

struct ShownMessage {
  std::string caption;
  std::string text;
  unsigned flags = 0;
  int answer = 0;
};

// Prints each box as "[caption] text" (to stderr unless a sink is given) and answers it by
// policy: a box with one OK button is always answered OK; OK/Cancel takes ok and yes as OK; Yes/No
// takes ok and yes as Yes. Keeps what it showed, for tests.
class HeadlessDialogs final : public Dialogs {
public:
  explicit HeadlessDialogs(AnswerPolicy policy = AnswerPolicy::Ok,
                           std::function<void(const std::string&)> sink = nullptr);
  int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;
  // Printed as "[caption] folder"; ok and yes confirm the folder set by SetFolderAnswer (the
  // start folder when none is set), cancel and no cancel.
  std::optional<std::string> ChooseFolder(const std::string& caption, const std::string& startFolder) override;
  void SetFolderAnswer(std::string folder) { folderAnswer_ = std::move(folder); }
  // ok and yes finish the wizard, cancel and no quit it; each page passed is printed as
  // "[guide] title".
  int ShowGuide(GuideWizard& wizard) override;
  const std::vector<ShownMessage>& shown() const { return shown_; }

private:
  void Print(const std::string& line);

  AnswerPolicy policy_;
  std::function<void(const std::string&)> sink_;
  std::vector<ShownMessage> shown_;
  std::optional<std::string> folderAnswer_;
};

}  // namespace upwend
