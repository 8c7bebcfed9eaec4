// upwend --headless --start and --reupdate with the built-in product against upwend-sim: the
// exit codes, the run log, and a Re-update that puts back what a failed run saved.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "sim_process.h"

namespace upwend {
namespace {

namespace fs = std::filesystem;
using testing::SimProcess;

constexpr const char* kScale = "0.02";

struct Result {
  int exitCode = -1;
  std::string output;
};

Result Upwend(const std::string& home, const std::string& args) {
  std::string binary = std::string(std::getenv("UPWEND_BUILD_DIR")) + "/app/console/upwend";
  Result r;
  r.exitCode = testing::RunCommand("UPWEND_HOME=" + home + " timeout 120 " + binary + " --headless --time-scale " +
                                       kScale + " " + args,
                                   r.output);
  return r;
}

std::string Identity(const std::string& state, const std::string& item) {
  std::string dump;
  testing::RunCommand(SimProcess::Binary() + " --state " + state + " --dump", dump);
  size_t at = dump.find("\"" + item + "\": \"");
  if (at == std::string::npos) return {};
  at = dump.find(": \"", at) + 3;
  return dump.substr(at, dump.find('"', at) - at);
}

int LogFiles(const std::string& home) {
  int n = 0;
  if (fs::exists(home + "/log"))
    for (const auto& e : fs::directory_iterator(home + "/log")) n += e.path().extension() == ".log";
  return n;
}

TEST(HeadlessUpdateTest, StartUpdatesTheDeviceAndExitsZeroAfterPass) {
  std::string home = testing::FreshDir("headless-pass");
  SimProcess sim({"--bus", home + "/bus", "--state", home + "/device", "--time-scale", kScale});
  ASSERT_TRUE(sim.WaitLine("published AT", std::chrono::seconds(10)));
  std::string sn = Identity(home + "/device", "SN");
  Result r = Upwend(home, "--start --wait 60 --devices sim:" + home + "/bus");
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_NE(r.output.find(" Start succssfully"), std::string::npos);
  EXPECT_NE(r.output.find(" Backup succssfully"), std::string::npos);
  EXPECT_NE(r.output.find(" PASS"), std::string::npos);
  EXPECT_EQ(LogFiles(home), 0);  // a successful run deletes its log
  EXPECT_EQ(Identity(home + "/device", "SN"), sn);
}

TEST(HeadlessUpdateTest, FailedFlashThenReupdateOnTheRepairedDevice) {
  std::string home = testing::FreshDir("headless-reupdate");
  std::string sn;
  {
    SimProcess sim({"--bus", home + "/bus", "--state", home + "/device", "--time-scale", kScale, "--fault",
                    "fastboot-fail:boot"});
    ASSERT_TRUE(sim.WaitLine("published AT", std::chrono::seconds(10)));
    sn = Identity(home + "/device", "SN");
    Result failed = Upwend(home, "--start --wait 60 --devices sim:" + home + "/bus");
    EXPECT_EQ(failed.exitCode, 1) << failed.output;
    EXPECT_NE(failed.output.find("ERROR, Could not read OKAY reply."), std::string::npos) << failed.output;
    EXPECT_EQ(LogFiles(home), 1);  // a failed run keeps its log
    EXPECT_NE(Identity(home + "/device", "SN"), sn);  // the erase wiped the device
    sim.Terminate();
  }
  // The device is repaired and plugged in again (it starts normally, with its identity wiped);
  // Re-update makes no backup of its own and puts back the one the failed run made.
  SimProcess sim({"--bus", home + "/bus", "--state", home + "/device", "--time-scale", kScale});
  ASSERT_TRUE(sim.WaitLine("published AT", std::chrono::seconds(10)));
  Result resumed = Upwend(home, "--reupdate --devices sim:" + home + "/bus");
  EXPECT_EQ(resumed.exitCode, 0) << resumed.output;
  EXPECT_EQ(resumed.output.find("Backup succssfully"), std::string::npos);
  EXPECT_NE(resumed.output.find(" PASS"), std::string::npos) << resumed.output;
  EXPECT_EQ(Identity(home + "/device", "SN"), sn);
}

TEST(HeadlessUpdateTest, StartWithoutADeviceEndsWithNoDeviceReady) {
  std::string home = testing::FreshDir("headless-none");
  fs::create_directories(home + "/bus");
  Result r = Upwend(home, "--start --wait 3 --devices sim:" + home + "/bus");
  EXPECT_EQ(r.exitCode, 3) << r.output;
}

}  // namespace
}  // namespace upwend
