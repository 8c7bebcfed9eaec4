// The helper programs and the USB boot thread against upwend-sim with input that is wrong:
// a bad or refused switching command, no modem, a boot device that stops reading mid-image.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "app/helpers/xload_switch.h"
#include "platform/clock.h"
#include "platform/ini_file.h"
#include "platform/sim_bus.h"
#include "platform/usb_boot_pipe.h"
#include "sim_process.h"

namespace upwend {
namespace {

namespace fs = std::filesystem;
using testing::SimProcess;

constexpr const char* kScale = "0.02";

class HelperProgramsSim : public ::testing::Test {
protected:
  void SetUp() override {
    home_ = testing::FreshDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    folder_ = home_ + "/TempFiles";
    fs::create_directories(folder_);
    fs::create_directories(home_ + "/bus");
    for (const char* p : {"DoShiftDevice.exe", "ResetModem.exe"})
      fs::copy_file(std::string(std::getenv("UPWEND_BUILD_DIR")) + "/tools/helpers/" + p, folder_ + "/" + p);
  }

  void Config(const std::string& text) { std::ofstream(folder_ + "/Config.ini", std::ios::trunc) << text; }

  int Run(const std::string& program, std::string& output, const std::string& env = "") {
    return testing::RunCommand(env + " UPWEND_DEVICES=sim:" + home_ + "/bus UPWEND_TIME_SCALE=" + kScale + " timeout 60 " +
                                   folder_ + "/" + program,
                               output);
  }

  std::string home_, folder_;
};

TEST_F(HelperProgramsSim, DoShiftDeviceRefusesBadCommandsAndADiskStaysADiskUntilTheRightOne) {
  SimProcess sim({"--bus", home_ + "/bus", "--state", home_ + "/device", "--time-scale", kScale, "--mode", "disk"});
  ASSERT_TRUE(sim.WaitLine("published DISK", std::chrono::seconds(10)));
  std::string out;
  Config("[SHIFTDEVICE]\r\nSCSICMD=11 06 2X\r\nSCSIDEVICE=Mass Storage\r\n");
  EXPECT_EQ(Run("DoShiftDevice.exe", out), 2);
  EXPECT_NE(out.find("not hexadecimal"), std::string::npos) << out;
  Config("[SHIFTDEVICE]\r\nSCSICMD=" + std::string(40, '1') + "\r\nSCSIDEVICE=Mass Storage\r\n");
  EXPECT_EQ(Run("DoShiftDevice.exe", out), 2);
  EXPECT_NE(out.find("longer than a command block"), std::string::npos) << out;
  Config("[SHIFTDEVICE]\r\nSCSIDEVICE=Mass Storage\r\n");
  EXPECT_EQ(Run("DoShiftDevice.exe", out), 2);
  Config("[SHIFTDEVICE]\r\nSCSICMD=110620000000\r\nSCSIDEVICE=Some Other Disk\r\n");
  EXPECT_EQ(Run("DoShiftDevice.exe", out), 1);
  Config("[SHIFTDEVICE]\r\nSCSICMD=1B0000000200\r\nSCSIDEVICE=mass storage\r\n");
  EXPECT_EQ(Run("DoShiftDevice.exe", out), 3);
  EXPECT_NE(out.find("refused by Simulated Mass Storage"), std::string::npos) << out;
  EXPECT_FALSE(sim.WaitLine("published AT", std::chrono::milliseconds(300)));

  Config("[SHIFTDEVICE]\r\nSCSICMD=110620000000\r\nSCSIDEVICE=Mass Storage\r\n");
  EXPECT_EQ(Run("DoShiftDevice.exe", out), 0) << out;
  EXPECT_TRUE(sim.WaitLine("published AT", std::chrono::seconds(10)));
}

TEST_F(HelperProgramsSim, WithOneDeviceChosenOnlyItsDiskIsSwitched) {
  SimProcess other({"--bus", home_ + "/bus", "--state", home_ + "/other", "--time-scale", kScale, "--mode", "disk",
                    "--id", "other", "--usb-path", "1-4"});
  SimProcess chosen({"--bus", home_ + "/bus", "--state", home_ + "/chosen", "--time-scale", kScale, "--mode", "disk",
                     "--id", "chosen", "--usb-path", "1-5", "--serial", "SIM-C"});
  ASSERT_TRUE(other.WaitLine("published DISK", std::chrono::seconds(10)));
  ASSERT_TRUE(chosen.WaitLine("published DISK", std::chrono::seconds(10)));
  Config("[SHIFTDEVICE]\r\nSCSICMD=110620000000\r\nSCSIDEVICE=Mass Storage\r\n");
  std::string out;
  EXPECT_EQ(Run("DoShiftDevice.exe", out, "UPWEND_DEVICE=SIM-C"), 0) << out;
  EXPECT_TRUE(chosen.WaitLine("published AT", std::chrono::seconds(10)));
  EXPECT_FALSE(other.WaitLine("published AT", std::chrono::milliseconds(500)));
}

TEST_F(HelperProgramsSim, ResetModemWithoutAModemAnswersMinusOne) {
  Config("[Project]\r\nExecuteResetModem=1\r\n");
  std::string out;
  EXPECT_EQ(Run("ResetModem.exe", out), 1) << out;
  auto ini = IniFile::Load(folder_ + "/Config.ini");
  EXPECT_EQ(ini->ReadString("Project", "ExecuteResetModem", ""), "-1");
}

TEST_F(HelperProgramsSim, ABootDeviceThatStallsMidImageIsFedAgainOnItsNextAttachment) {
  SimProcess sim({"--bus", home_ + "/bus", "--state", home_ + "/device", "--time-scale", kScale, "--mode", "boot",
                  "--fault", "boot-stall@1"});
  ASSERT_TRUE(sim.WaitLine("published BOOT", std::chrono::seconds(10)));
  std::ofstream(folder_ + "/xload.bin", std::ios::binary) << std::string(65535, 'x');
  ScaledClock clock(0.02);
  auto devices = CreateSimBusBackend(home_ + "/bus");
  auto port = CreateUsbBootPort(clock, 1000);
  std::mutex mutex;
  std::vector<std::string> log;
  {
    XloadSwitch x(XloadServices{clock, devices.get(), *port,
                                [&](const std::string& t) {
                                  std::lock_guard lock(mutex);
                                  log.push_back(t);
                                },
                                nullptr});
    x.StartXloadSwitch(folder_);
    EXPECT_TRUE(sim.WaitLine("received BOOT 65535 bytes", std::chrono::seconds(30)));
  }
  std::lock_guard lock(mutex);
  auto failed = std::find(log.begin(), log.end(), "Failed to write file to board, try to continue....");
  ASSERT_NE(failed, log.end());
  EXPECT_NE(std::find(failed, log.end(), "Successfully make download...."), log.end());
}

}  // namespace
}  // namespace upwend
