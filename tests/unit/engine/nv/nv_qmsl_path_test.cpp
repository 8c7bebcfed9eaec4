// The QMSL path of the NV layer against scripted entry points: the item store, EFS item
// copies, the status texts, and the saved store a resumed run restores from.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "engine/nv/nv_tables.h"
#include "tests/unit/engine/nv/nv_rig.h"

namespace upwend::testing {
namespace {

namespace fs = std::filesystem;

struct ScriptedQmsl {
  std::map<uint16_t, FakeDiagDevice::Item> nv;
  std::map<uint16_t, uint16_t> readStatus, writeStatus;
  std::set<std::string> efsReadFails;
  std::map<std::string, std::string> efs;  // device path -> content
  std::vector<uint16_t> written;
  std::vector<std::string> efsWritten;
  bool writeLeavesStatus = false;
  bool gone = false;  // the device was pulled out: every call fails, nothing answers
};
ScriptedQmsl* gQ = nullptr;

unsigned char NvRead(QlibHandle, unsigned short id, unsigned char* data, int size, unsigned short* status) {
  auto s = gQ->readStatus.find(id);
  *status = s != gQ->readStatus.end() ? s->second : 0;
  if (*status == 0) std::copy_n(gQ->nv[id].begin(), size, data);
  return 1;
}
unsigned char IsPhoneConnected(QlibHandle) { return gQ->gone ? 0 : 1; }
unsigned char NvWrite(QlibHandle, unsigned short id, unsigned char* data, int size, unsigned short* status) {
  gQ->written.push_back(id);
  if (gQ->gone) {
    *status = 0xFFFF;
    return 0;
  }
  if (gQ->writeLeavesStatus) return 0;
  auto s = gQ->writeStatus.find(id);
  *status = s != gQ->writeStatus.end() ? s->second : 0;
  std::copy_n(data, size, gQ->nv[id].begin());
  return 1;
}
unsigned char EfsRead(QlibHandle, const char* device, const char* local) {
  if (gQ->efsReadFails.count(device)) return 0;
  std::ofstream(local, std::ios::binary) << gQ->efs[device];
  return 1;
}
unsigned char EfsWrite(QlibHandle, const char* local, const char* device) {
  if (gQ->gone) {
    gQ->efsWritten.push_back(device);
    return 0;
  }
  std::ifstream in(local, std::ios::binary);
  if (!in) return 0;
  gQ->efs[device] = std::string(std::istreambuf_iterator<char>(in), {});
  gQ->efsWritten.push_back(device);
  return 1;
}

class QmslPathTest : public ::testing::Test {
protected:
  void SetUp() override {
    gQ = &q;
    for (int id : NvRfCalibrationList()) {
      if (id < 20000) {
        q.nv[static_cast<uint16_t>(id)] = Pattern(static_cast<uint16_t>(id));
      } else {
        q.efs["nv//item_files//rfnv//000" + std::to_string(id)] = "cal-" + std::to_string(id);
      }
    }
  }
  void TearDown() override { gQ = nullptr; }

  std::unique_ptr<NvRig> Rig(const std::string& name) {
    auto rig = std::make_unique<NvRig>(name);
    rig->qmsl.nvRead = NvRead;
    rig->qmsl.nvWrite = NvWrite;
    rig->qmsl.efsRead = EfsRead;
    rig->qmsl.efsWrite = EfsWrite;
    rig->qmsl.isPhoneConnected = IsPhoneConnected;
    return rig;
  }
  // The device backup folder layout the worker makes: <backup>/<device>/EFS.
  std::string EfsFolder(NvRig& rig, const std::string& device = "SN[A1]") {
    std::string folder = rig.folder + "/backup/" + device + "/EFS";
    fs::create_directories(folder);
    return folder;
  }

  ScriptedQmsl q;
};

TEST_F(QmslPathTest, BackupAndRestoreBringEveryItemBack) {
  auto rig = Rig("qmsl-roundtrip");
  NvItems& nv = rig->Make();
  const std::string efs = EfsFolder(*rig);
  nv.BackupNvQmsl(nullptr, efs);
  EXPECT_TRUE(rig->ctx.raised.empty()) << rig->ctx.FirstError();
  EXPECT_TRUE(rig->ctx.Reported("READ NV ITEM ID:540"));
  EXPECT_EQ(rig->ctx.CountReported("READ OK"), 62);
  ASSERT_TRUE(nv.HasQmslStore());
  EXPECT_EQ(nv.qmslStore()->count(), 62u);
  EXPECT_TRUE(fs::exists(efs + "/00020309.efs"));
  EXPECT_TRUE(fs::exists(efs + "/nvitems.qms"));

  auto before = q;
  for (auto& [id, item] : q.nv) item.fill(0);
  q.efs.clear();
  rig->ctx.lines.clear();
  nv.RestoreNvQmsl(nullptr);
  EXPECT_TRUE(rig->ctx.raised.empty()) << rig->ctx.FirstError();
  EXPECT_TRUE(q.nv == before.nv);
  EXPECT_EQ(q.efs, before.efs);
  EXPECT_EQ(rig->ctx.CountReported("WRITE OK"), 62);
  EXPECT_EQ(rig->ctx.CountReported("WRITE NV ITEM ID:571"), 1);
  // EFS item files carry no item line of their own.
  EXPECT_FALSE(rig->ctx.Reported("WRITE NV ITEM ID:20309"));
  nv.FreeQmslStore();
  EXPECT_FALSE(nv.HasQmslStore());
}

TEST_F(QmslPathTest, StatusesAndFailedCopiesAreReportedOrRaisedAndTheRestGoesOn) {
  q.readStatus[571] = 5;
  q.readStatus[1864] = 3;
  q.efsReadFails.insert("nv//item_files//rfnv//00020309");
  auto rig = Rig("qmsl-statuses");
  NvItems& nv = rig->Make();
  nv.BackupNvQmsl(nullptr, EfsFolder(*rig));
  EXPECT_TRUE(rig->ctx.Reported("Variable was not active"));
  EXPECT_EQ(rig->ctx.FirstError(), "The NVM is full");
  EXPECT_EQ(rig->ctx.raised, (std::vector<std::string>{"The NVM is full", "READ ERROR"}));
  EXPECT_EQ(nv.qmslStore()->count(), 59u);  // every other item was still read
  EXPECT_TRUE(rig->ctx.Reported("READ NV ITEM ID:28334"));

  q.writeStatus[540] = 7;
  q.writeStatus[2892] = 11;
  rig->ctx.raised.clear();
  nv.RestoreNvQmsl(nullptr);
  EXPECT_TRUE(rig->ctx.Reported("Parameter is write-protected and thus read only"));
  EXPECT_EQ(rig->ctx.raised, (std::vector<std::string>{"WRITE ERROR"}));
  // Only reported, but the run learns the saved value did not go back.
  EXPECT_EQ(rig->ctx.notRestored, (std::vector<std::string>{"NV 540"}));
}

TEST_F(QmslPathTest, ADeviceGoneDuringTheRestoreEndsItAtTheFirstFailedItem) {
  auto rig = Rig("qmsl-gone");
  rig->params.ComPort = 5;
  NvItems& nv = rig->Make();
  nv.BackupNvQmsl(nullptr, EfsFolder(*rig));
  ASSERT_TRUE(rig->ctx.raised.empty()) << rig->ctx.FirstError();
  q.gone = true;
  nv.RestoreNvQmsl(nullptr);
  EXPECT_EQ(rig->ctx.raised, (std::vector<std::string>{"The device was removed from COM5"}));
  // One try, not one time-out after another for every remaining item.
  EXPECT_EQ(q.written.size() + q.efsWritten.size(), 1u);
}

TEST_F(QmslPathTest, AWriteThatLeavesTheStatusAloneIsAFailure) {
  auto rig = Rig("qmsl-status-untouched");
  NvItems& nv = rig->Make();
  nv.BackupNvQmsl(nullptr, EfsFolder(*rig));
  q.writeLeavesStatus = true;
  nv.RestoreNvQmsl(nullptr);
  EXPECT_EQ(rig->ctx.FirstError(), "WRITE ERROR");
  EXPECT_EQ(rig->ctx.CountReported("WRITE OK"), 48);  // only the EFS item files went back
}

TEST_F(QmslPathTest, AResumedRunRestoresTheStoreTheFailedRunSaved) {
  auto first = Rig("qmsl-resume");
  first->params.BackupFilePath = first->folder + "/backup";
  first->Make().BackupNvQmsl(nullptr, EfsFolder(*first));
  auto saved = q;
  for (auto& [id, item] : q.nv) item.fill(0);
  q.efs.clear();

  // A new worker, no backup in its run; it knows only the backup folder.
  NvRig second("qmsl-resume-2");
  second.qmsl = first->qmsl;
  second.params.BackupFilePath = first->params.BackupFilePath;
  NvItems& nv = second.Make();
  nv.SetBackupFile("");
  nv.RestoreNvQmsl(nullptr);
  EXPECT_TRUE(second.ctx.raised.empty()) << second.ctx.FirstError();
  EXPECT_TRUE(second.ctx.Reported("Restore NV items saved in " + first->folder + "/backup/SN[A1]/EFS"));
  EXPECT_TRUE(q.nv == saved.nv);
  EXPECT_EQ(q.efs, saved.efs);
  EXPECT_TRUE(nv.HasQmslStore());
}

TEST_F(QmslPathTest, AResumedRunRestoresNothingFromAnotherDeviceOrAHalfStore) {
  auto first = Rig("qmsl-two");
  first->params.BackupFilePath = first->folder + "/backup";
  first->Make().BackupNvQmsl(nullptr, EfsFolder(*first, "SN[A1]"));
  first->Make().BackupNvQmsl(nullptr, EfsFolder(*first, "SN[B2]"));
  {
    NvRig second("qmsl-two-2");
    second.qmsl = first->qmsl;
    second.params.BackupFilePath = first->params.BackupFilePath;
    q.written.clear();
    NvItems& nv = second.Make();
    nv.SetBackupFile("");
    nv.RestoreNvQmsl(nullptr);
    EXPECT_TRUE(second.ctx.Reported("NV items saved for several devices in " + first->params.BackupFilePath +
                                    ": none restored"));
    EXPECT_TRUE(q.written.empty());
    EXPECT_FALSE(second.nv->HasQmslStore());
  }
  {
    // The same device's folder named by the run, its store cut short.
    const std::string store = first->folder + "/backup/SN[B2]/EFS/nvitems.qms";
    fs::resize_file(store, fs::file_size(store) - 10);
    NvRig second("qmsl-cut");
    second.qmsl = first->qmsl;
    NvItems& nv = second.Make();
    nv.SetBackupFile(first->folder + "/backup/SN[B2]/nv.bak");
    q.written.clear();
    q.efsWritten.clear();
    nv.RestoreNvQmsl(nullptr);
    EXPECT_EQ(q.written.size() + q.efsWritten.size(), 61u);  // all but the damaged last record
    EXPECT_EQ(second.ctx.FirstError(), "Saved NV items incomplete: " + first->folder + "/backup/SN[B2]/EFS");
  }
}

TEST_F(QmslPathTest, ARunThatMadeABackupNeverTakesAnOlderStore) {
  auto first = Rig("qmsl-own");
  first->params.BackupFilePath = first->folder + "/backup";
  first->Make().BackupNvQmsl(nullptr, EfsFolder(*first));
  NvRig second("qmsl-own-2");
  second.params.BackupFilePath = first->params.BackupFilePath;
  second.qmsl = first->qmsl;
  second.device.items[141] = Pattern(141);
  NvItems& nv = second.Make();
  nv.BuildNvBackupList();
  nv.BackupNvToFile();  // this run saved over DIAG
  q.written.clear();
  nv.RestoreNvQmsl(nullptr);
  EXPECT_TRUE(q.written.empty());
}

}  // namespace
}  // namespace upwend::testing
