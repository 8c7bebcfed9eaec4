// upwend --headless --start and --reupdate with the built-in product against upwend-sim: the
// exit codes, the run log, and a Re-update that puts back what a failed run saved.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

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

std::string UpwendBinary() { return std::string(std::getenv("UPWEND_BUILD_DIR")) + "/app/console/upwend"; }

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

Result Upwend(const std::string& home, const std::string& args, std::string binary = UpwendBinary()) {
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

// The device's user files as the state dump lists them ("user/...": size and hash).
std::string UserFiles(const std::string& state) {
  std::string dump, out;
  testing::RunCommand(SimProcess::Binary() + " --state " + state + " --dump", dump);
  std::istringstream in(dump);
  for (std::string line; std::getline(in, line);)
    if (line.find("\"user/") != std::string::npos) out += line + "\n";
  return out;
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
  // The program runs from a folder of its own: start-up writes AdbWinUsbApi.dll beside it, and a
  // run that passes takes it away again.
  fs::create_directories(home + "/bin");
  fs::copy_file(UpwendBinary(), home + "/bin/upwend");
  Result r = Upwend(home, "--start --wait 60 --devices sim:" + home + "/bus", home + "/bin/upwend");
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_NE(r.output.find(" Start succssfully"), std::string::npos);
  EXPECT_NE(r.output.find(" Backup succssfully"), std::string::npos);
  EXPECT_NE(r.output.find(" PASS"), std::string::npos);
  EXPECT_EQ(r.output.find("run log folder"), std::string::npos) << r.output;
  EXPECT_EQ(LogFiles(home), 0);  // a successful run deletes its log
  EXPECT_EQ(Identity(home + "/device", "SN"), sn);
  EXPECT_FALSE(fs::exists(home + "/bin/AdbWinUsbApi.dll"));
}

// Stop (SIGINT in headless mode) in the middle of a run: the run ends with a verdict that says
// so, the log keeps it, and the device backup stays for a Re-update.
TEST(HeadlessUpdateTest, StopEndsTheRunWithAVerdict) {
  std::string home = testing::FreshDir("headless-stop");
  SimProcess sim({"--bus", home + "/bus", "--state", home + "/device", "--time-scale", kScale});
  ASSERT_TRUE(sim.WaitLine("published AT", std::chrono::seconds(10)));
  SimProcess upwend(UpwendBinary(),
                    {"--headless", "--time-scale", kScale, "--start", "--wait", "60", "--devices", "sim:" + home + "/bus"},
                    {"UPWEND_HOME=" + home});
  ASSERT_TRUE(upwend.WaitLineContaining(" Backup succssfully", std::chrono::seconds(60))) << upwend.Output();
  int code = upwend.Stop(SIGINT, std::chrono::seconds(60));
  std::string out = upwend.Output();
  EXPECT_EQ(code, 1) << out;
  EXPECT_EQ(out.find(" PASS"), std::string::npos) << out;
  EXPECT_NE(out.find(" Shutting down COMM..."), std::string::npos) << out;
  EXPECT_NE(out.find(" Stopped by the user\n"), std::string::npos) << out;
  ASSERT_EQ(LogFiles(home), 1);
  for (const auto& e : fs::directory_iterator(home + "/log")) {
    std::string log = ReadText(e.path().string());
    // The log closes at the run's first failure line: the stop verdict, or a port loop's
    // "COMM Closed" when the stop reached one first.
    bool told = log.find("Stopped by the user") != std::string::npos || log.find("COMM Closed") != std::string::npos;
    EXPECT_TRUE(told) << log;
  }
}

TEST(HeadlessUpdateTest, FailedFlashThenReupdateOnTheRepairedDevice) {
  std::string home = testing::FreshDir("headless-reupdate");
  std::string sn, userFiles;
  {
    SimProcess sim({"--bus", home + "/bus", "--state", home + "/device", "--time-scale", kScale, "--fault",
                    "fastboot-fail:boot"});
    ASSERT_TRUE(sim.WaitLine("published AT", std::chrono::seconds(10)));
    sn = Identity(home + "/device", "SN");
    userFiles = UserFiles(home + "/device");
    EXPECT_FALSE(userFiles.empty());
    Result failed = Upwend(home, "--start --wait 60 --devices sim:" + home + "/bus");
    EXPECT_EQ(failed.exitCode, 1) << failed.output;
    EXPECT_NE(failed.output.find("ERROR, Could not read OKAY reply."), std::string::npos) << failed.output;
    EXPECT_EQ(LogFiles(home), 1);  // a failed run keeps its log
    EXPECT_NE(Identity(home + "/device", "SN"), sn);  // the erase wiped the device
    sim.Terminate();
  }
  // The device backup is kept in the user's persistent state, private to the user.
  int backups = 0;
  for (const auto& e : fs::recursive_directory_iterator(home + "/state/Backup"))
    backups += e.path().filename().string().starts_with("SN[");
  EXPECT_EQ(backups, 1);
  EXPECT_EQ(fs::status(home + "/state").permissions() & (fs::perms::group_all | fs::perms::others_all),
            fs::perms::none);
  // The computer restarts, which empties the temporary folder.
  fs::remove_all(home + "/tmp");
  // The device is repaired and plugged in again (it starts normally, with its identity wiped);
  // Re-update makes no backup of its own and puts back the one the failed run made.
  SimProcess sim({"--bus", home + "/bus", "--state", home + "/device", "--time-scale", kScale});
  ASSERT_TRUE(sim.WaitLine("published AT", std::chrono::seconds(10)));
  Result resumed = Upwend(home, "--reupdate --devices sim:" + home + "/bus");
  EXPECT_EQ(resumed.exitCode, 0) << resumed.output;
  EXPECT_EQ(resumed.output.find("Backup succssfully"), std::string::npos);
  EXPECT_NE(resumed.output.find(" PASS"), std::string::npos) << resumed.output;
  EXPECT_EQ(Identity(home + "/device", "SN"), sn);
  EXPECT_EQ(UserFiles(home + "/device"), userFiles);  // the built-in product saves them too
}

TEST(HeadlessUpdateTest, StartWithoutADeviceEndsWithNoDeviceReady) {
  std::string home = testing::FreshDir("headless-none");
  fs::create_directories(home + "/bus");
  Result r = Upwend(home, "--start --wait 3 --devices sim:" + home + "/bus");
  EXPECT_EQ(r.exitCode, 3) << r.output;
}

}  // namespace
}  // namespace upwend
