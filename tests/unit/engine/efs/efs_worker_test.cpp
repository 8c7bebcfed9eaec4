// The EFS layer inside a whole update run: the worker's sequence with scripted doubles for the
// other layers, and the real EFS layer talking DIAG to an in-memory device whose flash wipes
// the user data.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/worker/comms_thread.h"
#include "platform/last_error.h"
#include "platform/manual_clock.h"
#include "support/efs_fixture.h"
#include "tests/unit/engine/worker/worker_doubles.h"
#include "tests/unit/platform/test_dir.h"

namespace upwend::test {
namespace {

namespace fs = std::filesystem;

class EfsWorkerTest : public ::testing::Test {
protected:
  void SetUp() override {
    root = upwend::testing::FreshTestDir();
    fs::create_directories(root + "/Backup");
    p.ComPort = 5;
    p.SerialComPort = 6;
    p.projectType = 1013;
    p.PlatformName = 255;
    p.options.bFastbootConfiguration = true;
    p.options.bBackupUserData = true;
    p.TempFiles = root + "/TempFiles";
    p.BackupFilePath = root + "/Backup";
    p.UserDataDirList = &dirs;
    p.UserDataFilesList = &files;
    d.script.atReplies = {{"AT+CFUN=5", ""}, {"AT+CFUN=1", ""}};
    SetLastSystemError(0);
    for (const auto& [path, content] : original) device.AddFile(path, content);
    device.AddFile("usr/prefs.dat", {9});
  }

  void Run() {
    worker = std::make_unique<TCommsThread>(p, window, clock);
    transport = std::make_unique<DiagTransport>(*worker, [this] { return device.MakePort(clock); });
    transport->config().comPort = p.ComPort;
    ASSERT_TRUE(transport->OpenDiagPort());
    framing = std::make_unique<DiagFraming>(*worker, *transport);
    WorkerLayers layers = d.MakeLayers();
    layers.efs = std::make_unique<EfsFiles>(*worker, worker->params(), *framing);
    worker->SetLayers(std::move(layers));
    // The flash writes only while the run is sound, and it wipes the user data.
    d.script.during["RunFastbootPass"] = [this] {
      if (worker->ErrorCode() != 0) return;
      backupSeen = fs::exists(p.BackupFilePath + "/SN[A1]IMEI[12345]/EFS/usr/settings/a.cfg");
      device.Wipe("usr");
      device.Wipe("nv");
    };
    worker->Execute();
  }

  std::string root;
  RunParameters p;
  StringList dirs{"/usr"};
  StringList files{"/nv/item_files/ims/x.cfg"};
  std::map<std::string, Bytes> original = {
      {"usr/settings/a.cfg", EfsFixture::Content(2000)},
      {"usr/empty", {}},
      {"usr/deep/er/b", EfsFixture::Content(1488, 5)},
      {"nv/item_files/ims/x.cfg", EfsFixture::Content(33, 2)},
  };
  upwend::testing::Doubles d;
  upwend::testing::FakeWindow window{d};
  ManualClock clock;
  EfsResponder device;
  std::unique_ptr<TCommsThread> worker;
  std::unique_ptr<DiagTransport> transport;
  std::unique_ptr<DiagFraming> framing;
  bool backupSeen = false;
};

TEST_F(EfsWorkerTest, UserDataComesBackAfterTheFlashWipedIt) {
  Run();
  EXPECT_TRUE(window.errors.empty()) << window.errors.front();
  EXPECT_TRUE(backupSeen);
  EXPECT_TRUE(d.journal.Has("PASS"));
  for (const auto& [path, content] : original) {
    ASSERT_TRUE(device.files.count(path)) << path;
    EXPECT_EQ(device.files[path], content) << path;
  }
  EXPECT_FALSE(device.files.count("usr/prefs.dat"));
  EXPECT_TRUE(device.folders.count("usr/deep/er"));
  // After the verdict the device backup folder goes.
  EXPECT_FALSE(fs::exists(p.BackupFilePath + "/SN[A1]IMEI[12345]"));
}

TEST_F(EfsWorkerTest, AnUnsafeListingEntryStopsTheRunBeforeTheFlashAndKeepsTheBackup) {
  device.extraEntries["usr"] = {{0, 0x81B6, 4, "../../../../../outside"}};
  Run();
  ASSERT_FALSE(window.errors.empty());
  EXPECT_EQ(window.errors.front().rfind("ERROR, [EFS] Refused unsafe path:", 0), 0u) << window.errors.front();
  EXPECT_FALSE(d.journal.Has("PASS"));
  const std::string efs = p.BackupFilePath + "/SN[A1]IMEI[12345]/EFS";
  EXPECT_EQ(EfsFixture::ReadLocal(efs + "/usr/settings/a.cfg"), original["usr/settings/a.cfg"]);
  EXPECT_EQ(EfsFixture::ReadLocal(efs + "/nv/item_files/ims/x.cfg"), original["nv/item_files/ims/x.cfg"]);
  for (const auto& [path, content] : original) EXPECT_TRUE(device.files.count(path)) << path;
  EXPECT_FALSE(fs::exists(root + "/outside"));
  EXPECT_FALSE(fs::exists(fs::path(root).parent_path() / "outside"));
}

}  // namespace
}  // namespace upwend::test
