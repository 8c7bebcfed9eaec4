#pragma once
// The guide wizards that customer builds show before the main window is used. Each wizard is a
// plain state model of its window (pages, buttons, the modal result); the Qt windows render it
// and forward clicks, the headless front end walks it, tests drive it directly. Finishing lets
// start-up go on; anything else ends the program.
#include <functional>
#include <string>

#include "app/shell/window_state.h"

namespace upwend {

enum class GuideKind {
  None,
  Guide,   // TFormGuide: Japanese, project types 2 and 6
  Guide1,  // TFormGuide1: English, project type 19
  Guide2,  // TFormGuide2: Japanese, 42, 3 with a variant, 28 (start notice only)
  Guide3,  // TFormGuide3: Chinese, project type 41
};

// "TFormGuide" ... "TFormGuide3"; "" for None.
const char* GuideWindowName(GuideKind kind);
GuideKind GuideKindNamed(const std::string& windowName);

// The quit question a wizard asks before it lets the user leave.
struct QuitQuestion {
  std::string text;
  std::string caption;
  bool ownedByApplication = true;  // false: a plain system box without an owner window
};
// Shows the question as a Yes/No box; true for Yes.
using QuitQuestionBox = std::function<bool(const QuitQuestion&)>;

// Modal results, as the message box answers.
constexpr int kGuideOpen = 0;
constexpr int kGuideOk = 1;
constexpr int kGuideCancel = 2;

class GuideWizard {
public:
  virtual ~GuideWizard() = default;
  virtual GuideKind kind() const = 0;
  // The heading of the page shown now (what the headless front end prints for it).
  virtual std::string PageTitle() const = 0;
  // The title-bar close button or Alt+F4.
  virtual void Close() = 0;

  const std::string& caption() const { return caption_; }
  void SetCaption(std::string caption) { caption_ = std::move(caption); }
  int modalResult() const { return modalResult_; }
  bool closed() const { return closed_; }
  // Where the question goes; the front end showing the wizard may replace it.
  void SetQuestionBox(QuitQuestionBox box) { ask_ = std::move(box); }

protected:
  // Setting a modal result ends the modal loop when the close query lets the window close;
  // otherwise the result is taken back and the wizard stays open.
  void EndModal(int result);
  virtual bool CloseQuery() { return true; }
  bool Ask(const QuitQuestion& question) const { return ask_ && ask_(question); }
  void MarkClosed(int result) {
    modalResult_ = result;
    closed_ = true;
  }

private:
  std::string caption_;
  int modalResult_ = kGuideOpen;
  bool closed_ = false;
  QuitQuestionBox ask_;
};

}  // namespace upwend
