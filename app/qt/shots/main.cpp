// upwend-shots: screenshots of the window, for people to look at. It runs the windowed program
// with a product, puts the window into each state of a scene through the same presenter and run
// control the mouse reaches, and writes one PNG per state, named for what it shows.
//   upwend-shots --product PRODUCT --out DIR --name NAME --scene guided|window|compact|dialogs
// Run it on the offscreen platform (scripts/screenshots does).
#include <QApplication>
#include <QDir>
#include <QPixmap>

#include <cstdio>
#include <string>

#include "app/qt/main_window_view.h"
#include "app/qt/window_program.h"
#include "app/run/run_control.h"
#include "app/shell/update_shell.h"
#include "app/shell/variant_texts.h"
#include "dialogs/about_form.h"
#include "dialogs/message_box_form.h"
#include "platform/ui_thread.h"

namespace upwend {
namespace {

struct Args {
  std::string product;
  std::string out;
  std::string name;
  std::string scene;
  std::string devices;
};

class Shooter {
public:
  Shooter(const Args& args, MainWindowView& view) : args_(args), view_(view), shell_(*view.shell()) {}

  void Save(QWidget& widget, const std::string& what) {
    view_.Render();
    QApplication::processEvents();
    QString file = QDir(QString::fromStdString(args_.out)).filePath(QString::fromStdString(args_.name + "-" + what + ".png"));
    if (!widget.grab().save(file)) std::fprintf(stderr, "upwend-shots: cannot write %s\n", qPrintable(file));
    std::printf("%s\n", qPrintable(file));
  }

  void Guided() {
    const WindowState start = shell_.state();
    Save(view_, "step0-cautions");
    WindowPresenter& p = view_.presenter();
    p.ShowGuideStep(0, false);
    Save(view_, "step1-device-check-no-device");
    // A device found: both ports known, Next enabled.
    shell_.state().PortCBox.text = "COM5";
    shell_.state().SerialPortCBox.text = "COM6";
    shell_.state().Label21.enabled = true;
    Save(view_, "step1-device-check");
    const WindowState atStep1 = shell_.state();
    p.ShowGuideStep(1, true);
    Save(view_, "step2-release-kind-differs");
    shell_.state() = atStep1;
    p.ShowGuideStep(2, false, false);
    shell_.runControl().OnWorkerProgress(42, 0, 100);
    Save(view_, "step2-progress");
    const WindowState running = shell_.state();
    shell_.runControl().LogMessage("PASS", kMsgSuccess);
    Save(view_, "update-completed");
    shell_.state() = running;
    shell_.runControl().LogMessage("ERROR, Could not read OKAY reply., Error code: 64", kMsgFailure);
    Save(view_, "update-failure");
    shell_.state() = start;
  }

  void Window() {
    Save(view_, "window");
    // Everything the arrangement keeps out of view, below the visible area.
    QWidget* group = view_.Element("Image_Big")->parentWidget();
    view_.setFixedSize(513, 590);
    view_.Render();
    Save(*group, "whole-layout");
    view_.setFixedSize(513, 343);
  }

  void Compact() {
    const WindowState start = shell_.state();
    shell_.runControl().OnWorkerProgress(42, 0, 100);
    Save(view_, "progress");
    shell_.runControl().LogMessage("PASS", kMsgSuccess);
    Save(view_, "completed");
    shell_.state() = start;
    shell_.runControl().LogMessage("ERROR, Could not read OKAY reply., Error code: 64", kMsgFailure);
    Save(view_, "failure");
  }

  void Dialogs() {
    TFormMessagebox box(&view_);
    box.PrepareShow(shell_.config().projectType, ConfirmTitle());
    box.show();
    Save(box, "message-box");
    box.hide();
    TVorezUzeAboutForm about;
    const WindowState& st = shell_.state();
    about.ShowAbout(shell_.config(), AboutInputs{shell_.config().caption, st.settingsSummary.text, st.applicationTitle,
                                                 st.Label_title.text},
                    &view_);
    Save(about, "about-box");
  }

private:
  std::string ConfirmTitle() const { return ConfirmBoxTitle(shell_.config()); }

  const Args& args_;
  MainWindowView& view_;
  UpdateShell& shell_;
};

}  // namespace
}  // namespace upwend

int main(int argc, char** argv) {
  using namespace upwend;
  Args args;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string key = argv[i];
    std::string value = argv[i + 1];
    if (key == "--product") args.product = value;
    if (key == "--out") args.out = value;
    if (key == "--name") args.name = value;
    if (key == "--scene") args.scene = value;
    if (key == "--devices") args.devices = value;
  }
  if (args.product.empty() || args.out.empty() || args.name.empty() || args.scene.empty()) {
    std::fprintf(stderr, "usage: upwend-shots --product PRODUCT --out DIR --name NAME --scene guided|window|compact|dialogs\n");
    return 2;
  }
  QDir().mkpath(QString::fromStdString(args.out));
  WindowProgramOptions options;
  options.payloadPath = args.product;
  options.devices = args.devices;
  options.logLine = [](const std::string&) {};
  // The guides have pictures of their own (upwend-guide-shots); here they would check for a device.
  options.skipGuides = true;
  options.onShown = [&args](MainWindowView& view) {
    view.shell()->EndDeviceWatch();  // the pictures show set states, not the device's
    Shooter shooter(args, view);
    if (args.scene == "guided") shooter.Guided();
    if (args.scene == "window") shooter.Window();
    if (args.scene == "compact") shooter.Compact();
    if (args.scene == "dialogs") shooter.Dialogs();
    view.shell()->ui().Quit(0);
  };
  return RunWindowProgram(1, argv, options);
}
