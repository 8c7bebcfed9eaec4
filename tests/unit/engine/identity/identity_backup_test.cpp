#include "engine/identity/identity_backup.h"
#include "engine/at/device_window.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/clock.h"
#include "platform/ini_file.h"
#include "tests/unit/engine/worker/fake_modem.h"
#include "tests/support/fake_device_window.h"
#include "tests/support/file_text.h"
#include "tests/support/recording_context.h"
#include "tests/unit/platform/test_dir.h"

namespace upwend {
namespace {

namespace fs = std::filesystem;
using testing::FakeModem;

using Context = testing::RecordingContext;
using testing::ReadFile;

struct NoDiag final : DiagControl {
  int SendDiagOffline() override { return 0; }
  int SendDiagReset() override { return 0; }
  int QueryPlatform() override { return -1; }
};

class IdentityTest : public ::testing::Test {
protected:
  void SetUp() override {
    dir_ = testing::FreshTestDir();
    params_.projectType = 1013;
    modem_.Answer("AT+VXTSN=0,5", "+VXTSN", "SN123");
    modem_.Answer("AT+VXTSN=0,7", "+VXTSN", "861234567890123");
    modem_.Answer("AT+VXTSN=0,10", "+VXTSN", "00:11:22:33:44:55");
    modem_.Answer("AT+WIFICAL?", "+WIFICAL", "CAL1");
    modem_.Answer("AT+VXTSN=0,11", "+VXTSN", "7");
    modem_.Answer("AT+VXTSN=0,12", "+VXTSN", "SHOP");
    modem_.Answer("AT+TESTINF2=?", "+TESTINF2", "rf:pass,UIT89:PASS,uit87:pass");
    modem_.Answer("AT+CUIT87?", "+CUIT87", " P87 ");
    modem_.Answer("AT+CUIT89?", "+CUIT89", "P89");
  }

  std::unique_ptr<IdentityBackup> Make(IdentityStore& store, AtChannel& at) {
    auto id = std::make_unique<IdentityBackup>(ctx_, params_, store, at, [this] { return atOpen_; });
    id->SetBackupFile((dir_ / "at.bak").string());
    return id;
  }

  fs::path dir_;
  ScaledClock clock_{0.001};
  Context ctx_{clock_};
  RunParameters params_;
  FakeModem modem_;
  NoDiag diag_;
  testing::FakeDeviceWindow window_;
  bool atOpen_ = true;
  IdentityStore store_;
  AtChannel at_{ctx_, params_, [this] { return &modem_.port; }, diag_, store_, window_};
};

TEST_F(IdentityTest, ShippedConfigurationQueriesInOrderAndWritesAtBak) {
  auto id = Make(store_, at_);
  ASSERT_TRUE(id->BackupIdentity());
  EXPECT_EQ(modem_.sent, (std::vector<std::string>{"AT+VXTSN=0,5\r\n\r\n", "AT+VXTSN=0,7\r\n\r\n", "AT+VXTSN=0,10\r\n\r\n",
                                                  "AT+WIFICAL?\r\n", "AT+VXTSN=0,11\r\n\r\n", "AT+VXTSN=0,12\r\n\r\n",
                                                  "AT+TESTINF2=?\r\n\r\n", "AT+CUIT87?\r\n", "AT+CUIT89?\r\n"}));
  // Test information is upper-cased, its UIT markers removed; UIT values trimmed.
  EXPECT_EQ(store_.Value(IdentityItem::TestInfo), " RF:PASS");
  EXPECT_EQ(store_.Value(IdentityItem::UIT87), "P87");
  id->WriteAtBackupFile();
  EXPECT_EQ(ReadFile(dir_ / "at.bak"),
            "[BACKUP]\r\nbSN=1\r\nESN=0\r\nbIMEI=1\r\nbIMEI_1=0\r\nbMEID=0\r\nbBLUETOOTH=1\r\nbSalesCount=1\r\n"
            "bWifiCal=1\r\nbSalesInfo=1\r\nbTESTINF=1\r\nbUIT87=1\r\nbUIT89=1\r\n"
            "[Data]\r\nSN= SN123\r\nIMEI= 861234567890123\r\nBLUETOOTHADDR= 00:11:22:33:44:55\r\nSalesCount= 7\r\n"
            "WifiCal= CAL1\r\nSalesInfo= SHOP\r\nTESTINF= RF:PASS\r\nUIT87=P87\r\nUIT89=P89\r\n");
}

TEST_F(IdentityTest, ImeiIsRetriedTwiceAndAllZerosCountsAsMissing) {
  modem_.failTimes["AT+VXTSN=0,7"] = 1;
  auto id = Make(store_, at_);
  EXPECT_TRUE(id->BackupIdentity());
  EXPECT_TRUE(id->ImeiRead());

  modem_.failTimes["AT+VXTSN=0,7"] = 3;
  ctx_.reports.clear();
  EXPECT_FALSE(id->BackupIdentity());
  EXPECT_TRUE(ctx_.Reported("IMEI ERROR"));
  EXPECT_EQ(modem_.CountSent("AT+VXTSN=0,7"), 5);

  modem_.answers["AT+VXTSN=0,7"] = "\r\n+VXTSN:\"000000000000000\"\r\n\r\nOK\r\n";
  ctx_.reports.clear();
  EXPECT_FALSE(id->BackupIdentity());
  EXPECT_FALSE(id->ImeiRead());
  EXPECT_FALSE(ctx_.Reported("IMEI ERROR"));

  // A wiped device puts the reply's blank before its zeros; that is as blank as without it.
  modem_.answers["AT+VXTSN=0,7"] = "\r\n+VXTSN: 000000000000000\r\n\r\nOK\r\n";
  EXPECT_FALSE(id->BackupIdentity());
  EXPECT_FALSE(id->ImeiRead());
}

TEST_F(IdentityTest, ValuesAFlashWouldWipeAreAskedAgainAfterAFailedRead) {
  for (const char* command : {"AT+VXTSN=0,10", "AT+WIFICAL?", "AT+VXTSN=0,11", "AT+VXTSN=0,12", "AT+CUIT87?",
                              "AT+CUIT89?"}) {
    modem_.failTimes[command] = 2;
  }
  auto id = Make(store_, at_);
  ASSERT_TRUE(id->BackupIdentity());
  for (IdentityItem item : {IdentityItem::Bluetooth, IdentityItem::WifiCal, IdentityItem::SalesCount,
                            IdentityItem::SalesInfo, IdentityItem::UIT87, IdentityItem::UIT89}) {
    EXPECT_TRUE(store_.Flag(item)) << static_cast<int>(item);
  }
  EXPECT_EQ(modem_.CountSent("AT+CUIT87?"), 3);
}

TEST_F(IdentityTest, TestInformationKeepsItsMarkersWithTheNewWays) {
  params_.UIT_NewWays = true;
  auto id = Make(store_, at_);
  ASSERT_TRUE(id->BackupIdentity());
  EXPECT_EQ(store_.Value(IdentityItem::TestInfo), " RF:PASS,UIT89:PASS,UIT87:PASS");
}

TEST_F(IdentityTest, RejectedItemIsRecordedAsNotSavedAndNotWrittenBack) {
  modem_.answers.erase("AT+CUIT87?");
  auto id = Make(store_, at_);
  ASSERT_TRUE(id->BackupIdentity());
  EXPECT_TRUE(ctx_.Reported("UIT87 ERROR"));
  id->WriteAtBackupFile();
  std::string file = ReadFile(dir_ / "at.bak");
  EXPECT_NE(file.find("bUIT87=0"), std::string::npos);
  EXPECT_EQ(file.find("UIT87="), file.find("bUIT87=") + 1);  // only the [BACKUP] key names it
  modem_.sent.clear();
  ASSERT_TRUE(id->RestoreIdentity());
  EXPECT_EQ(modem_.CountSent("AT+CUIT87="), 0);
  EXPECT_EQ(modem_.CountSent("AT+CUIT89=P89\r\n"), 1);
}

TEST_F(IdentityTest, RestoreWritesTheSavedValuesBackQuotedAndTrimmed) {
  auto id = Make(store_, at_);
  ASSERT_TRUE(id->BackupIdentity());
  id->WriteAtBackupFile();
  modem_.sent.clear();
  modem_.answers["AT"] = "\r\nOK\r\n";
  ASSERT_TRUE(id->RestoreIdentity());
  EXPECT_EQ(modem_.sent.at(0), "AT\r\n");
  EXPECT_EQ(modem_.sent.at(1), "AT+VXTSN=1,5,\"SN123\"\r\n");
  EXPECT_EQ(modem_.sent.at(2), "AT+VXTSN=1,7,\"861234567890123\"\r\n");
  EXPECT_EQ(modem_.CountSent("AT+TESTINF2=\"RF:PASS\"\r\n"), 1);
  EXPECT_TRUE(ctx_.Reported("Serial port ready"));
  EXPECT_TRUE(ctx_.Reported("Restore SN"));
  EXPECT_TRUE(ctx_.raised.empty());
}

TEST_F(IdentityTest, EmptySavedValuesAndUnsupportedWritesDoNotStopTheRestore) {
  params_.ESN = true;
  modem_.Answer("AT+VXTSN=0,8", "+VXTSN", "E1");
  auto id = Make(store_, at_);
  ASSERT_TRUE(id->BackupIdentity());
  id->WriteAtBackupFile();
  // The saved ESN and Bluetooth address are lost from the file; SalesCount writes are refused.
  {
    auto ini = IniFile::Load((dir_ / "at.bak").string()).value();
    ini.DeleteKey("Data", "ESN");
    ini.WriteString("Data", "BLUETOOTHADDR", "");
    ASSERT_TRUE(ini.Save((dir_ / "at.bak").string()));
  }
  modem_.answers["AT+VXTSN=1,11,\"7\""] = "\r\nERROR\r\n";
  modem_.sent.clear();
  ASSERT_TRUE(id->RestoreIdentity());
  EXPECT_TRUE(ctx_.Reported("ESN Empty."));
  EXPECT_TRUE(ctx_.Reported("BLUETOOTHADDR Empty."));
  EXPECT_EQ(modem_.CountSent("AT+VXTSN=1,8,"), 0);
  EXPECT_EQ(modem_.CountSent("AT+VXTSN=1,10,"), 0);
  EXPECT_TRUE(ctx_.Reported("Not support write SalesCount/WIFIMAC."));
  EXPECT_TRUE(ctx_.Reported("Restore wifi cal"));
}

TEST_F(IdentityTest, ResumedRunRestoresWhatTheFailedRunSaved) {
  {
    auto first = Make(store_, at_);
    ASSERT_TRUE(first->BackupIdentity());
    first->WriteAtBackupFile();
  }
  // A new worker for Re-update: no identity was read in this run.
  IdentityStore fresh;
  AtChannel at(ctx_, params_, [this] { return &modem_.port; }, diag_, fresh, window_);
  auto resumed = Make(fresh, at);
  modem_.sent.clear();
  ASSERT_TRUE(resumed->RestoreIdentity());
  EXPECT_EQ(modem_.CountSent("AT+VXTSN=1,5,\"SN123\"\r\n"), 1);
  EXPECT_EQ(modem_.CountSent("AT+VXTSN=1,7,\"861234567890123\"\r\n"), 1);
  EXPECT_EQ(modem_.CountSent("AT+CUIT89=P89\r\n"), 1);
}

TEST_F(IdentityTest, MissingAtPortFailsBothDirections) {
  atOpen_ = false;
  auto id = Make(store_, at_);
  EXPECT_FALSE(id->BackupIdentity());
  EXPECT_FALSE(id->RestoreIdentity());
  EXPECT_EQ(ctx_.raised.at(0), "Serial handle is failed");
  EXPECT_TRUE(modem_.sent.empty());
}

}  // namespace
}  // namespace upwend
