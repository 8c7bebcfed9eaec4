// ModemManager is asked to leave the device alone during a run and to take it back at its end,
// on a passing and a failing run, against a mock ModemManager on a private bus; without
// ModemManager nothing is said. Skipped (77) without dbus-daemon or python3-dbusmock.
#include <signal.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "sim_process.h"
#include "tests/support/file_text.h"

namespace upwend {
namespace {

using testing::RunCommand;
using testing::SimProcess;
using testing::ReadFile;

constexpr const char* kPython = "/usr/bin/python3";

std::string Trim(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
  return s;
}

// A private bus and, when asked, the mock on it; both ended with the fixture.
class PrivateBus {
public:
  PrivateBus() {
    std::string out;
    if (RunCommand("dbus-daemon --session --fork --print-address=1 --print-pid=1", out) != 0) return;
    std::istringstream in(out);
    std::string pid;
    std::getline(in, address_);
    std::getline(in, pid);
    daemonPid_ = std::atoi(pid.c_str());
  }
  ~PrivateBus() {
    if (mockPid_ > 0) ::kill(mockPid_, SIGTERM);
    if (daemonPid_ > 0) ::kill(daemonPid_, SIGTERM);
  }
  bool ok() const { return daemonPid_ > 0 && !address_.empty(); }
  const std::string& address() const { return address_; }

  bool StartModemManager(const std::string& ports, const std::string& log) {
    std::string tmpl = std::string(std::getenv("UPWEND_SOURCE_DIR")) + "/tests/integration/devices/modem_manager_mock.py";
    std::string out;
    RunCommand("DBUS_SYSTEM_BUS_ADDRESS='" + address_ + "' " + kPython + " -m dbusmock -t " + tmpl +
                   " -p '{\"PORTS\": \"" + ports + "\"}' -l " + log + " >/dev/null 2>&1 & echo $!",
               out);
    mockPid_ = std::atoi(out.c_str());
    // Ready once the name has an owner; a loaded machine may take seconds to start python.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
      RunCommand("dbus-send --bus='" + address_ +
                     "' --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus "
                     "org.freedesktop.DBus.NameHasOwner string:org.freedesktop.ModemManager1",
                 out);
      if (out.find("boolean true") != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }

private:
  std::string address_;
  int daemonPid_ = -1;
  int mockPid_ = -1;
};

bool Available() {
  std::string out;
  return RunCommand("command -v dbus-daemon dbus-send && " + std::string(kPython) + " -c 'import dbusmock'", out) == 0;
}

struct Outcome {
  int code = -1;
  std::string output;
};

Outcome Update(const std::string& home, const std::string& bus, const std::string& extra = "") {
  Outcome r;
  std::string upwend = std::string(std::getenv("UPWEND_BUILD_DIR")) + "/app/console/upwend";
  r.code = RunCommand("DBUS_SYSTEM_BUS_ADDRESS='" + bus + "' UPWEND_HOME=" + home + " timeout 120 " + upwend +
                          " --headless --start --wait 60 --time-scale 0.02 --devices sim:" + home + "/bus " + extra,
                      r.output);
  return r;
}

// The AT port's node without "/dev/", as ModemManager names a port.
std::string AtPortName(SimProcess& sim) {
  auto line = sim.WaitLine("published AT", std::chrono::seconds(10));
  if (!line) return {};
  std::string node = Trim(line->substr(line->rfind(' ') + 1));
  return node.rfind("/dev/", 0) == 0 ? node.substr(5) : node;
}

class ModemManagerTest : public ::testing::Test {
protected:
  void SetUp() override {
    if (!Available()) GTEST_SKIP() << "dbus-daemon or python3-dbusmock missing";
    ASSERT_TRUE(bus_.ok());
  }
  PrivateBus bus_;
};

TEST_F(ModemManagerTest, InhibitedDuringAPassingRunAndReleasedAtItsEnd) {
  std::string home = testing::FreshDir("mm-pass");
  SimProcess sim({"--bus", home + "/bus", "--state", home + "/device", "--time-scale", "0.02"});
  std::string port = AtPortName(sim);
  ASSERT_FALSE(port.empty());
  ASSERT_TRUE(bus_.StartModemManager("ttyUSB9," + port, home + "/mm.log"));
  Outcome r = Update(home, bus_.address());
  EXPECT_EQ(r.code, 0) << r.output;
  std::string log = ReadFile(home + "/mm.log");
  size_t on = log.find("InhibitDevice \"/sys/devices/pci0000:00/0000:00:14.0/usb1/1-2\" True");
  size_t off = log.find("InhibitDevice \"/sys/devices/pci0000:00/0000:00:14.0/usb1/1-2\" False");
  ASSERT_NE(on, std::string::npos) << log;
  ASSERT_NE(off, std::string::npos) << log;
  EXPECT_LT(on, off);
}

TEST_F(ModemManagerTest, AModemOfAnotherDeviceIsLeftAlone) {
  std::string home = testing::FreshDir("mm-fail");
  SimProcess sim({"--bus", home + "/bus", "--state", home + "/device", "--time-scale", "0.02", "--fault",
                  "fastboot-fail:boot"});
  ASSERT_FALSE(AtPortName(sim).empty());
  {
    // A modem ModemManager manages is not ours: no call at all.
    PrivateBus other;
    ASSERT_TRUE(other.StartModemManager("ttyUSB9", home + "/other.log"));
    Outcome r = Update(home, other.address());
    EXPECT_EQ(r.code, 1) << r.output;
    EXPECT_EQ(ReadFile(home + "/other.log").find("InhibitDevice"), std::string::npos);
  }
}

TEST_F(ModemManagerTest, AFailedRunReleasesTheDevice) {
  std::string home = testing::FreshDir("mm-failed-run");
  SimProcess sim({"--bus", home + "/bus", "--state", home + "/device", "--time-scale", "0.02", "--fault",
                  "fastboot-fail:boot"});
  std::string port = AtPortName(sim);
  ASSERT_FALSE(port.empty());
  ASSERT_TRUE(bus_.StartModemManager(port, home + "/mm.log"));
  Outcome r = Update(home, bus_.address());
  EXPECT_EQ(r.code, 1) << r.output;
  std::string log = ReadFile(home + "/mm.log");
  EXPECT_NE(log.find("\" True"), std::string::npos) << log;
  EXPECT_NE(log.find("\" False"), std::string::npos) << log;
}

TEST_F(ModemManagerTest, WithoutModemManagerNothingIsSaid) {
  std::string home = testing::FreshDir("mm-none");
  SimProcess sim({"--bus", home + "/bus", "--state", home + "/device", "--time-scale", "0.02"});
  ASSERT_FALSE(AtPortName(sim).empty());
  Outcome r = Update(home, bus_.address());
  EXPECT_EQ(r.code, 0) << r.output;
  EXPECT_EQ(r.output.find("ModemManager"), std::string::npos) << r.output;
}

}  // namespace
}  // namespace upwend
