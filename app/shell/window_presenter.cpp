#include "app/shell/window_presenter.h"

#include "app/run/run_control.h"
#include "app/shell/dialogs.h"
#include "app/shell/update_shell.h"
#include "app/shell/variant_texts.h"
#include "engine/worker/project_rules.h"
#include "platform/clock.h"
#include "platform/processes.h"
#include "platform/ui_thread.h"

namespace upwend {

namespace {

constexpr uint64_t kCloseSettleMs = 200;
constexpr const char* kCloseQuestion2728 = "ダウンロード実行中です。終了しますか？";
constexpr const char* kCloseQuestion = "There are tasks still downloading, do you want to terminate?";
constexpr const char* kCancelQuestion = "アップデートツールを終了しますか？";

}  // namespace

uint32_t StatusBarColour(int statusState) {
  switch (statusState) {
    case kStatusBarFailure: return 0xFF0000;
    case kStatusBarSuccess: return 0x008000;
    default: return 0x000000;
  }
}

WindowPresenter::WindowPresenter(UpdateShell& shell, WindowFrontEnd frontEnd)
    : shell_(shell), frontEnd_(std::move(frontEnd)) {}

StartPicture WindowPresenter::RefreshedStart() const {
  return shell_.state().StartButton.enabled ? StartPicture::Normal : StartPicture::Disabled;
}

// ---- dragging --------------------------------------------------------------------------------

void WindowPresenter::BackgroundDown(int x, int y) {
  WindowState& st = shell_.state();
  dragging_ = true;
  dragCursorX_ = x;
  dragCursorY_ = y;
  dragLeft_ = st.left;
  dragTop_ = st.top;
}

void WindowPresenter::BackgroundMove(int x, int y) {
  // A move over the background is how a hover picture goes back to normal.
  shell_.RefreshStartPictures();
  if (!dragging_) return;
  WindowState& st = shell_.state();
  st.left = dragLeft_ + (x - dragCursorX_);
  st.top = dragTop_ + (y - dragCursorY_);
}

void WindowPresenter::BackgroundUp() { dragging_ = false; }

// ---- Start and Finish pictures ---------------------------------------------------------------

void WindowPresenter::StartMove() {
  WindowState& st = shell_.state();
  if (st.startPicture == StartPicture::Normal && st.StartButton.enabled) st.startPicture = StartPicture::Hover;
}

void WindowPresenter::StartDown() {
  WindowState& st = shell_.state();
  startPressedOn_ = st.startPicture;
  startDownSeen_ = true;
  if (st.startPicture == StartPicture::Hover && st.StartButton.enabled) st.startPicture = StartPicture::Pressed;
}

void WindowPresenter::StartUp() {
  WindowState& st = shell_.state();
  // The release goes to the picture that took the press, even though another one shows now.
  StartPicture on = startDownSeen_ ? startPressedOn_ : st.startPicture;
  startDownSeen_ = false;
  if (on == StartPicture::Hover) {
    shell_.runControl().StartClick();
    st.startPicture = RefreshedStart();
  } else if (on == StartPicture::Normal) {
    st.startPicture = RefreshedStart();
  }
}

void WindowPresenter::FinishMove() {
  WindowState& st = shell_.state();
  if (st.finishPicture == StartPicture::Normal && st.CloseButton.enabled) st.finishPicture = StartPicture::Hover;
}

void WindowPresenter::FinishDown() {
  WindowState& st = shell_.state();
  finishPressedOn_ = st.finishPicture;
  finishDownSeen_ = true;
  if (st.finishPicture == StartPicture::Hover) st.finishPicture = StartPicture::Pressed;
}

void WindowPresenter::FinishUp() {
  WindowState& st = shell_.state();
  StartPicture on = finishDownSeen_ ? finishPressedOn_ : st.finishPicture;
  finishDownSeen_ = false;
  if (on != StartPicture::Normal && on != StartPicture::Hover) return;
  st.finishPicture = StartPicture::Normal;
  if (on != StartPicture::Hover) return;
  if (shell_.runControl().running()) {
    const bool japanese = project::UsesJapaneseLayout(shell_.config().projectType);
    int answer = japanese ? shell_.dialogs().MessageBox(kCloseQuestion2728, ConfirmBoxTitle(shell_.config()), kMbYesNo)
                          : shell_.dialogs().MessageBox(kCloseQuestion, "Close", kMbOkCancel);
    if (answer != kIdYes && answer != kIdOk) return;
    closeConfirmed_ = true;
  }
  CloseWindow();
}

// ---- close, minimise, About ------------------------------------------------------------------

void WindowPresenter::CloseDown() { shell_.state().closePressed = true; }

void WindowPresenter::CloseUp() {
  shell_.state().closePressed = false;
  if (!shell_.runControl().running()) {
    shell_.EndDeviceWatch();
    shell_.clock().SleepMs(kCloseSettleMs);
    CloseWindow();
    return;
  }
  if (!project::UsesJapaneseLayout(shell_.config().projectType)) return;  // a running update keeps the window
  if (shell_.dialogs().MessageBox(kCloseQuestion2728, ConfirmBoxTitle(shell_.config()), kMbYesNo) != kIdYes) return;
  closeConfirmed_ = true;
  CloseWindow();
}

void WindowPresenter::MinDown() { shell_.state().minPressed = true; }

void WindowPresenter::MinUp() {
  WindowState& st = shell_.state();
  st.minPressed = false;
  st.minimised = true;
  if (frontEnd_.minimise) frontEnd_.minimise();
}

void WindowPresenter::AboutDown() { shell_.state().aboutPressed = true; }

void WindowPresenter::AboutUp() {
  WindowState& st = shell_.state();
  st.aboutPressed = false;
  AboutInputs inputs{shell_.config().caption, st.settingsSummary.text, st.applicationTitle, st.Label_title.text};
  shell_.dialogs().ShowAbout(shell_.config(), inputs);
}

void WindowPresenter::CloseWindow() {
  if (frontEnd_.close) frontEnd_.close();
}

bool WindowPresenter::FormCloseQuery() {
  // A question the user has just answered Yes is not asked a second time.
  if (closeConfirmed_) {
    closeConfirmed_ = false;
    shell_.runControl().NoteCloseConfirmed();
    return true;
  }
  return shell_.runControl().FormCloseQuery();
}

// ---- the guided layout -----------------------------------------------------------------------

void WindowPresenter::NextClick() {
  WindowState& st = shell_.state();
  if (!st.Label21.enabled || !st.Label21.visible) return;
  const int step = st.guideStep++;
  ShowGuideStep(step, step == 1 && shell_.ReleaseKindDiffers());
}

void WindowPresenter::ShowGuideStep(int step, bool releaseKindDiffers, bool start) {
  WindowState& st = shell_.state();
  auto text = [](const std::string& t) { return LabelState{t, true, true, "", 0, 0, false, true}; };
  if (step == 0) {
    st.Memo1.visible = false;
    st.Label13.text = "Device Check";
    st.Label14 = text(ConnectDeviceLine(shell_.config()));
    st.Label15 = text("「次へ」を選択してください");
    if (st.PortCBox.text.empty() || st.SerialPortCBox.text.empty()) st.Label21.enabled = false;
  } else if (step == 1) {
    if (!releaseKindDiffers) return;  // nothing changes; the next click is step 2
    st.Memo1.visible = false;
    st.Label13.text = "Update";
    st.Label14 = text("本アップデートツールは適用できません。");
    st.Label15 = text("メーカーへお問い合わせください。");
    st.Label20.visible = st.Image16.visible = false;
    st.Label21.visible = st.Image17.visible = false;
    st.Label16.visible = st.Image4.visible = true;
  } else if (step == 2) {
    st.Memo1.visible = false;
    st.Label13.text = "Update";
    st.Label14 = text("アップデートしています");
    st.Label15 = text("しばらくお待ちください");
    st.Label20.visible = st.Image16.visible = false;
    st.Label21.visible = st.Image17.visible = false;
    st.Label16.visible = st.Image4.visible = false;
    st.ProgressBar.visible = true;
    if (!start) return;
    if (frontEnd_.processEvents) frontEnd_.processEvents();
    shell_.runControl().StartClick();
  }
}

void WindowPresenter::CancelClick() {
  if (shell_.dialogs().MessageBox(kCancelQuestion, "Exit", kMbYesNo) == kIdYes) ExitClick();
}

void WindowPresenter::ExitClick() {
  shell_.EndDeviceWatch();
  shell_.clock().SleepMs(kCloseSettleMs);
  CloseWindow();
  KillProcessesContaining("7318");
  KillProcessesContaining("KV518TQR");
}

void WindowPresenter::ResultPanelButtonClick() { shell_.ui().Quit(0); }

}  // namespace upwend
