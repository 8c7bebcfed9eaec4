// QMSL_MSVC10R.dll: the session against the fake device in process, and the built library
// loaded by path and driven over a serial line (diag_line.h), down to a full NV backup and restore.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "engine/nv/nv_tables.h"
#include "engine/qmsl/qmsl_session.h"
#include "engine/nv/qmsl_loader.h"
#include "tests/unit/engine/nv/nv_rig.h"
#include "tests/support/diag_line.h"
#include "tests/support/file_text.h"

namespace upwend::testing {
namespace {

namespace fs = std::filesystem;

Bytes Blob(size_t size, uint8_t seed) {
  Bytes b(size);
  for (size_t i = 0; i < size; ++i) b[i] = static_cast<uint8_t>(seed + i * 31);
  return b;
}

TEST(QmslSession, NvAndEfsRequestsAgainstTheDevice) {
  FakeDiagDevice device;
  ScaledClock clock(0.02);
  QmslSession session(clock, [&] { return device.MakePort(); });
  ASSERT_TRUE(session.Connect(5, 100));
  EXPECT_TRUE(session.IsPhoneConnected());

  device.items[571] = {};
  uint8_t data[128];
  for (int i = 0; i < 128; ++i) data[i] = static_cast<uint8_t>(0x7E - i);
  uint16_t status = 999;
  EXPECT_TRUE(session.NvWrite(571, data, 128, status));
  EXPECT_EQ(status, 0);
  uint8_t back[128] = {};
  EXPECT_TRUE(session.NvRead(571, back, 128, status));
  EXPECT_EQ(status, 0);
  EXPECT_EQ(Bytes(back, back + 128), Bytes(data, data + 128));
  EXPECT_TRUE(session.NvRead(4000, back, 128, status));  // not active on this device
  EXPECT_EQ(status, 5);

  // Three blocks each way, the last one partial; after a flash the item folders are gone.
  const std::string dir = TestFolder("qmsl-session");
  const std::string local = dir + "/00020309.efs";
  const Bytes content = Blob(1500, 3);
  std::ofstream(local, std::ios::binary).write(reinterpret_cast<const char*>(content.data()), content.size());
  device.Flash();
  EXPECT_TRUE(session.EfsWrite(local, "nv//item_files//rfnv//00020309"));
  EXPECT_EQ(device.files["nv//item_files//rfnv//00020309"], content);
  EXPECT_TRUE(session.EfsRead("nv//item_files//rfnv//00020309", dir + "/copy.efs"));
  EXPECT_EQ(ReadFile(dir + "/copy.efs"), ReadFile(local));
  EXPECT_FALSE(session.EfsRead("nv//item_files//rfnv//00099999", dir + "/missing.efs"));
  EXPECT_FALSE(fs::exists(dir + "/missing.efs"));
  EXPECT_FALSE(session.EfsWrite(dir + "/no-such-file", "nv//x"));

  device.silent = true;
  EXPECT_FALSE(session.IsPhoneConnected());
  status = 0;
  EXPECT_FALSE(session.NvRead(571, back, 128, status));
  EXPECT_EQ(status, QmslSession::kNoReplyStatus);
  session.Disconnect();
  EXPECT_FALSE(session.NvRead(571, back, 128, status));
}

class QmslLibraryTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    setenv("UPWEND_TIME_SCALE", DiagLineTimeScale(), 1);
    DynamicQmslLoader loader;
    ASSERT_TRUE(loader.Load(QMSL_DLL_PATH, q_)) << loader.error();
    QmslEntryPoints none;
    EXPECT_FALSE(loader.Load(std::string(QMSL_DLL_PATH) + ".missing", none));
    EXPECT_FALSE(none.Complete());
  }
  void SetUp() override {
    ASSERT_TRUE(q_.Complete());
    std::string whyNot;
    line_ = OpenDiagLine(device_, whyNot);
    ASSERT_TRUE(line_) << whyNot;
    port_ = line_->Port();
  }

  static inline QmslEntryPoints q_;
  FakeDiagDevice device_;
  std::unique_ptr<DiagLine> line_;
  unsigned port_ = 0;
};

TEST_F(QmslLibraryTest, ConnectionsAndHandles) {
  QlibHandle c = q_.connectServerWithWait(port_, 2000);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(q_.isPhoneConnected(c) & 0xFF, 1);
  // The port is held exclusively while connected.
  EXPECT_EQ(q_.connectServerWithWait(port_, 50), nullptr);
  q_.disconnectServer(c);
  // Values the library did not hand out are refused, not followed.
  int bogus = 0;
  unsigned short status = 0;
  unsigned char data[128];
  EXPECT_EQ(q_.isPhoneConnected(nullptr), 0);
  EXPECT_EQ(q_.isPhoneConnected(&bogus), 0);
  EXPECT_EQ(q_.isPhoneConnected(c), 0);  // already disconnected
  EXPECT_EQ(q_.nvRead(&bogus, 571, data, 128, &status), 0);
  EXPECT_EQ(status, 0xFFFF);
  EXPECT_EQ(q_.efsRead(nullptr, "a", "b"), 0);
  q_.disconnectServer(&bogus);
  // No such port.
  EXPECT_EQ(q_.connectServerWithWait(line_->UnmappedPort(), 100), nullptr);

  device_.answerVersion = false;
  c = q_.connectServerWithWait(port_, 2000);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(q_.isPhoneConnected(c), 0);  // the port opened, the device does not answer
  q_.disconnectServer(c);
}

TEST_F(QmslLibraryTest, NvItemsGoBackAfterAFlashThroughTheWorkersQmslPath) {
  for (int id : NvRfCalibrationList()) {
    if (id < 20000) {
      device_.items[static_cast<uint16_t>(id)] = Pattern(static_cast<uint16_t>(id));
    } else {
      device_.files["nv//item_files//rfnv//000" + std::to_string(id)] = Blob(static_cast<size_t>(id % 700), id & 0xFF);
    }
  }
  device_.items.erase(1864);  // inactive: reported, not saved
  const auto itemsBefore = device_.items;
  const auto filesBefore = device_.files;

  NvRig rig("qmsl-dll");
  rig.qmsl = q_;
  NvItems& nv = rig.Make();
  const std::string efs = rig.folder + "/EFS";
  fs::create_directories(efs);
  QlibHandle c = q_.connectServerWithWait(port_, 2000);
  ASSERT_EQ(q_.isPhoneConnected(c), 1);
  nv.BackupNvQmsl(c, efs);
  q_.disconnectServer(c);
  EXPECT_TRUE(rig.ctx.raised.empty()) << rig.ctx.FirstError();
  EXPECT_TRUE(rig.ctx.Reported("Variable was not active"));
  EXPECT_EQ(nv.qmslStore()->count(), 61u);

  device_.Flash();
  c = q_.connectServerWithWait(port_, 2000);
  ASSERT_EQ(q_.isPhoneConnected(c), 1);
  nv.RestoreNvQmsl(c);
  q_.disconnectServer(c);
  EXPECT_TRUE(rig.ctx.raised.empty()) << rig.ctx.FirstError();
  EXPECT_TRUE(device_.items == itemsBefore);
  device_.files.erase("dir:rfnv");
  EXPECT_TRUE(device_.files == filesBefore);
}

}  // namespace
}  // namespace upwend::testing
