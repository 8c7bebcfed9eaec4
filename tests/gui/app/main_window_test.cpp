// The main window as a person uses it: the picture buttons, dragging, the guided layout's Next,
// and one whole update of the simulated device through the window.
#include <QApplication>
#include <QLabel>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/qt/main_window_view.h"
#include "app/qt/window_program.h"
#include "app/run/run_control.h"
#include "app/shell/update_shell.h"
#include "platform/ui_thread.h"
#include "qt_application.h"
#include "sim_process.h"

namespace upwend {
namespace {

using testing::Click;
using testing::PumpUntil;
using testing::SendMouse;
using testing::SimProcess;
using namespace std::chrono_literals;

std::string Build() { return std::getenv("UPWEND_BUILD_DIR"); }

// Runs the windowed program with the built-in product on the device bus `home`/bus, with its
// folders below `home` (tests run side by side, and a second copy in the same folders would be
// told to quit); `body` runs once the window shows, and the program ends after it.
int RunWindow(const std::string& home, const std::function<void(MainWindowView&)>& body) {
  std::string bus = home + "/bus";
  std::filesystem::create_directories(bus);
  setenv("UPWEND_HOME", home.c_str(), 1);
  WindowProgramOptions options;
  options.payloadPath = Build() + "/app/console/upwend";
  options.devices = "sim:" + bus;
  // The run log lines show in the test's output, for a failure to be read.
  options.logLine = [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); };
  options.onShown = [&body](MainWindowView& view) {
    body(view);
    view.shell()->ui().Quit(0);
  };
  return RunWindowInApplication(options);
}

TEST(MainWindowTest, StartPicturesFollowStartAndARefusedStartShowsTheNormalPictureAgain) {
  std::string home = testing::FreshDir("pictures");
  RunWindow(home, [](MainWindowView& view) {
    UpdateShell& shell = *view.shell();
    WindowState& st = shell.state();
    QWidget* start = view.Element("Image_start");
    ASSERT_FALSE(st.StartButton.enabled);
    SendMouse(start, QEvent::MouseMove);
    EXPECT_EQ(st.startPicture, StartPicture::Disabled);  // no hover while disabled
    SendMouse(view.Element("Image_Big"), QEvent::MouseMove);
    EXPECT_EQ(st.startPicture, StartPicture::Disabled);

    shell.EndDeviceWatch();
    st.StartButton.enabled = true;
    shell.RefreshStartPictures();
    SendMouse(start, QEvent::MouseMove);
    EXPECT_EQ(st.startPicture, StartPicture::Hover);
    SendMouse(view.Element("Image_Big"), QEvent::MouseMove);  // leaving: back to normal
    EXPECT_EQ(st.startPicture, StartPicture::Normal);
    SendMouse(start, QEvent::MouseMove);
    SendMouse(start, QEvent::MouseButtonPress);
    EXPECT_EQ(st.startPicture, StartPicture::Pressed);
    // Released: Start runs and is refused (no port), so the normal picture shows again.
    SendMouse(start, QEvent::MouseButtonRelease);
    EXPECT_FALSE(shell.runControl().running());
    EXPECT_TRUE(st.StartButton.enabled);
    EXPECT_EQ(st.startPicture, StartPicture::Normal);
    EXPECT_EQ(st.Label_status.text, " Upgrade failure");
    EXPECT_TRUE(st.Image_progress.visible);
    EXPECT_FALSE(st.Image_gif.visible);
  });
}

TEST(MainWindowTest, DraggingTheBackgroundMovesByTheCursorsTravelAndOtherElementsDoNot) {
  std::string home = testing::FreshDir("drag");
  RunWindow(home, [](MainWindowView& view) {
    QWidget* bg = view.Element("Image_Big");
    const QPoint start = view.pos();
    SendMouse(bg, QEvent::MouseButtonPress, {50, 50}, {300, 300});
    SendMouse(bg, QEvent::MouseMove, {50, 50}, {341, 262});
    EXPECT_EQ(view.pos(), start + QPoint(41, -38));
    SendMouse(bg, QEvent::MouseMove, {50, 50}, {290, 310});
    EXPECT_EQ(view.pos(), start + QPoint(-10, 10));
    SendMouse(bg, QEvent::MouseButtonRelease, {50, 50}, {290, 310});
    const QPoint dropped = view.pos();
    // Pressing elsewhere (the heading, the Next picture) and moving drags nothing.
    for (const char* other : {"Label13", "Image17", "Label12"}) {
      SendMouse(view.Element(other), QEvent::MouseButtonPress, {5, 5}, {100, 100});
      SendMouse(view.Element(other), QEvent::MouseMove, {5, 5}, {180, 160});
      SendMouse(bg, QEvent::MouseMove, {5, 5}, {180, 160});
      SendMouse(view.Element(other), QEvent::MouseButtonRelease, {5, 5}, {180, 160});
    }
    EXPECT_EQ(view.pos(), dropped);
  });
}

// The whole job through the window: Next is disabled at step 0 until the device is found, the
// second Next changes nothing (same release kind), the third starts the update; the close
// picture does nothing while it runs; the completed page shows and the device holds the images
// with its identity and NV items as before.
TEST(MainWindowTest, ThreeNextClicksUpdateTheSimulatedDeviceToCompleted) {
  std::string home = testing::FreshDir("window-pass");
  std::string device = home + "/device";
  std::string before;
  std::unique_ptr<SimProcess> sim;
  int code = RunWindow(home, [&](MainWindowView& view) {
    UpdateShell& shell = *view.shell();
    WindowState& st = shell.state();
    QWidget* next = view.Element("Label21");
    Click(next);
    EXPECT_EQ(st.guideStep, 1);
    EXPECT_EQ(st.Label13.text, "Device Check");
    EXPECT_FALSE(st.Label21.enabled);
    Click(next);  // disabled: nothing
    EXPECT_EQ(st.guideStep, 1);

    sim = std::make_unique<SimProcess>(std::vector<std::string>{"--bus", home + "/bus", "--state", device,
                                                                "--time-scale", "0.02"});
    ASSERT_TRUE(sim->WaitLine("published AT", 10s));
    testing::RunCommand(SimProcess::Binary() + " --state " + device + " --dump", before);
    ASSERT_TRUE(PumpUntil([&] { return st.Label21.enabled && st.StartButton.enabled; }, 60s));
    Click(next);
    EXPECT_EQ(st.guideStep, 2);
    EXPECT_EQ(st.Label13.text, "Device Check");
    Click(next);
    EXPECT_TRUE(shell.runControl().running());
    EXPECT_TRUE(st.ProgressBar.visible);
    SendMouse(view.Element("Image_close0"), QEvent::MouseButtonPress);
    SendMouse(view.Element("Image_close0"), QEvent::MouseButtonRelease);
    EXPECT_TRUE(view.isVisible());
    ASSERT_TRUE(PumpUntil([&] { return !shell.runControl().running(); }, 180s));
    EXPECT_EQ(st.Label13.text, "Update Completed");
    EXPECT_EQ(st.Label15.text, "アップデートが正常に完了しました");
    EXPECT_TRUE(st.Label16.visible);
    EXPECT_FALSE(st.Label21.visible);
  });
  EXPECT_EQ(code, 0);
  ASSERT_TRUE(sim);
  sim->Terminate();
  std::string after;
  testing::RunCommand(SimProcess::Binary() + " --state " + device + " --dump", after);
  std::ofstream(home + "/before.json") << before;
  std::ofstream(home + "/after.json") << after;
  std::string out;
  ASSERT_EQ(testing::RunCommand(Build() + "/tools/pack/upwend-pack --extract " + Build() + "/app/console/upwend --payload " +
                                    home + "/product",
                                out),
            0)
      << out;
  EXPECT_EQ(testing::RunCommand(std::string("python3 ") + std::getenv("UPWEND_SOURCE_DIR") + "/scripts/check_device.py " +
                                    home + "/product " + home + "/before.json " + home + "/after.json",
                                out),
            0)
      << out;
}

}  // namespace
}  // namespace upwend
