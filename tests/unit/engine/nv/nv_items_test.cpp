// The DIAG path of the NV layer against a fake device: list building, nv.bak backup and
// restore, statuses, bad files, a silent device, configured writes.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "engine/nv/nv_backup_file.h"
#include "engine/nv/nv_tables.h"
#include "tests/unit/engine/nv/nv_rig.h"
#include "tests/support/file_text.h"

namespace upwend::testing {
namespace {

namespace fs = std::filesystem;

void WriteRecords(const std::string& path, const std::vector<uint16_t>& ids) {
  std::string bytes(ids.size() * kNvRecordSize, '\0');
  for (size_t i = 0; i < ids.size(); ++i) {
    NvRecord r;
    r.id = ids[i];
    r.data = Pattern(ids[i]);
    EncodeNvRecord(r, std::span<uint8_t, kNvRecordSize>(reinterpret_cast<uint8_t*>(bytes.data()) + i * kNvRecordSize,
                                                         kNvRecordSize));
  }
  std::ofstream(path, std::ios::binary) << bytes;
}

TEST(NvTables, DataFilesHoldTheNamedCountsFirstAndLastItems) {
  auto lte = NvLteTable();
  ASSERT_EQ(lte.size(), 272u);
  EXPECT_EQ(lte.front().id, 5609);
  EXPECT_STREQ(lte.front().name, "NV_GSM_850_AMAM_LINEAR_PA_RANGEA_F3_SEG1_I");
  EXPECT_EQ(lte.back().id, 20216);
  EXPECT_STREQ(lte.back().name, "RFNV_LTE_B40_C1_RX_GAIN_I_I");
  auto gw = NvGsmWcdmaTable();
  ASSERT_EQ(gw.size(), 805u);
  EXPECT_EQ(gw.front().id, 141);
  EXPECT_STREQ(gw.front().name, "NV_THERM_I");
  EXPECT_EQ(gw.back().id, 7224);
  EXPECT_STREQ(gw.back().name, "NV_C1_WCDMA_2100_VGA_GAIN_OFFSET_CAR1_I");
  auto alt = NvAlternativeTable();
  ASSERT_EQ(alt.size(), 349u);
  EXPECT_EQ(alt[0].id, 74);
  EXPECT_EQ(alt[1].id, 3649);
  EXPECT_STREQ(alt.back().name, "NV_WCDMA_900_TX_COMP_VS_FREQ_SEC_PDM_LIST_I");
  for (auto table : {lte, gw, alt}) {
    for (const auto& e : table) {
      EXPECT_GE(e.id, 0);
      EXPECT_LE(e.id, 0xFFFF);
      EXPECT_NE(e.name[0], '\0');
    }
  }
  EXPECT_EQ(NvRfCalibrationList().size(), 62u);
}

TEST(NvItemsList, BuildNvBackupListFollowsNetworkAndProjectType) {
  struct Case {
    int network, project;
    bool rtrecfg, alcatel;
    const char* lteType;
    size_t size;
    int first;
  };
  const Case cases[] = {
      {0, 1013, false, false, "", 805, 141},      // GSM/WCDMA
      {3, 1013, false, false, "", 272, 5609},     // LTE
      {3, 1013, false, false, "LTE", 544, 5609},  // LTE twice
      {0, 1013, false, false, "LTE", 1077, 141},  // GSM/WCDMA then LTE
      {2, 0, false, false, "", 52, 6503},         // CDMA
      {0, 37, true, false, "", 64, 6503},         // CDMA and the subscription table
      {0, 38, true, false, "", 52, 6503},         // no subscription table for 38
      {0, 12, false, true, "LTE", 0, -1},         // the alternative list instead
  };
  for (const Case& c : cases) {
    NvRig rig("list");
    rig.params.PlatformType = c.network;
    rig.params.projectType = c.project;
    rig.params.RTRECFG = c.rtrecfg;
    rig.params.IsAlcatel = c.alcatel;
    rig.params.strLTEType = c.lteType;
    NvItems& nv = rig.Make();
    nv.BuildNvBackupList();
    ASSERT_EQ(nv.backupList().size(), c.size) << c.network << "/" << c.project;
    if (c.size > 0) {
      EXPECT_EQ(nv.backupList().front().id, c.first);
    }
    if (c.rtrecfg && c.project == 37) {
      EXPECT_EQ(nv.backupList()[52].id, 1943);
    }
    EXPECT_TRUE(nv.savedList().empty());
  }
}

TEST(NvItemsDiag, BackupAndRestoreRoundTripThroughNvBak) {
  NvRig rig("roundtrip");
  rig.params.PlatformType = 2;  // the CDMA table
  rig.params.projectType = 0;   // 6503 and 6504 are not saved
  for (const auto& e : NvCdmaTable()) rig.device.items[e.id] = Pattern(e.id);
  rig.device.items.erase(1743);  // inactive on this device
  NvItems& nv = rig.Make();
  nv.BuildNvBackupList();
  nv.BackupNvToFile();

  EXPECT_TRUE(rig.ctx.raised.empty()) << rig.ctx.FirstError();
  EXPECT_TRUE(rig.ctx.Reported("Backup NV Start."));
  EXPECT_TRUE(rig.ctx.Reported("[1743]NV_C0_BC0_LNA_1_OFFSET_I: OK"));
  EXPECT_TRUE(rig.ctx.Reported("[1743]NV_C0_BC0_LNA_1_OFFSET_I:NV status Error Received:Item inactive"));
  EXPECT_TRUE(rig.ctx.Reported("Backup NV......OK"));
  EXPECT_EQ(rig.ctx.CountReported("Success to backup NV......"), 49);
  EXPECT_EQ(rig.device.nvReads, 50);  // 52 less the two UIT items
  ASSERT_EQ(nv.savedList().size(), 49u);
  for (const auto& e : nv.savedList()) EXPECT_NE(e.id, 1743);

  const std::string bytes = ReadFile(rig.BakFile());
  ASSERT_EQ(bytes.size(), 49 * kNvRecordSize);
  std::vector<NvRecord> records = ParseNvBak(bytes);
  EXPECT_EQ(records.front().id, 1738);
  EXPECT_TRUE(records.front().data == Pattern(1738));

  auto before = rig.device.items;
  rig.device.Flash();
  // Never saved for this project type, so never put back.
  before[6503].fill(0);
  before[6504].fill(0);
  rig.ctx.lines.clear();
  nv.RestoreNvFromFile();
  EXPECT_TRUE(rig.ctx.raised.empty()) << rig.ctx.FirstError();
  EXPECT_TRUE(rig.ctx.Reported("Restore NV Start."));
  EXPECT_TRUE(rig.ctx.Reported("[1738]NV_C0_BC0_RX_CAL_CHAN_I: OK"));
  EXPECT_TRUE(rig.ctx.Reported("Restore NV......OK"));
  EXPECT_EQ(rig.device.nvWrites, 49);
  EXPECT_TRUE(rig.device.items == before);
}

TEST(NvItemsDiag, InactiveItemsOnRestoreAndAnUnwritableNvBakAreNotLostSilently) {
  NvRig rig("not-restored");
  rig.params.PlatformType = 2;
  rig.params.projectType = 0;
  for (const auto& e : NvCdmaTable()) rig.device.items[e.id] = Pattern(e.id);
  NvItems& nv = rig.Make();
  nv.BuildNvBackupList();
  nv.BackupNvToFile();
  ASSERT_TRUE(rig.ctx.raised.empty()) << rig.ctx.FirstError();
  rig.device.Flash();
  rig.device.statusFor[1739] = 0x0005;  // the device does not take this one back
  nv.RestoreNvFromFile();
  EXPECT_TRUE(rig.ctx.raised.empty()) << rig.ctx.FirstError();
  EXPECT_EQ(rig.ctx.notRestored, (std::vector<std::string>{"NV 1739"}));

  // nv.bak that cannot be created stops the run before anything is flashed.
  NvRig bad("nv-bak-uncreatable");
  bad.params.PlatformType = 2;
  NvItems& nv2 = bad.Make();
  nv2.SetBackupFile(bad.folder + "/missing-folder/nv.bak");
  nv2.BuildNvBackupList();
  nv2.BackupNvToFile();
  EXPECT_EQ(bad.ctx.FirstError(), "Fail to create......");
  EXPECT_NE(bad.ctx.errorCode, 0);
}

TEST(NvItemsDiag, UitItemsAreSavedOnlyForTheirProjectTypesWithoutNewWays) {
  for (bool newWays : {false, true}) {
    NvRig rig("uit");
    rig.params.projectType = 38;
    rig.params.UIT_NewWays = newWays;
    rig.device.items[6503] = Pattern(6503);
    rig.device.items[6504] = Pattern(6504);
    NvItems& nv = rig.Make();
    nv.BuildNvBackupList();
    nv.BackupNvToFile();
    const bool saved = !nv.savedList().empty() && nv.savedList().front().id == 6503;
    EXPECT_EQ(saved, !newWays);
    EXPECT_EQ(nv.savedList().size(), newWays ? 0u : 2u);
  }
}

TEST(NvItemsDiag, EachStatusGivesItsTextAndOutcome) {
  struct Case {
    uint16_t status;
    const char* text;
    bool skipped;  // logged and passed over; otherwise raised and the backup ends
    bool okLine;   // the high byte was 0, so ": OK" comes first
  };
  const Case cases[] = {
      {1, ":Internal DMSS use", false, true},
      {2, ":Unrecognizable command", false, true},
      {3, ":Memory is full", false, true},
      {4, ":Command failed", false, true},
      {5, ":NV status Error Received:Item inactive", true, true},
      {6, ":Bad parameter in command block", true, true},
      {7, ":Item was read-only", false, true},
      {8, ":Item not defined for this target", false, true},
      {9, ":Free memory exhausted", false, true},
      {10, ":Internal use", false, true},
      {11, ":Unkown error", false, true},
      {0x0500, ":NV status Error Received:Item inactive", true, false},
      {0x0700, ":Item was read-only", false, false},
      {0xFF00, ":Unkown error", false, false},
  };
  for (const Case& c : cases) {
    NvRig rig("status");
    rig.device.items[141] = Pattern(141);
    rig.device.items[142] = Pattern(142);
    rig.device.statusFor[141] = c.status;
    NvItems& nv = rig.Make();
    nv.BuildNvBackupList();
    nv.BackupNvToFile();
    const std::string label = "[141]NV_THERM_I";
    SCOPED_TRACE(c.status);
    EXPECT_EQ(rig.ctx.Reported(label + ": OK"), c.okLine);
    if (c.skipped) {
      EXPECT_TRUE(rig.ctx.Reported(label + c.text));
      EXPECT_TRUE(rig.ctx.raised.empty());
      ASSERT_EQ(nv.savedList().size(), 1u);
      EXPECT_EQ(nv.savedList().front().id, 142);
      EXPECT_EQ(ReadFile(rig.BakFile()).size(), kNvRecordSize);
    } else {
      EXPECT_EQ(rig.ctx.FirstError(), label + c.text);
      EXPECT_EQ(rig.device.nvReads, 1);
      EXPECT_TRUE(ReadFile(rig.BakFile()).empty());
      EXPECT_FALSE(rig.ctx.Reported("Backup NV......OK"));
    }
  }
}

TEST(NvItemsDiag, AlternativeAndCustomChecksTreatInactiveItemsTheirWay) {
  {
    NvRig rig("alt");
    rig.params.projectType = 12;
    rig.params.IsAlcatel = true;
    for (const auto& e : NvAlternativeTable()) rig.device.items[e.id] = Pattern(e.id);
    rig.device.statusFor[74] = 5;
    NvItems& nv = rig.Make();
    nv.BuildNvBackupList();
    nv.BackupNvToFileAlt();
    // Accepted after its line, and still written; nothing goes to the saved list.
    EXPECT_TRUE(rig.ctx.Reported("[74]NV_AUTO_ANSWER_I:NV status Error Received:Item inactive"));
    EXPECT_FALSE(rig.ctx.Reported("[74]NV_AUTO_ANSWER_I: OK"));
    EXPECT_TRUE(rig.ctx.raised.empty());
    EXPECT_EQ(ReadFile(rig.BakFile()).size(), 349 * kNvRecordSize);
    EXPECT_TRUE(nv.savedList().empty());
    EXPECT_EQ(rig.ctx.CountReported("Success to backup NV......"), 0);

    rig.device.statusFor[3649] = 7;
    nv.RestoreNvFromFileAlt();
    EXPECT_EQ(rig.ctx.FirstError(), "[3649]NV_DPA_OR_UPA_I:Item was read-only");
    EXPECT_EQ(rig.device.nvWrites, 2);
  }
  {
    NvRig rig("custom");
    rig.device.statusFor[4] = 5;
    StringList lines = {"4:01"};
    rig.params.NVItemList = &lines;
    rig.Make().WriteNvConfig();
    EXPECT_EQ(rig.ctx.FirstError(), "Custom NV:NV status Error Received:Item inactive");
    EXPECT_FALSE(rig.ctx.Reported("[4]Write NV......OK"));
  }
}

TEST(NvItemsDiag, RestoreRefusesBadFilesBeforeSendingAnything) {
  struct Case {
    const char* name;
    std::function<void(const std::string&)> make;
    const char* raisedPrefix;  // nullptr: reported, no error
  };
  const Case cases[] = {
      {"empty", [](const std::string& p) { std::ofstream(p, std::ios::binary); }, nullptr},
      {"131", [](const std::string& p) { std::ofstream(p, std::ios::binary) << std::string(131, '\1'); },
       "backup file size error: "},
      {"million", [](const std::string& p) { std::ofstream(p, std::ios::binary) << std::string(1000000, '\1'); },
       "backup file size error: "},
      {"missing", [](const std::string&) {}, "Could not open backup file: "},
      {"folder", [](const std::string& p) { fs::create_directories(p); }, "Could not open backup file: "},
  };
  for (const Case& c : cases) {
    NvRig rig(std::string("bad-") + c.name);
    c.make(rig.BakFile());
    rig.Make().RestoreNvFromFile();
    SCOPED_TRACE(c.name);
    EXPECT_EQ(rig.device.requests, 0);
    if (c.raisedPrefix == nullptr) {
      EXPECT_TRUE(rig.ctx.Reported("Backup file length <= 0"));
      EXPECT_TRUE(rig.ctx.raised.empty());
    } else {
      EXPECT_EQ(rig.ctx.FirstError(), c.raisedPrefix + rig.BakFile());
    }
    EXPECT_FALSE(rig.ctx.Reported("Restore NV......OK"));
  }
}

TEST(NvItemsDiag, FileCutShortDuringRestoreStopsAtTheCut) {
  NvRig rig("truncated");
  std::vector<uint16_t> ids;
  for (uint16_t id = 100; id < 200; ++id) ids.push_back(id);
  WriteRecords(rig.BakFile(), ids);
  rig.device.onNvWrite = [&](int count) {
    if (count == 2) fs::resize_file(rig.BakFile(), 2 * kNvRecordSize + 5);
  };
  rig.Make().RestoreNvFromFile();
  EXPECT_EQ(rig.ctx.FirstError(), "Could not read from BIN file: " + rig.BakFile());
  EXPECT_EQ(rig.device.nvWrites, 2);
  EXPECT_EQ(rig.device.writtenIds, (std::vector<uint16_t>{100, 101}));
}

TEST(NvItemsDiag, RestoreOfAResumedRunPassesOverInactiveItemsAndLabelsByRecord) {
  NvRig rig("resumed");
  WriteRecords(rig.BakFile(), {1738, 4242, 1739});
  rig.device.items[1738] = {};
  rig.device.items[1739] = {};
  rig.device.statusFor[4242] = 5;
  rig.Make().RestoreNvFromFile();  // no list was built in this run
  EXPECT_TRUE(rig.ctx.raised.empty()) << rig.ctx.FirstError();
  EXPECT_TRUE(rig.ctx.Reported("[1738]NV_C0_BC0_RX_CAL_CHAN_I: OK"));
  EXPECT_TRUE(rig.ctx.Reported("[4242]:NV status Error Received:Item inactive"));
  EXPECT_TRUE(rig.ctx.Reported("Restore NV......OK"));
  EXPECT_EQ(rig.device.writtenIds, (std::vector<uint16_t>{1738, 4242, 1739}));
  EXPECT_TRUE(rig.device.items[1739] == Pattern(1739));
}

TEST(NvItemsDiag, AResumedRunFindsTheOneSavedNvBak) {
  NvRig rig("resumed-find");
  rig.params.BackupFilePath = rig.folder + "/backup";
  fs::create_directories(rig.params.BackupFilePath + "/SN[A1]");
  WriteRecords(rig.params.BackupFilePath + "/SN[A1]/nv.bak", {1738});
  rig.device.items[1738] = {};
  NvItems& nv = rig.Make();
  nv.SetBackupFile("");
  nv.RestoreNvFromFile();
  EXPECT_TRUE(rig.ctx.Reported("Restore NV......OK"));
  EXPECT_TRUE(rig.device.items[1738] == Pattern(1738));

  // With a second device's file there, neither is taken.
  fs::create_directories(rig.params.BackupFilePath + "/SN[B2]");
  WriteRecords(rig.params.BackupFilePath + "/SN[B2]/nv.bak", {1739});
  NvRig second("resumed-find-2");
  second.params.BackupFilePath = rig.params.BackupFilePath;
  NvItems& other = second.Make();
  other.SetBackupFile("");
  other.RestoreNvFromFile();
  EXPECT_EQ(second.ctx.FirstError(), "Could not open backup file: ");
  EXPECT_EQ(second.device.requests, 0);
}

TEST(NvItemsDiag, BrokenShortOrForeignRepliesAreAskedAgain) {
  NvRig rig("mangled");
  rig.params.PlatformType = 3;  // LTE table, first item 5609
  rig.device.items[5609] = Pattern(5609);
  int replies = 0;
  rig.device.mangle = [&](Bytes& reply) {
    ++replies;
    if (replies == 1) reply.resize(20);  // short
    if (replies == 2) reply[1] ^= 1;     // another item's reply
  };
  NvItems& nv = rig.Make();
  nv.BuildNvBackupList();
  nv.BackupNvToFile();
  EXPECT_TRUE(rig.ctx.raised.empty()) << rig.ctx.FirstError();
  ASSERT_FALSE(nv.savedList().empty());
  std::vector<NvRecord> records = ParseNvBak(ReadFile(rig.BakFile()));
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].id, 5609);
  EXPECT_TRUE(records[0].data == Pattern(5609));
}

TEST(NvItemsDiag, SilentDeviceCostsEveryAttemptThenFails) {
  {
    NvRig rig("silent-backup", 0.0002);
    rig.device.silent = true;
    NvItems& nv = rig.Make();
    nv.BuildNvBackupList();
    const uint64_t begin = rig.ctx.clock().NowMs();
    nv.BackupNvToFile();
    const uint64_t spent = rig.ctx.clock().NowMs() - begin;
    EXPECT_EQ(rig.device.requests, 99);
    EXPECT_EQ(rig.ctx.FirstError(), "[141]NV_THERM_I:Fail to backup NV");
    // Each attempt waits out the receive limit; all but the first and last add the pause.
    EXPECT_GE(spent, 99u * 5000 + 97u * 500);
    EXPECT_TRUE(ReadFile(rig.BakFile()).empty());
  }
  {
    NvRig rig("silent-config", 0.0002);
    rig.device.silent = true;
    StringList lines = {"4:00,01,0A", "5:01"};
    rig.params.NVItemList = &lines;
    rig.Make().WriteNvConfig();
    EXPECT_EQ(rig.device.requests, 50);
    EXPECT_EQ(rig.ctx.FirstError(), "[4]:Fail to write NV");
  }
}

TEST(NvItemsConfigured, GoodLinesAreWrittenExactly) {
  NvRig rig("config");
  StringList lines = {"4:00,01,0A", "65535:FF 7E,7D"};
  rig.params.NVItemList = &lines;
  rig.device.items[4] = {};
  rig.device.items[65535] = {};
  rig.Make().WriteNvConfig();
  EXPECT_TRUE(rig.ctx.raised.empty()) << rig.ctx.FirstError();
  EXPECT_TRUE(rig.ctx.Reported("[4]Write NV......OK"));
  EXPECT_TRUE(rig.ctx.Reported("[65535]Write NV......OK"));
  ASSERT_EQ(rig.device.nvWriteRequests.size(), 2u);
  Bytes expected(133, 0);
  expected[0] = 0x27;
  expected[1] = 4;
  expected[3] = 0x00;
  expected[4] = 0x01;
  expected[5] = 0x0A;
  EXPECT_EQ(rig.device.nvWriteRequests[0], expected);
  EXPECT_EQ(rig.device.nvWriteRequests[1][1], 0xFF);
  EXPECT_EQ(rig.device.nvWriteRequests[1][2], 0xFF);
  EXPECT_EQ((Bytes(rig.device.nvWriteRequests[1].begin() + 3, rig.device.nvWriteRequests[1].begin() + 6)),
            (Bytes{0xFF, 0x7E, 0x7D}));
}

TEST(NvItemsConfigured, BadLinesRaiseTheirTextAndSendNothingWrong) {
  std::string longLine = "7:";
  for (int i = 0; i < 129; ++i) longLine += i ? ",01" : "01";
  struct Case {
    StringList lines;
    const char* error;
    int writes;
  };
  const Case cases[] = {
      {{":00", "4:01"}, "NVID is not contained in the configration!", 0},
      {{"4 01"}, "NVID is not contained in the configration!", 0},
      {{"4:", "5:01"}, "NVData is is incorrect!", 0},
      {{longLine}, "NVData length is incorrect!", 0},
      {{"4:, ,"}, "NVData length is incorrect!", 0},
      {{"4:0,01"}, "String to hex failed!", 0},
      {{"4:001"}, "String to hex failed!", 0},
      {{"4:0a"}, "String to hex failed!", 0},
      {{"X4:01"}, "NVID is not contained in the configration!", 0},
      {{"70000:01"}, "NVID is not contained in the configration!", 0},
  };
  for (const Case& c : cases) {
    NvRig rig("badconfig");
    rig.params.NVItemList = &c.lines;
    rig.Make().WriteNvConfig();
    SCOPED_TRACE(c.lines.front());
    EXPECT_EQ(rig.ctx.FirstError(), c.error);
    EXPECT_EQ(rig.device.nvWrites, c.writes);
  }
}

}  // namespace
}  // namespace upwend::testing
