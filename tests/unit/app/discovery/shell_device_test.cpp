#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include "app/shell/dialogs.h"
#include "app/shell/update_shell.h"
#include "platform/clock.h"
#include "platform/device_backend.h"
#include "platform/headless_loop.h"
#include "platform/payload_archive.h"
#include "tests/unit/app/support/form_test.h"
#include "tests/unit/platform/test_dir.h"

namespace upwend {
namespace {

namespace fs = std::filesystem;

class ShellDeviceTest : public testing::FormTest {
protected:
  void SetUp() override {
    home_ = testing::FreshTestDir();
    fs::create_directories(home_ / "bus");
    PlaceFolders(home_.string());
    ShellOptions options;
    options.devices = "sim:" + (home_ / "bus").string();
    shell_ = std::make_unique<UpdateShell>(
        FormServices{clock_, loop_, dialogs_, payload_, paths_, "",
                     [this](const std::string& line) { diag_.push_back(line); }, nullptr},
        options);
  }
  void TearDown() override { shell_.reset(); }

  PayloadArchive payload_;
  fs::path home_;
  std::unique_ptr<UpdateShell> shell_;
  std::vector<std::string> diag_;
};

// The version gate ends a build's program without a box, so its reason goes to the console.
TEST_F(ShellDeviceTest, AVersionThatIsNotCurrentSaysWhyOnTheConsole) {
  shell_->config().softwareVersion = "UW96_V1.0";
  diag_.clear();
  EXPECT_FALSE(shell_->runControl().hooks().deviceVersionIsCurrent());
  ASSERT_EQ(diag_.size(), 1u);
  EXPECT_NE(diag_[0].find("could not be read"), std::string::npos) << diag_[0];
}

TEST_F(ShellDeviceTest, APortRemovalRestartsTheWatcherOnlyWhereTheProjectAsksForIt) {
  DeviceEvent removal{DeviceEventKind::RemoveComplete, DeviceType::Port, "COM5"};
  DeviceEvent arrival{DeviceEventKind::Arrival, DeviceType::Port, "COM5"};
  DeviceEvent interfaceGone{DeviceEventKind::RemoveComplete, DeviceType::Interface, "\\\\?\\usb#x"};

  shell_->config().projectType = 1013;
  shell_->OnDeviceChange(removal);
  EXPECT_FALSE(shell_->DeviceWatchRunning());

  shell_->config().bCheckProjectCode = true;
  shell_->OnDeviceChange(arrival);
  shell_->OnDeviceChange(interfaceGone);
  EXPECT_FALSE(shell_->DeviceWatchRunning());
  shell_->OnDeviceChange(removal);
  EXPECT_TRUE(shell_->DeviceWatchRunning());
  shell_->EndDeviceWatch();
  EXPECT_FALSE(shell_->DeviceWatchRunning());

  shell_->config().bCheckProjectCode = false;
  shell_->config().projectType = 28;
  shell_->OnDeviceChange(removal);
  EXPECT_TRUE(shell_->DeviceWatchRunning());
  EXPECT_TRUE(shell_->WaitsForReady());
}

TEST_F(ShellDeviceTest, WithoutADeviceTheWatcherShowsNotReadyAndTheRunHooksSeeNoPorts) {
  shell_->config().projectType = 1013;
  shell_->state().Label_status.text = "Ready";
  shell_->state().StartButton.enabled = true;
  shell_->StartDeviceWatch();
  for (int i = 0; i < 5000 && shell_->state().Label_status.text != "Not Ready"; ++i) {
    loop_.RunPending();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(shell_->state().Label_status.text, "Not Ready");
  EXPECT_FALSE(shell_->state().StartButton.enabled);
  EXPECT_TRUE(shell_->DeviceWatchRunning());  // keeps polling

  const RunHooks& hooks = shell_->runControl().hooks();
  std::string path;
  EXPECT_NE(hooks.findAdbInterface(0, path), 0);
  EXPECT_FALSE(hooks.checkDiagPortSame(5));
  EXPECT_FALSE(hooks.probeHandleOpen());
  EXPECT_FALSE(hooks.diskModeSwitched());
  EXPECT_FALSE(hooks.deviceVersionIsCurrent());  // nothing was identified
  EXPECT_EQ(hooks.queryDeviceVersion(nullptr), "");
  shell_->EndDeviceWatch();
}

}  // namespace
}  // namespace upwend
