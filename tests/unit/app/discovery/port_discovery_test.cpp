#include "app/discovery/port_discovery.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/manual_clock.h"
#include "tests/unit/app/discovery/fakes.h"

namespace upwend {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::ComPort;
using testing::FakeBackend;
using testing::RefuseConfiguration;
using testing::ScriptPort;
using testing::ModemAnswer;

class PortDiscoveryTest : public ::testing::Test {
protected:
  PortDiscovery& discovery() {
    if (!discovery_) {
      discovery_ = std::make_unique<PortDiscovery>(
          clock_, &backend_, [this] { return std::make_unique<test::ScriptedPort>(ports_); },
          [this](const std::string& line) { log_.push_back(line); });
    }
    return *discovery_;
  }
  size_t Count(const std::string& line) const { return std::count(log_.begin(), log_.end(), line); }
  bool Logged(const std::string& line) const { return Count(line) > 0; }

  ManualClock clock_;
  FakeBackend backend_;
  test::ScriptedBus ports_;
  std::vector<std::string> log_;
  std::unique_ptr<PortDiscovery> discovery_;
  DiscoverySettings settings_;
};

TEST_F(PortDiscoveryTest, ScanTakesDiagAndApplicationPortsByFriendlyName) {
  backend_.comPorts = {
      ComPort("Qualcomm HS-USB Diagnostics 9025 (COM12)"),
      ComPort("Qualcomm HS-USB Diagnostics 9025 (COM13) "),     // text after ")"
      ComPort("Qualcomm HS-USB Diagnostics 9025 (COM14)(x)"),   // a second ")"
      ComPort("Diag port without a name"),
      ComPort("Modem Terminal (COM20)"),
      ComPort("DIAG Terminal (COM21)"),                          // both rules
      ComPort("Qualcomm Diag (COM22)", ""),                      // hardware ID unreadable
  };
  std::vector<std::string> diag, app;
  EXPECT_TRUE(discovery().ScanComPorts(settings_, diag, app));
  EXPECT_THAT(diag, ElementsAre("COM12", "COM21"));
  EXPECT_THAT(app, ElementsAre("COM20", "COM21"));
}

TEST_F(PortDiscoveryTest, ScanWithEnprgTakesQdLoaderButNotQdWithDiag) {
  settings_.enprg9x15 = true;
  backend_.comPorts = {ComPort("Qualcomm HS-USB QDLoader 9008 (COM30)"), ComPort("QD Diag (COM31)"),
                       ComPort("QD DIAG (COM32)"), ComPort("Qualcomm Diagnostics (COM33)")};
  std::vector<std::string> diag, app;
  EXPECT_TRUE(discovery().ScanComPorts(settings_, diag, app));
  EXPECT_THAT(diag, ElementsAre("COM30"));
}

TEST_F(PortDiscoveryTest, NameInParentheses) {
  EXPECT_EQ(PortNameInParentheses("A (COM12)"), "COM12");
  EXPECT_EQ(PortNameInParentheses("A (COM12) "), "");
  EXPECT_EQ(PortNameInParentheses("A COM12"), "");
  EXPECT_EQ(PortNameInParentheses("A )(COM12)"), "");
  EXPECT_EQ(PortNameInParentheses("()"), "");
  EXPECT_EQ(PortNameInParentheses(")"), "");
  EXPECT_EQ(PortNameInParentheses(""), "");
  EXPECT_EQ(PortNameInParentheses("((COM7)"), "(COM7");
}

TEST_F(PortDiscoveryTest, DiskModeSwitchIsSentOnceAndAFailedOneStillCostsItsPause) {
  const char* id1 = "usb\\vid_3a5c&pid_f101&rev_0100&mi_00";  // compared without case
  const char* id2 = "USB\\Vid_5B7E&Pid_001b&Rev_0100&MI_00";
  backend_.comPorts = {ComPort("Disk A (COM40)", id1), ComPort("Disk B (COM41)", id2), ComPort("Disk C (COM42)", id2)};
  ScriptPort(ports_, "COM41", ModemAnswer);  // COM40 cannot be opened
  ScriptPort(ports_, "COM42", ModemAnswer);
  std::vector<std::string> diag, app;
  uint64_t before = clock_.NowMs();
  discovery().ScanComPorts(settings_, diag, app);
  EXPECT_TRUE(discovery().DiskModeSwitched());
  EXPECT_THAT(ports_.writes, ElementsAre("COM41:AT+DISK=8,\"D1\"\r\n"));
  EXPECT_THAT(ports_.opened, ElementsAre("\\\\.\\COM40", "\\\\.\\COM41"));
  // Two pauses of 5 s, plus the 0.5 s before the reply of the one that was sent.
  EXPECT_GE(clock_.NowMs() - before, 10500u);
  EXPECT_LT(clock_.NowMs() - before, 11000u);
  EXPECT_FALSE(Logged("Warning-34"));  // the close worked: no warning
  EXPECT_EQ(ports_.OpenNow(), 0);
  // A later scan sends nothing more.
  discovery().ScanComPorts(settings_, diag, app);
  EXPECT_EQ(ports_.writes.size(), 1u);
}

TEST_F(PortDiscoveryTest, DiskModeSwitchWaitsAtMostEightSecondsForASilentDevice) {
  ScriptPort(ports_, "COM9");  // opens, never answers
  uint64_t before = clock_.NowMs();
  EXPECT_TRUE(discovery().SwitchDiskModeD1("COM9"));
  EXPECT_THAT(ports_.opened, ElementsAre("COM9"));  // below 10: no prefix
  uint64_t spent = clock_.NowMs() - before;
  EXPECT_GE(spent, 8000u);
  EXPECT_LE(spent, 10000u);
  ScriptPort(ports_, "COM9").failWrites = test::kAlways;
  EXPECT_FALSE(discovery().SwitchDiskModeD1("COM9"));
}

TEST_F(PortDiscoveryTest, EnumSkipsComOneAndTwoListedPortsAndNonPorts) {
  backend_.serialMap = {{"a", "COM1"}, {"b", "COM2"}, {"c", "LPT1"}, {"d", "COM5"}, {"e", "COM7"}, {"f", "COM6"},
                        {"g", "com8"}};
  ScriptPort(ports_, "COM6", ModemAnswer);
  ScriptPort(ports_, "COM7", ModemAnswer);
  std::vector<std::string> at;
  discovery().EnumAtPorts(settings_, at, {"com5"}, {"COM7"});
  EXPECT_THAT(at, ElementsAre("COM6"));
  EXPECT_THAT(ports_.opened, ElementsAre("COM6"));
  EXPECT_FALSE(Logged("enum Port:COM1"));
  EXPECT_TRUE(Logged("enum Port:COM5"));
  EXPECT_FALSE(Logged("enum Port:com8"));  // "COM" is looked for with its case
  EXPECT_TRUE(Logged("Find AT Port:COM6"));
}

TEST_F(PortDiscoveryTest, ProbeIdentifiesTheDeviceAndLogsEachStep) {
  ScriptPort(ports_, "COM6", ModemAnswer);
  settings_.name = "NP31";
  ASSERT_TRUE(discovery().ProbeAtPort(settings_, "COM6"));
  DeviceIdentity id = discovery().Identity();
  EXPECT_EQ(id.revision, "VXT_MDM9607_v2.0.3");
  EXPECT_EQ(id.softwareVersion, "");  // AT+VXTSW keeps no value
  EXPECT_FALSE(id.japanese);          // " SWYF007": the blank after the colon stays
  EXPECT_EQ(id.pairCode, "NP31");
  EXPECT_THAT(log_, ElementsAre("Start Send ATI COM6", "Send ATI COM6 OK", "Start Send AT+VXTSW COM6",
                                "Send AT+VXTSW COM6 OK", "Start Send at+vxtinf=0,2 COM6", "Send at+vxtinf=0,2 COM6 OK",
                                "Close Port COM6"));
  EXPECT_EQ(ports_.OpenNow(), 0);
}

TEST_F(PortDiscoveryTest, ProbeRefusesBadAnswersWithinItsTimeLimits) {
  struct Case {
    const char* name;
    std::function<std::string(const std::string&)> answer;
    const char* warning;
  };
  std::vector<Case> cases = {
      {"silence", nullptr, nullptr},
      {"no OK", [](const std::string&) { return std::string("\r\nManufacturer: X\r\n"); }, nullptr},
      {"ERROR", [](const std::string&) { return std::string("\r\nERROR\r\n"); }, nullptr},
      {"64 KiB of garbage", [](const std::string&) { return std::string(65536, '\x8f'); }, nullptr},
      {"version query refused",
       [](const std::string& c) { return c == "ATI\r\n" ? ModemAnswer(c) : std::string("\r\nERROR\r\n"); },
       "Warning-31"},
      {"version query silent", [](const std::string& c) { return c == "ATI\r\n" ? ModemAnswer(c) : std::string(); },
       "Warning-31"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ports_ = test::ScriptedBus();
    ScriptPort(ports_, "COM6", c.answer);
    uint64_t before = clock_.NowMs();
    EXPECT_FALSE(discovery().ProbeAtPort(settings_, "COM6"));
    // ATI and at most two queries of about 1 s each.
    EXPECT_LE(clock_.NowMs() - before, 3500u);
    EXPECT_EQ(ports_.OpenNow(), 0);
  }
}

TEST_F(PortDiscoveryTest, PortsThatCannotBeUsedAreSkippedAndLeftClosed) {
  ScriptPort(ports_, "COM3").failOpens = test::kAlways;
  RefuseConfiguration(ScriptPort(ports_, "COM4"));
  ScriptPort(ports_, "COM5").failWrites = test::kAlways;
  ScriptPort(ports_, "COM6", ModemAnswer);
  ports_.Line("COM6").failReads = test::kAlways;  // gone mid-probe
  for (const char* port : {"COM3", "COM4", "COM5", "COM6", "COM99"}) {
    SCOPED_TRACE(port);
    EXPECT_FALSE(discovery().ProbeAtPort(settings_, port));
    EXPECT_EQ(ports_.OpenNow(), 0);
    EXPECT_FALSE(discovery().ProbeHandleOpen());
  }
}

TEST_F(PortDiscoveryTest, AFailingCloseIsRetriedWithItsWarning) {
  ScriptPort(ports_, "COM6", ModemAnswer);
  ports_.Line("COM6").failCloses = 3;
  EXPECT_TRUE(discovery().ProbeAtPort(settings_, "COM6"));
  EXPECT_EQ(Count("Warning-34"), 3u);
  EXPECT_FALSE(discovery().ProbeHandleOpen());

  // A handle that never closes stays open and is closed again by the next probe.
  RefuseConfiguration(ScriptPort(ports_, "COM4"));
  ports_.Line("COM4").failCloses = 15;
  EXPECT_FALSE(discovery().ProbeAtPort(settings_, "COM4"));
  EXPECT_EQ(Count("Warning-29"), 10u);
  EXPECT_TRUE(discovery().ProbeHandleOpen());
  EXPECT_TRUE(discovery().ProbeAtPort(settings_, "COM6"));
  EXPECT_EQ(Count("Warning-27"), 5u);
  EXPECT_FALSE(discovery().ProbeHandleOpen());
}

TEST_F(PortDiscoveryTest, DiscoverScansTwiceWithoutDiagAndProbesTheRest) {
  backend_.comPorts = {ComPort("Simulated Application Terminal Port (COM7)")};
  backend_.serialMap = {{"x", "COM7"}, {"y", "COM6"}};
  ScriptPort(ports_, "COM6", ModemAnswer);
  DiscoveredPorts found = discovery().Discover(settings_);
  EXPECT_FALSE(found.foundDiag);
  EXPECT_THAT(found.diag, IsEmpty());
  EXPECT_THAT(found.app, ElementsAre("COM7", "COM7"));  // the second scan appends again
  EXPECT_THAT(found.at, ElementsAre("COM6"));
  EXPECT_EQ(log_.front(), "CheckForComPorts start");
  EXPECT_EQ(log_.back(), "Enum AT port end");
}

TEST_F(PortDiscoveryTest, CheckDiagPortSame) {
  backend_.comPorts = {ComPort("Diag (COM12)")};
  EXPECT_TRUE(discovery().CheckDiagPortSame(settings_, 12));
  EXPECT_TRUE(Logged("Same DiaComPort COM12"));
  EXPECT_FALSE(discovery().CheckDiagPortSame(settings_, 5));
  EXPECT_TRUE(Logged("Different DiaComPort COM12"));
  backend_.comPorts.clear();
  uint64_t before = clock_.NowMs();
  EXPECT_FALSE(discovery().CheckDiagPortSame(settings_, 12));
  EXPECT_EQ(clock_.NowMs() - before, 1500u);
  EXPECT_TRUE(Logged("Port list <= 0"));
}

TEST_F(PortDiscoveryTest, FindAdbInterface) {
  std::string path;
  EXPECT_NE(discovery().FindAdbInterface(0, path), 0);
  backend_.adb = {{"\\\\?\\usb#vid_05c6&pid_9025&mi_01#bus_001&dev_005&if_01#{f72fe0d4}"}};
  EXPECT_EQ(discovery().FindAdbInterface(0, path), 255);
  EXPECT_NE(discovery().FindAdbInterface(1, path), 0);
  backend_.adb = {{"\\\\?\\USB#VID_18D1&PID_D00D#tcp:127.0.0.1:40123#{f72fe0d4}"}};
  EXPECT_EQ(discovery().FindAdbInterface(0, path), 0);
  EXPECT_EQ(path, backend_.adb[0].devicePath);
  // A path too long to hand over is not reported as usable.
  backend_.adb = {{std::string(300, 'a')}};
  std::string longPath;
  EXPECT_NE(discovery().FindAdbInterface(0, longPath), 0);
  EXPECT_EQ(longPath, "");
}

}  // namespace
}  // namespace upwend
