// Whole headless runs to "PASS" with products built for the helper programs: a device that starts
// as a disk, a reset through ResetModem, the xload thread feeding a USB boot device, and a
// project type that waits for InstallDriver's answer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/ini_file.h"
#include "sim_process.h"
#include "tests/support/file_text.h"

namespace upwend {
namespace {

namespace fs = std::filesystem;
using testing::SimProcess;
using testing::ReadFile;

constexpr const char* kScale = "0.02";

std::string Build(const std::string& rel) { return std::string(std::getenv("UPWEND_BUILD_DIR")) + "/" + rel; }

class HelpersEndToEnd : public ::testing::Test {
protected:
  void SetUp() override {
    home_ = testing::FreshDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    payload_ = home_ + "/payload";
    std::string out;
    ASSERT_EQ(testing::RunCommand(Build("tools/pack/upwend-pack") + " --extract " + Build("app/console/upwend") +
                                      " --payload " + payload_,
                                  out),
              0)
        << out;
  }

  void Configure(const std::string& section, const std::string& key, const std::string& value) {
    std::string path = payload_ + "/INI/ConfigFile";
    auto ini = IniFile::Load(path);
    ASSERT_TRUE(ini);
    ini->WriteString(section, key, value);
    ASSERT_TRUE(ini->Save(path));
  }

  void AddResource(const std::string& type, const std::string& name, const std::string& bytes) {
    fs::create_directories(payload_ + "/extra");
    std::ofstream(payload_ + "/extra/" + name, std::ios::binary) << bytes;
    std::ofstream(payload_ + "/manifest.txt", std::ios::app) << type << " " << name << " extra/" << name << "\n";
  }

  std::string Pack() {
    std::string product = home_ + "/product", out;
    EXPECT_EQ(testing::RunCommand(Build("tools/pack/upwend-pack") + " --tool " + Build("app/console/upwend-bare") +
                                      " --payload " + payload_ + " --out " + product,
                                  out),
              0)
        << out;
    return product;
  }

  std::vector<std::string> SimArgs(std::vector<std::string> more) {
    std::vector<std::string> args = {"--bus", home_ + "/bus", "--state", home_ + "/device", "--time-scale", kScale};
    args.insert(args.end(), more.begin(), more.end());
    return args;
  }

  // The product, headless, against the simulator's bus; the rules folder keeps InstallDriver
  // away from the machine's own udev rules.
  int RunProduct(const std::string& product, std::string& output) {
    fs::create_directories(home_ + "/rules");
    return testing::RunCommand("UPWEND_HOME=" + home_ + " UPWEND_UDEV_RULES_DIR=" + home_ + "/rules timeout 200 " +
                                   product + " --headless --time-scale " + kScale + " --start --wait 120 --devices sim:" +
                                   home_ + "/bus",
                               output);
  }

  // Once the simulator has published `port`, the product runs to its end and passes.
  void ExpectPass(SimProcess& sim, const std::string& product, const std::string& port) {
    ASSERT_TRUE(sim.WaitLine("published " + port, std::chrono::seconds(10)));
    std::string output;
    EXPECT_EQ(RunProduct(product, output), 0) << output;
    EXPECT_NE(output.find(" PASS"), std::string::npos) << output;
  }

  static int Count(const std::vector<std::string>& lines, const std::string& prefix) {
    return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
  }

  std::string home_, payload_;
};

TEST_F(HelpersEndToEnd, ADeviceThatStartsAsADiskIsSwitchedByDoShiftDeviceAndUpdated) {
  std::string product = Pack();
  SimProcess sim(SimArgs({"--mode", "disk", "--usb-id", "USB\\Vid_3A5C&Pid_f101&Rev_0100"}));
  ASSERT_NO_FATAL_FAILURE(ExpectPass(sim, product, "DISK"));
  sim.Terminate();
  EXPECT_EQ(Count(sim.Lines(), "received DISK switch"), 1);
  EXPECT_EQ(Count(sim.Lines(), "received DISK other"), 0);
}

TEST_F(HelpersEndToEnd, ResetModemRunsAtTheEndAndTheRunPasses) {
  Configure("Project", "ExecuteResetModem", "1");
  std::string product = Pack();
  SimProcess sim(SimArgs({}));
  ASSERT_NO_FATAL_FAILURE(ExpectPass(sim, product, "AT"));
  sim.Terminate();
  // At the start, back from fastboot, and back from the modem reset.
  EXPECT_EQ(Count(sim.Lines(), "published AT"), 3);
}

TEST_F(HelpersEndToEnd, TheXloadThreadFeedsTheBootDeviceWhichThenComesUpAndIsUpdated) {
  std::string image(70000, '\0');
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i % 251);
  AddResource("BIN", "xloadFile", image);
  Configure("DownloadItems", "bSwitchFastbootMode", "1");
  std::string product = Pack();
  fs::create_directories(home_ + "/log");
  std::ofstream(home_ + "/log/autotest") << "";  // keeps the run log after the PASS
  SimProcess sim(SimArgs({"--mode", "boot", "--after-boot", "normal"}));
  ASSERT_NO_FATAL_FAILURE(ExpectPass(sim, product, "BOOT"));
  sim.Terminate();
  EXPECT_EQ(ReadFile(home_ + "/device/xload-received.bin"), image.substr(0, 65535));
  auto machine = IniFile::Load(home_ + "/config/HKEY_LOCAL_MACHINE.ini");
  ASSERT_TRUE(machine);
  EXPECT_EQ(machine->ReadString("SOFTWARE\\zorovoverovo", "DownloadSupport", ""), "OK");
  // While the run log is open the thread keeps looking for the next boot device.
  std::string log;
  for (const auto& e : fs::directory_iterator(home_ + "/log"))
    if (e.path().extension() == ".log") log += ReadFile(e.path());
  EXPECT_NE(log.find("Failed to find device. try again\r\n"), std::string::npos) << log.substr(0, 2000);
}

// Project type 20 stands for the four that wait for the driver program (6, 19, 20, 42): type 6
// also needs a software version that the AT+VXTSW query never fills in, so it never gets Ready;
// and their reset after fastboot goes to a DIAG port that is not open yet, so this product
// writes its images without the fastboot configuration list's reset and restore.
TEST_F(HelpersEndToEnd, ADriverProjectTypeBecomesReadyOnceInstallDriverAnswers) {
  Configure("Project", "Project", "PT20");
  Configure("DownloadItems", "bFastbootConfiguration", "0");
  std::string product = Pack();
  SimProcess sim(SimArgs({}));
  ASSERT_NO_FATAL_FAILURE(ExpectPass(sim, product, "AT"));
  EXPECT_TRUE(fs::exists(home_ + "/rules/70-upwend.rules"));
}

}  // namespace
}  // namespace upwend
