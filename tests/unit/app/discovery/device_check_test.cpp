#include "app/discovery/device_check.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "app/discovery/device_watcher.h"
#include "app/shell/window_state.h"
#include "platform/clock.h"

namespace upwend {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// The window as the check sees it, without threads.
class FakeHost final : public DeviceCheckHost {
public:
  DeviceCheckSettings settings;
  SelectedPorts found{"COM5", "COM6", 1};
  DeviceIdentity identity;
  bool diskModeSwitched = false;
  bool driverAnswer = true;
  WindowState st;
  int shifts = 0;
  int discoveries = 0;
  int uninstallCleared = 0;
  int refreshes = 0;
  std::vector<std::string> warnings;
  std::vector<std::string> log;
  SelectedPorts shown;

  DeviceCheckSettings Settings() override { return settings; }
  SelectedPorts Selected() override { return shown; }
  void ShiftDevice() override { ++shifts; }
  SelectedPorts DiscoverPorts() override {
    ++discoveries;
    shown = found;
    return found;
  }
  DeviceIdentity Identity() override { return identity; }
  bool DiskModeSwitched() override { return diskModeSwitched; }
  void ClearUninstallAnswer() override { ++uninstallCleared; }
  bool InstallDriver() override { return driverAnswer; }
  void Log(const std::string& text) override { log.push_back(text); }
  void Show(const std::function<void(WindowState&)>& change) override { change(st); }
  void RefreshStartPictures() override { ++refreshes; }
  void Warn(const std::string& text) override { warnings.push_back(text); }
};

class DeviceCheckTest : public ::testing::Test {
protected:
  void SetUp() override {
    host_.settings.projectType = 1013;
    host_.settings.version = "SWVD004.3.0012";
  }
  DevicePass Pass() { return CheckDevice(host_); }
  // One pass that must refuse with `text`: shown once, display not ready, watcher ends.
  void ExpectRefusal(const std::string& text) {
    host_.st.StartButton.enabled = true;
    DevicePass pass = Pass();
    EXPECT_FALSE(pass.ok);
    EXPECT_TRUE(pass.endWatcher);
    EXPECT_THAT(host_.warnings, ElementsAre(text));
    EXPECT_EQ(host_.st.Label_status.text, "Not Ready");
    EXPECT_FALSE(host_.st.StartButton.enabled);
    host_.warnings.clear();
  }
  FakeHost host_;
};

TEST_F(DeviceCheckTest, WithoutPortsTheDisplayIsNotReadyAndTheModeSwitchIsTried) {
  host_.found = {"", "", 0};
  for (int i = 0; i < 3; ++i) {
    DevicePass pass = Pass();
    EXPECT_TRUE(pass.ok);
    EXPECT_FALSE(pass.endWatcher);
  }
  EXPECT_EQ(host_.shifts, 3);
  EXPECT_EQ(host_.st.Label_status.text, "Not Ready");
  EXPECT_FALSE(host_.st.StartButton.enabled);
  EXPECT_FALSE(host_.st.Label21.enabled);
  EXPECT_THAT(host_.warnings, IsEmpty());

  // Only the AT port: still not ready, but a port box held text, so no mode switch.
  host_.found = {"COM5", "", 1};
  host_.settings.projectType = 6;
  Pass();
  Pass();
  EXPECT_EQ(host_.shifts, 4);
  EXPECT_EQ(host_.st.Label_version.text, "Versinon:");
  EXPECT_EQ(host_.uninstallCleared, 2);

  host_.settings.projectType = 27;
  Pass();
  EXPECT_EQ(host_.st.Label_status.text, "準備中");
  EXPECT_EQ(host_.st.Label_status.fontName, "MS PGothic");
  EXPECT_EQ(host_.st.Label_status.charset, 128);
}

TEST_F(DeviceCheckTest, ShippedProjectTypeIsReadyAndKeepsWatching) {
  DevicePass pass = Pass();
  EXPECT_TRUE(pass.ok);
  EXPECT_FALSE(pass.endWatcher);
  EXPECT_EQ(host_.st.Label_status.text, "Ready");
  EXPECT_EQ(host_.st.Label_version.text, "Version:");
  EXPECT_TRUE(host_.st.StartButton.enabled);
  EXPECT_TRUE(host_.st.Label21.enabled);
  EXPECT_THAT(host_.log, ElementsAre("Diag Port:COM5", "AT Port:COM6"));
  // Unplugged: back to not ready in the next pass.
  host_.found = {"", "", 0};
  Pass();
  EXPECT_EQ(host_.st.Label_status.text, "Not Ready");
  EXPECT_FALSE(host_.st.StartButton.enabled);
}

TEST_F(DeviceCheckTest, ReadinessEndsTheWatcherForSomeProjectTypes) {
  struct Row {
    int projectType;
    bool diskMode;
    bool ends;
    const char* status;
  };
  for (Row row : {Row{10, false, false, "Ready"}, Row{27, false, true, "準備完了"}, Row{41, false, true, "Ready"},
                  Row{1013, true, true, "Ready"}, Row{3, false, true, "Ready"}, Row{29, false, true, "Ready"},
                  Row{0, false, false, "Ready"}}) {
    SCOPED_TRACE(row.projectType);
    host_ = FakeHost{};
    host_.settings.projectType = row.projectType;
    host_.diskModeSwitched = row.diskMode;
    DevicePass pass = Pass();
    EXPECT_TRUE(pass.ok);
    EXPECT_EQ(pass.endWatcher, row.ends);
    EXPECT_EQ(host_.st.Label_status.text, row.status);
    EXPECT_TRUE(host_.st.StartButton.enabled);
  }
  host_ = FakeHost{};
  host_.settings.projectType = 42;
  host_.st.Timer1Enabled = true;
  Pass();
  EXPECT_FALSE(host_.st.Timer1Enabled);
}

TEST_F(DeviceCheckTest, ProjectCodeRefusals) {
  host_.settings.bCheckProjectCode = true;
  host_.settings.version = "swvd004";
  ExpectRefusal("Can't get project code from config verison!");
  host_.settings.version = "swvd004.3.0012";
  host_.identity.softwareVersion = "SWVD004";
  ExpectRefusal("Can't get project code from model verison!");
  host_.identity.softwareVersion = "SWVE005.3.0012";
  ExpectRefusal("Could not update other irrelevant model device!");
  host_.identity.softwareVersion = "SW";  // shorter than the code
  ExpectRefusal("Can't get project code from model verison!");
  host_.identity.softwareVersion = "SWVD004.4.0013";
  EXPECT_TRUE(Pass().ok);
  EXPECT_THAT(host_.warnings, IsEmpty());
}

TEST_F(DeviceCheckTest, MainboardRefusals) {
  host_.settings.bCheckMainboardType = true;
  host_.settings.version = "SWVD004.3.0012";  // characters 8 to 10 are ".3."
  host_.identity.softwareVersion = "swvd004.4.0012";
  ExpectRefusal("Can't update other irrelevant mobile devices!");
  host_.identity.softwareVersion = "swvd004.3.0099";
  ExpectRefusal("Can't update other irrelevant mobile devices.");
  host_.identity.softwareVersion = "swvd004.3.0012";
  EXPECT_TRUE(Pass().ok);

  host_.settings.version = "SWVD004.5.0012";
  host_.settings.name = "NP31";
  host_.settings.secondVersion = "SWVD004.5.0077";
  host_.identity.softwareVersion = "SWVD004.5.0077";  // the second package's tail
  EXPECT_TRUE(Pass().ok);
  host_.identity.softwareVersion = "SWVD004.5.0078";
  ExpectRefusal("Could not update other irrelevant mobile devices.");
  host_.settings.secondVersion = "";
  host_.identity.softwareVersion = "SWVD004.5.NONE";
  EXPECT_TRUE(Pass().ok);
}

TEST_F(DeviceCheckTest, MemoryRefusals) {
  host_.settings.bCheckDataCardMemory = true;
  host_.settings.flashSize = "512M";
  EXPECT_TRUE(Pass().ok);
  for (const char* size : {"1024M", ""}) {
    host_.settings.flashSize = size;
    ExpectRefusal("Memory size is not matched!");
  }
  host_.settings.bCheckDataCardMemory = false;
  host_.settings.bCheckRouterMemory = true;
  ExpectRefusal("Can not check memory size!");
}

TEST_F(DeviceCheckTest, VersionRefusalsOfDataCardsAndRouters) {
  host_.settings.projectType = 2;
  host_.settings.version = "SWVD004.3.0012";
  host_.identity.softwareVersion = "SWVD004.3.0012";
  ExpectRefusal("Can't update the software because it is the latest");
  EXPECT_EQ(host_.st.Label_version.text, "Version:");
  host_.identity.softwareVersion = "SWVE005.3.0011";
  ExpectRefusal("Can't update other irrelevant Data Cards");
  host_.identity.softwareVersion = "SWVD004.3.0011";
  host_.found.diagCount = 2;
  ExpectRefusal("Two or more devices were found");
  host_.found.diagCount = 1;
  EXPECT_TRUE(Pass().ok);
  EXPECT_EQ(host_.st.Label_status.text, "Ready");
  EXPECT_EQ(host_.st.Label_version.text, "Version:SWVD004.3.0011");

  host_.settings.projectType = 6;
  ExpectRefusal("Can't update other irrelevant mobile devices");
}

TEST_F(DeviceCheckTest, AFailedDriverPreconditionIsSilentAndRetried) {
  host_.settings.projectType = 19;
  host_.driverAnswer = false;
  host_.st.Label_status.text = "Not Ready";
  for (int i = 0; i < 2; ++i) {
    DevicePass pass = Pass();
    EXPECT_FALSE(pass.ok);
    EXPECT_FALSE(pass.endWatcher);
  }
  EXPECT_THAT(host_.warnings, IsEmpty());
  EXPECT_EQ(host_.st.Label_status.text, "Not Ready");
  EXPECT_FALSE(host_.st.StartButton.enabled);
  host_.driverAnswer = true;
  EXPECT_TRUE(Pass().ok);
  EXPECT_EQ(host_.st.Label_status.text, "Ready");
}

TEST_F(DeviceCheckTest, EachRefusalIsShownOnceBecauseItEndsTheWatcher) {
  struct Config {
    const char* text;
    std::function<void(DeviceCheckSettings&)> set;
  };
  for (const Config& c : std::vector<Config>{
           {"Can't get project code from model verison!", [](DeviceCheckSettings& s) { s.bCheckProjectCode = true; }},
           {"Can't update other irrelevant mobile devices!", [](DeviceCheckSettings& s) { s.bCheckMainboardType = true; }},
           {"Memory size is not matched!", [](DeviceCheckSettings& s) { s.bCheckDataCardMemory = true; }},
           {"Can't update the software because it is the latest",
            [](DeviceCheckSettings& s) {
              s.projectType = 2;
              s.version = "";
            }},
       }) {
    SCOPED_TRACE(c.text);
    FakeHost host;
    host.settings.projectType = 1013;
    host.settings.version = "SWVD004.3.0012";
    c.set(host.settings);
    ScaledClock clock(0.001);
    DeviceWatcher watcher(clock);
    watcher.Start([&host](const std::atomic<bool>&) { return CheckDevice(host).endWatcher; });
    for (int i = 0; i < 2000 && watcher.Running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    // The refusal ended the watcher after its first pass: no second pass ran.
    ASSERT_FALSE(watcher.Running());
    EXPECT_EQ(watcher.passes(), 1u);
    EXPECT_THAT(host.warnings, ElementsAre(c.text));
    EXPECT_EQ(host.discoveries, 1);
    EXPECT_EQ(host.st.Label_status.text, "Not Ready");
  }
}

}  // namespace
}  // namespace upwend
