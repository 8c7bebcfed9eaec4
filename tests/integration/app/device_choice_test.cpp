// Several simulated devices on one bus, as a user with more than one modem attached meets them:
// --list-devices tells them apart (USB path, serial number, mode, a disk-mode device too),
// --device runs the update on the one named and leaves the others alone, and a --device that
// names nothing attached ends at once with one line and exit 2.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "sim_process.h"

namespace upwend {
namespace {

using testing::FreshDir;
using testing::RunCommand;
using testing::SimProcess;

struct Outcome {
  int code = -1;
  std::string out;
};

std::string Build(const std::string& program) { return std::string(std::getenv("UPWEND_BUILD_DIR")) + "/" + program; }

Outcome Upwend(const std::string& home, const std::string& args) {
  Outcome r;
  r.code = RunCommand("UPWEND_HOME=" + home + " timeout 120 " + Build("app/console/upwend") + " --devices sim:" + home +
                          "/bus " + args,
                      r.out);
  return r;
}

std::string Dump(const std::string& state) {
  std::string out;
  RunCommand(Build("sim/upwend-sim") + " --state " + state + " --dump 2>&1", out);
  return out;
}

class DeviceChoiceTest : public ::testing::Test {
protected:
  void SetUp() override {
    home_ = FreshDir("device-choice");
    std::filesystem::create_directories(home_ + "/bus");
    first_ = Start({"--id", "first", "--usb-path", "1-1.2", "--serial", "SIM-A"}, "/first");
    second_ = Start({"--id", "second", "--usb-path", "1-1.3", "--serial", "SIM-B", "--com-diag", "7", "--com-at", "8"},
                    "/second");
    ASSERT_TRUE(first_ && second_);
  }

  std::unique_ptr<SimProcess> Start(std::vector<std::string> args, const std::string& state) {
    args.insert(args.end(), {"--bus", home_ + "/bus", "--state", home_ + state, "--time-scale", "0.02"});
    auto sim = std::make_unique<SimProcess>(args);
    if (!sim->WaitLine("published AT", std::chrono::seconds(10))) return nullptr;
    return sim;
  }

  std::string home_;
  std::unique_ptr<SimProcess> first_, second_;
};

TEST_F(DeviceChoiceTest, TheListTellsTheDevicesApartAndNamesADiskModeDevice) {
  auto disk = std::make_unique<SimProcess>(std::vector<std::string>{
      "--bus", home_ + "/bus", "--state", home_ + "/disk", "--id", "disk", "--usb-path", "2-1", "--mode", "disk"});
  ASSERT_TRUE(disk->WaitLine("published DISK", std::chrono::seconds(10))) << disk->Output();
  Outcome all = Upwend(home_, "--list-devices");
  EXPECT_EQ(all.code, 0) << all.out;
  for (const char* line : {"device  1-1.2      05c6:9025  normal    serial SIM-A", "port    COM5",
                           "device  1-1.3      05c6:9025  normal    serial SIM-B", "port    COM7",
                           "device  2-1        ----:----  disk      serial (none)  Simulated Mass Storage"}) {
    EXPECT_NE(all.out.find(line), std::string::npos) << line << "\n" << all.out;
  }
  // Each port is listed under its own device.
  EXPECT_LT(all.out.find("port    COM5"), all.out.find("device  1-1.3"));
  EXPECT_GT(all.out.find("port    COM7"), all.out.find("device  1-1.3"));

  Outcome one = Upwend(home_, "--list-devices --device=SIM-B");
  EXPECT_EQ(one.code, 0) << one.out;
  EXPECT_NE(one.out.find("port    COM7"), std::string::npos) << one.out;
  EXPECT_EQ(one.out.find("COM5"), std::string::npos) << one.out;
  EXPECT_EQ(one.out.find("2-1"), std::string::npos) << one.out;
}

TEST_F(DeviceChoiceTest, TheNamedDeviceIsUpdatedAndTheOtherLeftAlone) {
  std::string firstBefore = Dump(home_ + "/first");
  std::string secondBefore = Dump(home_ + "/second");
  Outcome r = Upwend(home_, "--headless --start --wait 60 --time-scale 0.02 --device 1-1.3");
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_NE(r.out.find("PASS"), std::string::npos) << r.out;
  // The second device went through fastboot and came back; the first never saw a command.
  EXPECT_NE(Dump(home_ + "/second"), secondBefore);
  EXPECT_EQ(Dump(home_ + "/first"), firstBefore);
  EXPECT_EQ(r.out.find("COM5"), std::string::npos) << r.out;
  EXPECT_TRUE(second_->WaitLine("published FASTBOOT", std::chrono::seconds(5))) << second_->Output();
  EXPECT_FALSE(first_->WaitLine("published FASTBOOT", std::chrono::milliseconds(200))) << first_->Output();
}

TEST_F(DeviceChoiceTest, ADeviceThatIsNotThereEndsStartUpWithOneLine) {
  struct Case {
    const char* value;
    const char* says;
  };
  for (const Case& c : {Case{"9-9", "--device 9-9: no such device is attached (attached: 1-1.2 05c6:9025 normal serial SIM-A, 1-1.3"},
                        Case{"'SIM A'", "--device"}, Case{"''", "--device"}}) {
    Outcome r = Upwend(home_, std::string("--headless --start --wait 5 --device ") + c.value);
    EXPECT_EQ(r.code, 2) << c.value << "\n" << r.out;
    EXPECT_NE(r.out.find(c.says), std::string::npos) << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
  }
  // Two devices that give the same serial number: the USB path has to choose.
  auto twin = Start({"--id", "twin", "--usb-path", "3-1", "--serial", "SIM-A", "--com-diag", "9", "--com-at", "10"},
                    "/twin");
  ASSERT_TRUE(twin);
  Outcome r = Upwend(home_, "--headless --start --wait 5 --device SIM-A");
  EXPECT_EQ(r.code, 2) << r.out;
  EXPECT_NE(r.out.find("2 devices have that serial number; choose one by its USB path"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace upwend
