// The EFS layer against the built upwend-sim over its DIAG pseudo-terminal: user data copied out,
// the device's folder wiped, copied back byte for byte (compared through the simulator's state
// dump), and the part-of-EFS edits.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <chrono>
#include <random>
#include <sstream>

#include "engine/diag/diag_framing.h"
#include "engine/diag/diag_transport.h"
#include "engine/efs/efs_device.h"
#include "engine/efs/efs_files.h"
#include "platform/port_names.h"
#include "platform/clock.h"
#include "platform/serial_port.h"
#include "sim_process.h"
#include "tests/support/part_of_efs_lists.h"
#include "tests/support/recording_context.h"

namespace upwend {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using testing::RunCommand;
using testing::SimProcess;

std::string Field(const std::string& line, int index) {
  std::istringstream in(line);
  std::string word;
  for (int i = 0; i <= index; ++i) in >> word;
  return word;
}

void WriteRandom(const std::string& path, size_t size, uint32_t seed) {
  fs::create_directories(fs::path(path).parent_path());
  std::mt19937 gen(seed);
  std::string data(size, '\0');
  for (auto& c : data) c = static_cast<char>(gen());
  std::ofstream(path, std::ios::binary) << data;
}

// The dump lines of the EFS files and folders below `prefix`.
std::vector<std::string> EfsLines(const std::string& dump, const std::string& prefix) {
  std::vector<std::string> out;
  std::istringstream in(dump);
  for (std::string line; std::getline(in, line);) {
    if (line.find("\"" + prefix) != std::string::npos) out.push_back(line);
  }
  return out;
}

class EfsSimTest : public ::testing::Test {
protected:
  void SetUp() override {
    dir = testing::FreshDir(std::string("efs-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    state = dir + "/state";
    sim = std::make_unique<SimProcess>(
        std::vector<std::string>{"--bus", dir + "/bus", "--state", state, "--time-scale", "0.1"});
    ASSERT_TRUE(sim->Running());
    auto line = sim->WaitLine("published DIAG", 20s);
    ASSERT_TRUE(line) << "no DIAG port published";
    portName = Field(*line, 2);
    node = Field(*line, 3);
    transport = std::make_unique<DiagTransport>(worker, [this] {
      return CreatePosixSerialPort(clock, [this](const std::string& name) -> std::optional<std::string> {
        if (name == portName) return node;
        return std::nullopt;
      });
    });
    transport->config().comPort = ParsePortName(portName).value_or(0);
    ASSERT_TRUE(transport->OpenDiagPort());
    framing = std::make_unique<DiagFraming>(worker, *transport);
    backupFolder = dir + "/Backup/SN[A1]";
    fs::create_directories(backupFolder + "/EFS");
  }

  void TearDown() override {
    framing.reset();
    transport.reset();
    if (sim) sim->Terminate();
  }

  std::string Dump() {
    std::string out;
    EXPECT_EQ(RunCommand(SimProcess::Binary() + " --state '" + state + "' --dump", out), 0) << out;
    return out;
  }
  std::string Efs(const std::string& devicePath) const { return state + "/efs/" + devicePath; }

  ScaledClock clock{0.1};
  testing::RecordingContext worker{clock};
  std::string dir, state, portName, node, backupFolder;
  std::unique_ptr<SimProcess> sim;
  std::unique_ptr<DiagTransport> transport;
  std::unique_ptr<DiagFraming> framing;
  RunParameters params;
};

TEST_F(EfsSimTest, UserDataRoundTripsThroughTheSimulator) {
  WriteRandom(Efs("usr/a.cfg"), 700, 1);
  WriteRandom(Efs("usr/sub/b.bin"), 1488 * 2 + 1, 2);
  WriteRandom(Efs("usr/sub/deeper/c"), 512, 3);
  WriteRandom(Efs("usr/sub/empty"), 0, 4);
  WriteRandom(Efs("usr/prefs.dat"), 20, 5);
  WriteRandom(Efs("cfg/one.cfg"), 33, 6);
  const std::string before = Dump();
  const std::vector<std::string> usrBefore = EfsLines(before, "usr/");
  ASSERT_EQ(usrBefore.size(), 7u) << before;

  StringList dirs{"/usr"}, files{"/cfg/one.cfg", "/cfg/missing.cfg"};
  params.UserDataDirList = &dirs;
  params.UserDataFilesList = &files;
  params.options.bBackupUserData = true;
  EfsFiles efs(worker, params, *framing, transport.get());
  efs.BackupUserData(backupFolder);
  ASSERT_TRUE(worker.raised.empty()) << worker.raised.front();
  EXPECT_EQ(fs::file_size(backupFolder + "/EFS/usr/sub/b.bin"), 1488u * 2 + 1);
  EXPECT_FALSE(fs::exists(backupFolder + "/EFS/usr/prefs.dat"));

  // The flash wipes the user data.
  fs::remove_all(Efs("usr"));
  fs::remove_all(Efs("cfg"));
  ASSERT_TRUE(EfsLines(Dump(), "usr/").empty());

  efs.RestoreUserData(backupFolder);
  ASSERT_TRUE(worker.raised.empty()) << worker.raised.front();
  const std::string after = Dump();
  std::vector<std::string> expected;
  for (const auto& l : usrBefore)
    if (l.find("prefs.dat") == std::string::npos) expected.push_back(l);
  EXPECT_EQ(EfsLines(after, "usr/"), expected) << after;
  EXPECT_EQ(EfsLines(after, "cfg/"), EfsLines(before, "cfg/"));
}

TEST_F(EfsSimTest, PartOfEfsEditsReachTheSimulator) {
  WriteRandom(Efs("nv/old.cfg"), 10, 1);
  for (int i = 0; i < 55; ++i) WriteRandom(Efs("cache/f" + std::to_string(i)), 3, static_cast<uint32_t>(i));
  WriteRandom(dir + "/pkg/one.bin", 1489, 7);
  testing::PartOfEfsLists lists{{"nv/old.cfg"}, {"cache"}, {"new", "new/inner"}, {"new/inner/one.bin"}, {dir + "/pkg/one.bin"}};
  lists.AttachTo(params);
  params.AddFileSizes[0] = 1489;
  EfsFiles efs(worker, params, *framing, transport.get());
  efs.ApplyPartOfEfs();
  ASSERT_TRUE(worker.raised.empty()) << worker.raised.front();
  EXPECT_FALSE(fs::exists(Efs("nv/old.cfg")));
  EXPECT_FALSE(fs::exists(Efs("cache")));
  std::string a, b;
  RunCommand("cmp '" + dir + "/pkg/one.bin' '" + Efs("new/inner/one.bin") + "' && echo same", a);
  EXPECT_NE(a.find("same"), std::string::npos) << a;
}

}  // namespace
}  // namespace upwend

namespace upwend {
namespace {

// Rates over the simulator's pseudo-terminal, recorded as test properties (the pause before each
// transfer, 500 ms at time scale 1, is taken out so the numbers hold for any scale).
TEST_F(EfsSimTest, TransferRatesOverThePseudoTerminal) {
  constexpr size_t kSize = 64 * 1024;
  WriteRandom(Efs("rate/src.bin"), kSize, 11);
  WriteRandom(dir + "/up.bin", kSize, 12);
  EfsDevice efs(worker, *framing, transport.get());
  const double pauseMs = 500 * clock.Scale();
  auto since = [](std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t).count();
  };

  auto t0 = std::chrono::steady_clock::now();
  uint32_t size = 0;
  ASSERT_EQ(efs.EfsOpenRead("rate/src.bin", size), 0);
  ASSERT_EQ(efs.EfsReadToFile(dir + "/down.bin", size), 0);
  ASSERT_EQ(efs.EfsClose(), 0);
  const double readMs = since(t0) - pauseMs;

  t0 = std::chrono::steady_clock::now();
  ASSERT_EQ(efs.EfsOpenWrite("rate/dst.bin"), 0);
  efs.UploadFile(dir + "/up.bin", kSize);
  ASSERT_EQ(efs.EfsClose(), 0);
  const double writeMs = since(t0) - pauseMs;
  ASSERT_TRUE(worker.raised.empty()) << worker.raised.front();
  EXPECT_EQ(fs::file_size(dir + "/down.bin"), kSize);
  EXPECT_EQ(fs::file_size(Efs("rate/dst.bin")), kSize);

  const double readRequests = 3 + kSize / 512.0, writeRequests = 3 + (kSize + 1487) / 1488;
  RecordProperty("read_KBps", static_cast<int>(kSize / 1024.0 / (readMs / 1000)));
  RecordProperty("write_KBps", static_cast<int>(kSize / 1024.0 / (writeMs / 1000)));
  RecordProperty("read_us_per_request", static_cast<int>(readMs * 1000 / readRequests));
  RecordProperty("write_us_per_request", static_cast<int>(writeMs * 1000 / writeRequests));
}

}  // namespace
}  // namespace upwend
