// MainWindowView, second file: binding the mouse to the presenter, and rendering the state
// model. The widgets are built in main_window_view.cpp.
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMovie>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>

#include "app/qt/main_window_view.h"
#include "app/qt/skin/label_style.h"
#include "app/qt/status_panel.h"
#include "app/qt/skin/picture_label.h"
#include "app/qt/skin/skin.h"
#include "app/run/run_control.h"
#include "app/shell/update_shell.h"
#include "app/shell/variant_texts.h"
#include "platform/ui_thread.h"

namespace upwend {

namespace {

constexpr int kStartInViewTop = 212;

template <typename F>
std::function<void(QPoint)> Ignoring(F f) {
  return [f](QPoint) { f(); };
}

PictureLabel* AsPicture(QWidget* w) { return static_cast<PictureLabel*>(w); }

}  // namespace

void MainWindowView::BindMouse() {
  WindowPresenter& p = *presenter_;
  auto after = [this](auto f) { return [this, f](QPoint at) { f(at); Render(); }; };
  auto bg = AsPicture(Element("Image_Big"));
  bg->onPress = after([&p](QPoint at) { p.BackgroundDown(at.x(), at.y()); });
  bg->onMove = after([&p](QPoint at) { p.BackgroundMove(at.x(), at.y()); });
  bg->onRelease = after([&p](QPoint) { p.BackgroundUp(); });
  auto start = AsPicture(Element("Image_start"));
  start->onMove = after(Ignoring([&p] { p.StartMove(); }));
  start->onPress = after(Ignoring([&p] { p.StartDown(); }));
  start->onRelease = after(Ignoring([&p] { p.StartUp(); }));
  auto finish = AsPicture(Element("Image_finish"));
  finish->onMove = after(Ignoring([&p] { p.FinishMove(); }));
  finish->onPress = after(Ignoring([&p] { p.FinishDown(); }));
  finish->onRelease = after(Ignoring([&p] { p.FinishUp(); }));
  auto close0 = AsPicture(Element("Image_close0"));
  close0->onPress = after(Ignoring([&p] { p.CloseDown(); }));
  close0->onRelease = after(Ignoring([&p] { p.CloseUp(); }));
  for (const char* name : {"Image_min0", "Image6"}) {
    auto min = AsPicture(Element(name));
    min->onPress = after(Ignoring([&p] { p.MinDown(); }));
    min->onRelease = after(Ignoring([&p] { p.MinUp(); }));
  }
  // Label18 lies over Image7 and takes its mouse: pressed picture, then Exit.
  auto label18 = AsPicture(Element("Label18"));
  label18->onPress = after(Ignoring([this] { shell_->state().closePressed = true; }));
  label18->onRelease = after(Ignoring([this] { shell_->state().closePressed = false; }));
  label18->onClick = [this, &p] { p.ExitClick(); Render(); };
  for (const char* name : {"Label_about1", "Label_about", "Label_about_japanese"}) {
    auto about = AsPicture(Element(name));
    about->onPress = after(Ignoring([&p] { p.AboutDown(); }));
    about->onRelease = after(Ignoring([&p] { p.AboutUp(); }));
  }
  AsPicture(Element("Label21"))->onClick = [this, &p] { p.NextClick(); Render(); };
  AsPicture(Element("Label20"))->onClick = [this, &p] { p.CancelClick(); Render(); };
  AsPicture(Element("Label16"))->onClick = [this, &p] { p.ExitClick(); Render(); };
  for (const char* name : {"SpeedButton1", "SpeedButton2"})
    connect(static_cast<QPushButton*>(Element(name)), &QPushButton::clicked, this, [&p] { p.ResultPanelButtonClick(); });
}

void MainWindowView::Attach(UpdateShell& shell) {
  shell_ = &shell;
  WindowFrontEnd fe;
  fe.minimise = [this] { showMinimized(); };
  fe.close = [this] { close(); };
  fe.processEvents = [] { QApplication::processEvents(); };
  presenter_ = std::make_unique<WindowPresenter>(shell, fe);
  BindMouse();
  PlaceForVariant();
  WindowState& st = shell.state();
  QRect screen = QApplication::primaryScreen() ? QApplication::primaryScreen()->availableGeometry() : QRect(0, 0, 1024, 768);
  st.left = screen.center().x() - width() / 2;
  st.top = screen.center().y() - height() / 2;
  Render();
}

void MainWindowView::PlaceForVariant() {
  const WindowState& st = shell_->state();
  if (st.startPicturesInView) {
    Element("Image_start")->move(140, kStartInViewTop);
    Element("Image_finish")->move(269, kStartInViewTop);
    // The pictures sit in the panel: the cautions keep above them in a smaller size.
    QFont small = QApplication::font();
    small.setPointSize(8);
    SetDesignFont(memo_, small);
    memo_->setGeometry(38, 98, 437, 110);
  }
  if (st.compactLayout) {
    // A compact window with a dialog border that stays on top.
    setWindowFlags(Qt::Dialog | Qt::WindowStaysOnTopHint);
    mainGroup_->hide();
  }
}

void MainWindowView::closeEvent(QCloseEvent* event) {
  if (shell_ == nullptr || presenter_->FormCloseQuery()) {
    event->accept();
    if (shell_) shell_->ui().Quit(0);
    return;
  }
  event->ignore();
}

void MainWindowView::Render() {
  if (shell_ == nullptr) return;
  const WindowState& st = shell_->state();
  QString title = QString::fromStdString(st.applicationTitle.empty() ? st.caption : st.applicationTitle);
  if (!st.compactLayout && windowTitle() != title) setWindowTitle(title);
  if (pos() != QPoint(st.left, st.top) && !st.compactLayout) move(st.left, st.top);
  RenderPictures();
  RenderGuided();
  RenderCompact();
}

void MainWindowView::RenderPictures() {
  const WindowState& st = shell_->state();
  const char* set = st.startSetB ? "start_b_" : "start_a_";
  AsPicture(Element("Image_start"))->setPixmap(SkinPicture(QStringLiteral("%1%2.jpg").arg(set).arg(static_cast<int>(st.startPicture))));
  AsPicture(Element("Image_finish"))->setPixmap(SkinPicture(QStringLiteral("finish_%1.jpg").arg(static_cast<int>(st.finishPicture))));
  const QPixmap close = SkinPicture(st.closePressed ? "close_1.png" : "close_0.png");
  AsPicture(Element("Image_close0"))->setPixmap(st.closePictureDisabled ? SkinPicture("close_3.png") : close);
  AsPicture(Element("Image7"))->setPixmap(close);
  const QPixmap min = SkinPicture(st.minPressed ? "min_1.png" : "min_0.png");
  AsPicture(Element("Image_min0"))->setPixmap(min);
  AsPicture(Element("Image6"))->setPixmap(min);
  ApplyLabel(AsPicture(Element("Label_title")), st.Label_title);
  ApplyLabel(AsPicture(Element("Label_status")), st.Label_status);
  ApplyLabel(AsPicture(Element("Label_version")), st.Label_version);
  LabelState about1 = st.Label_about1;
  LabelState about = st.Label_about;
  about1.bold = about.bold = st.aboutPressed;
  ApplyLabel(AsPicture(Element("Label_about1")), about1);
  ApplyLabel(AsPicture(Element("Label_about")), about);
  QFont underlined = Element("Label_about1")->font();
  underlined.setUnderline(true);
  Element("Label_about1")->setFont(underlined);
  ApplyLabel(AsPicture(Element("Label_about_japanese")), st.Label_about_japanese);
  ApplyLabel(AsPicture(Element("Label_warning")), st.Label_warning);
  ApplyControl(Element("Image_warning"), st.Image_warning);
  ApplyLabel(AsPicture(Element("Label_warning_japanese")), st.Label_warning_japanese);
  ApplyLabel(AsPicture(Element("Label_warning_start")), st.Label_warning_start);
  ApplyLabel(AsPicture(Element("Label_warning_end")), st.Label_warning_end);
  ApplyControl(Element("Image_progress"), st.Image_progress);
  ApplyControl(busyLabel_, st.Image_gif);
  if (st.Image_gif.visible && busy_->state() != QMovie::Running) busy_->start();
  if (!st.Image_gif.visible && busy_->state() == QMovie::Running) busy_->stop();
  statusPanel_->Set(QString::fromStdString(st.StatusBar), shell_->runControl().statusState());
}

void MainWindowView::RenderGuided() {
  const WindowState& st = shell_->state();
  ApplyLabel(AsPicture(Element("Label12")), st.Label12);
  ApplyLabel(AsPicture(Element("Label13")), st.Label13);
  ApplyLabel(AsPicture(Element("Label14")), st.Label14);
  ApplyLabel(AsPicture(Element("Label15")), st.Label15);
  std::string memo;
  for (const std::string& line : st.cautions) memo += line + "\n";
  ApplyLabel(memo_, LabelState{memo, st.Memo1.visible, true, "", 0, 0, false, true});
  const RunControl& rc = shell_->runControl();
  progressBar_->setVisible(st.ProgressBar.visible);
  progressBar_->setMaximum(static_cast<int>(std::min<uint64_t>(rc.gaugeMaximum(), INT32_MAX)));
  progressBar_->setValue(static_cast<int>(std::min<uint64_t>(rc.gaugePosition(), INT32_MAX)));
  ApplyControl(Element("Image16"), st.Image16);
  ApplyControl(Element("Image4"), st.Image4);
  ApplyControl(Element("Image17"), st.Image17);
  AsPicture(Element("Image17"))->setPixmap(SkinPicture(st.Label21.enabled ? "guide_next.jpg" : "guide_next_disabled.jpg"));
  ApplyLabel(AsPicture(Element("Label20")), st.Label20);
  ApplyLabel(AsPicture(Element("Label16")), st.Label16);
  LabelState next = st.Label21;
  ApplyLabel(AsPicture(Element("Label21")), next);
  Element("Label21")->setStyleSheet(next.enabled ? "color: white;" : "color: #8A929C;");
}

void MainWindowView::RenderCompact() {
  const WindowState& st = shell_->state();
  if (!st.compactLayout) return;
  // 0 progress, 1 completion, 2 failure: the window's size and caption follow the panel.
  int panel = st.completionGroup.visible ? 1 : st.failureGroup.visible ? 2 : 0;
  if (panel != compactState_) {
    static const QSize kSizes[] = {QSize(480, 185), QSize(510, 395), QSize(300, 165)};
    QPoint centre = geometry().center();
    compactState_ = panel;
    setFixedSize(kSizes[panel]);
    if (isVisible()) move(centre - QPoint(kSizes[panel].width() / 2, kSizes[panel].height() / 2));
  }
  compactGroup_->setVisible(panel == 0 && st.mainGroup.visible);
  completionGroup_->setVisible(panel == 1);
  failureGroup_->setVisible(panel == 2);
  setWindowTitle(QString::fromStdString(st.caption));
  ApplyLabel(static_cast<QLabel*>(Element("Label_CustomVersion")), st.Label_CustomVersion);
  const RunControl& rc = shell_->runControl();
  gauge41_->setMaximum(static_cast<int>(std::min<uint64_t>(rc.gaugeMaximum(), INT32_MAX)));
  gauge41_->setValue(static_cast<int>(std::min<uint64_t>(rc.gaugePosition(), INT32_MAX)));
}

}  // namespace upwend
