#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "engine/worker/comms_thread.h"
#include "engine/identity/identity_value.h"
#include "platform/clock.h"
#include "platform/last_error.h"
#include "tests/unit/engine/worker/worker_doubles.h"
#include "tests/unit/platform/test_dir.h"
#include "tests/support/shipped_run.h"

namespace upwend {
namespace {

namespace fs = std::filesystem;
using testing::Doubles;
using testing::FakeWindow;

class WorkerTest : public ::testing::Test {
protected:
  void SetUp() override {
    root_ = testing::FreshTestDir();
    fs::create_directories(root_ / "Backup");
    p_ = testing::ShippedRunParameters((root_ / "TempFiles").string(), (root_ / "Backup").string());
    p_.StartATList = &startAt_;
    p_.EndATList = &endAt_;
    d_.script.atReplies = {{"AT+CFUN=5", ""}, {"AT+CFUN=1", ""}};
    SetLastSystemError(0);
  }

  void Run() {
    worker_ = std::make_unique<TCommsThread>(p_, window_, clock_);
    worker_->SetLayers(d_.MakeLayers());
    worker_->Execute();
  }

  bool InOrder(std::initializer_list<std::string> entries) const {
    int at = 0;
    for (const auto& e : entries) {
      at = d_.journal.Find(e, at);
      if (at < 0) {
        ADD_FAILURE() << "missing or out of order: " << e;
        return false;
      }
      ++at;
    }
    return true;
  }

  fs::path root_;
  RunParameters p_;
  StringList startAt_{"AT+CFUN=5\r\n\r\n"};
  StringList endAt_{"AT+CFUN=1\r\n\r\n", "AT+syscmd=sys_mode_set D1\r\n\r\n"};
  Doubles d_;
  FakeWindow window_{d_};
  ScaledClock clock_{0.00001};
  std::unique_ptr<TCommsThread> worker_;
};

TEST_F(WorkerTest, ShippedConfigurationRunsTheWholeSequenceInOrder) {
  std::string folder = p_.BackupFilePath + "/SN[A1]IMEI[12345]";
  Run();
  EXPECT_TRUE(InOrder({p_.TempFiles + "/QMSL_MSVC10R.dll", "LoadLibrary " + p_.TempFiles + "/QMSL_MSVC10R.dll",
                       "BuildNvBackupList", "Start succssfully", "ResetForRun", "OpenAtPort", "RunStartAtList",
                       "BackupIdentity", "Backup OK", "at.bak " + folder + "/at.bak", "WriteAtBackupFile",
                       "QUALCOMM- " + folder + "/EFS", "BackupNvQmsl", "QLIB_DisconnectServer", "Backup succssfully",
                       "SendAtReboot", "CloseAtPort Warning-2", "FindAdbInterface",
                       "Receive device Arrival after Set AT Command", "ClearDeviceFlags", "RunFastbootPass",
                       "Reset or power off command......", "Receive device change after reset",
                       "Receive device Arrival after reset", "Port has not changed.", "COM5 Diagnostic ready",
                       "COM6 Modem ready", "OpenDiagPort", "COM5 Initial Diagnostic0......ok", "ReopenAtPortQuietly",
                       "COM6 Initial Modem0......ok", "SendAtQuery AT+CFUN=5", "CloseDiagPort Warning-7",
                       "RestoreNvQmsl", "QLIB_DisconnectServer", "FreeQmslStore", "SendAtQuery AT+CFUN=1",
                       "RestoreIdentity", "RunEndAtList", "CloseAtPort Warning-9", "PASS"}));
  // Project type 1013 sends no reset command, and nothing failed.
  EXPECT_FALSE(d_.journal.Has("SendStreamPowerOff"));
  EXPECT_FALSE(d_.journal.Has("SendStreamReset"));
  EXPECT_TRUE(window_.errors.empty());
  EXPECT_EQ(worker_->ErrorCode(), 0);
  // A successful restore removes the device backup folder; the backup folder itself stays.
  EXPECT_FALSE(fs::exists(folder));
  EXPECT_TRUE(fs::exists(p_.BackupFilePath));
  EXPECT_EQ(window_.gauge.back(), 100u);
}

TEST_F(WorkerTest, DeviceBackupFolderIsNamedAfterTheDeviceAndStaysInsideTheBackupFolder) {
  EXPECT_EQ(DeviceBackupFolderName("A1", true, "12345", false, ""), "SN[A1]IMEI[12345]");
  EXPECT_EQ(DeviceBackupFolderName("A1", true, "3500000000001", true, "A0000000000001"), "SN[A1]");
  EXPECT_EQ(DeviceBackupFolderName("\"A1\"\r\n", false, "12345", true, "M1"), "SN[A1]MEID[M1]");
  EXPECT_EQ(DeviceBackupFolderName("../../x", false, "", false, ""), "SN[.._.._x]");
  EXPECT_EQ(DeviceBackupFolderName("a/b\\c*d?e<f>g|h", false, "", false, ""), "SN[a_b_c_d_e_f_g_h]");

  d_.script.sn = "../../evil";
  p_.options.bRestore = false;  // keep the folder for inspection
  p_.options.bBackup = true;
  Run();
  EXPECT_TRUE(fs::is_directory(p_.BackupFilePath + "/SN[.._.._evil]IMEI[12345]/EFS"));
  EXPECT_FALSE(fs::exists(root_ / "evil"));
}

TEST_F(WorkerTest, MissingIdentityValuesFailTheBackupInTheirOrder) {
  d_.script.imeiRead = false;
  d_.script.snRead = false;
  Run();
  ASSERT_EQ(window_.errors.size(), 1u);
  EXPECT_EQ(window_.errors[0], "ERROR, [Dload] Fail to Read IMEI, Error code: 0");
  EXPECT_EQ(worker_->ErrorCode(), 31);
  EXPECT_FALSE(d_.journal.Has("BackupNvQmsl"));
  EXPECT_FALSE(d_.journal.Has("PASS"));
  // The identity read is tried five times before giving up on it... only when it fails.
  EXPECT_EQ(d_.journal.Count("BackupIdentity"), 1);
}

TEST_F(WorkerTest, ABlankDeviceAfterAFailedRunIsRefusedAndNeverReplacesTheGoodBackup) {
  // The failed run's backup, still holding at.bak, is the one the tool remembers.
  std::string earlier = p_.BackupFilePath + "/SN[A1]IMEI[12345]";
  fs::create_directories(earlier);
  std::ofstream(earlier + "/at.bak") << "[Data]\r\nSN=A1\r\n";
  p_.LastDeviceBackupFolder = earlier;
  // The wiped device answers its IMEI with the reply's blank before the zeros.
  d_.script.imei = " 000000000000000";
  d_.script.sn = "";
  Run();
  ASSERT_EQ(window_.errors.size(), 1u);
  EXPECT_NE(window_.errors[0].find("backup of an earlier failed run is in " + earlier + ": run Re-update"),
            std::string::npos)
      << window_.errors[0];
  EXPECT_FALSE(d_.journal.Has("SendAtReboot"));  // nothing on the device changed
  EXPECT_FALSE(d_.journal.Has("WriteAtBackupFile"));
  EXPECT_EQ(d_.journal.Count("Remember " + earlier), 0);
  EXPECT_FALSE(d_.atOpen);

  // Without an earlier backup the run goes on as before, but a blank backup is never the one
  // remembered.
  fs::remove_all(earlier);
  d_ = Doubles{};
  d_.script.atReplies = {{"AT+CFUN=5", ""}, {"AT+CFUN=1", ""}};
  d_.script.sn = " ";
  Run();
  EXPECT_TRUE(d_.journal.Has("PASS"));
  for (const auto& e : d_.journal.entries) EXPECT_NE(e.rfind("Remember ", 0), 0u) << e;

  d_ = Doubles{};
  d_.script.atReplies = {{"AT+CFUN=5", ""}, {"AT+CFUN=1", ""}};
  Run();
  EXPECT_TRUE(d_.journal.Has("Remember " + earlier));
}

TEST_F(WorkerTest, AValueTheDeviceDidNotTakeBackEndsTheRunWithoutPassAndKeepsTheBackup) {
  d_.script.during["RestoreNvQmsl"] = [this] { worker_->NoteNotRestored("NV 540"); };
  d_.script.during["RestoreIdentity"] = [this] { worker_->NoteNotRestored("SalesCount"); };
  Run();
  std::string folder = p_.BackupFilePath + "/SN[A1]IMEI[12345]";
  ASSERT_EQ(window_.errors.size(), 1u);
  EXPECT_EQ(window_.errors[0], "ERROR, Items not restored: NV 540, SalesCount; their values are kept in " + folder +
                                   ", Error code: 0");
  EXPECT_FALSE(d_.journal.Has("PASS"));
  EXPECT_TRUE(fs::is_directory(folder));
}

TEST_F(WorkerTest, NetworkTypeTwoDoesNotNeedTheImeiButStillTheSerialNumber) {
  p_.PlatformType = 2;
  d_.script.imeiRead = false;
  d_.script.snRead = false;
  d_.script.identityOk = false;
  Run();
  EXPECT_EQ(d_.journal.Count("BackupIdentity"), 5);
  ASSERT_EQ(window_.errors.size(), 1u);
  EXPECT_EQ(window_.errors[0], "ERROR, [Dload] Fail to Read SN, Error code: 0");
  // Network type 2 saves NV items over DIAG into nv.bak, with the DIAG port opened first.
  EXPECT_FALSE(d_.journal.Has("BackupNvToFile"));
}

TEST_F(WorkerTest, OnlyTheFirstFailureReachesTheWindowWithTheSystemErrorCode) {
  worker_ = std::make_unique<TCommsThread>(p_, window_, clock_);
  worker_->SetLayers(d_.MakeLayers());
  SetLastSystemError(5);
  worker_->ReportError("first");
  SetLastSystemError(6);
  worker_->ReportError("second");
  ASSERT_EQ(window_.errors.size(), 1u);
  EXPECT_EQ(window_.errors[0], "ERROR, first, Error code: 5");
  EXPECT_EQ(worker_->ErrorCode(), 5);
  EXPECT_EQ(worker_->LastReportText(), "ERROR, first, Error code: 5");
}

TEST_F(WorkerTest, GaugeFollowsTheBytesSentTimesTheProgressFactor) {
  p_.allTotalFileSize = 1000000;
  Run();
  EXPECT_FLOAT_EQ(worker_->ProgressFactor(), 0.000099f);
  window_.gauge.clear();
  worker_->AddSentBytes(500000);
  EXPECT_EQ(window_.gauge.back(), 49u);
  // Blocks that do not move the gauge by a whole step do not wait for the window.
  window_.gauge.clear();
  for (int block = 0; block < 100; ++block) worker_->AddSentBytes(4096);
  ASSERT_EQ(window_.gauge.size(), 41u);  // 50 to 90, each once
  EXPECT_EQ(window_.gauge.front(), 50u);
  EXPECT_EQ(window_.gauge.back(), 90u);
  EXPECT_EQ(worker_->SentBytes(), 909600u);

  p_.allTotalFileSize = 0;
  Run();
  EXPECT_FLOAT_EQ(worker_->ProgressFactor(), 99.0f);
}

TEST_F(WorkerTest, StopDuringTheFastbootPassSkipsTheRestAndEndsWithTheStopVerdict) {
  d_.script.during["RunFastbootPass"] = [this] { worker_->RequestStop(); };
  Run();
  EXPECT_FALSE(d_.journal.Has("Reset or power off command......"));
  EXPECT_FALSE(d_.journal.Has("RestoreNvQmsl"));
  EXPECT_FALSE(d_.journal.Has("COMM Closed"));  // no port is open in the final phase
  EXPECT_FALSE(d_.journal.Has("PASS"));
  EXPECT_EQ(d_.journal.entries.back(), std::string("type2 ") + kStoppedVerdict);
  EXPECT_EQ(d_.journal.Count(kStoppedVerdict), 1);
  EXPECT_FALSE(d_.diagOpen);
  EXPECT_FALSE(d_.atOpen);
  EXPECT_EQ(worker_->ErrorCode(), kStopRequestCode);
}

TEST_F(WorkerTest, StopWhileWaitingForThePortsEndsBothPortLoopsWithCommClosed) {
  d_.script.diagOpenFailures = 100;
  d_.script.atReopenFailures = 100;
  d_.script.during["OpenDiagPort"] = [this] { worker_->RequestStop(); };
  Run();
  EXPECT_EQ(d_.journal.Count("OpenDiagPort"), 1);
  EXPECT_TRUE(InOrder({"COM5 Initial Diagnostic0......wait", "COMM Closed", "ReopenAtPortQuietly",
                       "COM6 Initial Modem0......wait", "COMM Closed"}));
  EXPECT_EQ(d_.journal.Count("ReopenAtPortQuietly"), 1);
  EXPECT_FALSE(d_.journal.Has("RestoreNvQmsl"));
  EXPECT_FALSE(d_.journal.Has("RunEndAtList"));
  EXPECT_FALSE(d_.journal.Has("PASS"));
  EXPECT_FALSE(d_.journal.Has("ComPort0 timeout"));
  EXPECT_EQ(d_.journal.entries.back(), std::string("type2 ") + kStoppedVerdict);
}

TEST_F(WorkerTest, PortsThatDoNotComeBackRaiseAtTheTenthTryAndKeepTrying) {
  d_.script.diagOpenFailures = 100;
  Run();
  EXPECT_EQ(d_.journal.Count("OpenDiagPort"), 20);
  ASSERT_FALSE(window_.errors.empty());
  EXPECT_EQ(window_.errors[0], "ERROR, ComPort0 timeout, Error code: 0");
  EXPECT_EQ(d_.journal.Count("COM5 Initial Diagnostic0......wait"), 20);
  // The AT port is still reopened after the failure; the restores are skipped.
  EXPECT_TRUE(d_.journal.Has("COM6 Initial Modem0......ok"));
  EXPECT_FALSE(d_.journal.Has("RestoreNvQmsl"));
  EXPECT_FALSE(d_.journal.Has("PASS"));
}

TEST_F(WorkerTest, ResetRequestDependsOnTheProjectType) {
  struct Case {
    int projectType;
    bool phone;
    const char* expected;
  };
  for (Case c : {Case{5, true, "SendStreamReset"}, Case{7, true, "SendStreamReset"}, Case{0, false, "SendStreamPowerOff"},
                 Case{4, false, "SendStreamPowerOff"}, Case{42, false, "SendStreamPowerOff"}, Case{3, false, nullptr},
                 Case{1013, false, nullptr}}) {
    d_ = Doubles();
    d_.script.atReplies = {{"AT+CFUN=5", ""}, {"AT+CFUN=1", ""}};
    p_.projectType = c.projectType;
    p_.phone = c.phone;
    Run();
    bool reset = d_.journal.Has("SendStreamReset");
    bool powerOff = d_.journal.Has("SendStreamPowerOff");
    if (c.expected == nullptr) {
      EXPECT_FALSE(reset || powerOff) << c.projectType;
    } else {
      EXPECT_TRUE(d_.journal.Has(c.expected)) << c.projectType;
      EXPECT_EQ(reset + powerOff, 1) << c.projectType;
    }
  }
}

TEST_F(WorkerTest, UnacknowledgedResetSkipsTheRestoreButStillRunsTheFinalPhase) {
  p_.projectType = 19;
  d_.script.resetResult = 1;
  Run();
  EXPECT_EQ(window_.errors.at(0), "ERROR, Fail to reset or power off phone, Error code: 0");
  EXPECT_FALSE(d_.journal.Has("ReopenAtPortQuietly"));
  EXPECT_TRUE(d_.journal.Has("ResetAndReconnect"));  // project type 19 reconnects after a failure too
  EXPECT_FALSE(d_.journal.Has("PASS"));
  EXPECT_FALSE(d_.diagOpen);
}

TEST_F(WorkerTest, QmslLibraryThatCannotServeEndsTheRunWithItsBoxOnly) {
  for (bool loads : {false, true}) {
    d_ = Doubles();
    d_.script.qmslLoads = loads;
    d_.script.qmslComplete = false;
    Run();
    EXPECT_TRUE(d_.journal.Has("[ERROR] Load library failed [QMSL_MSVC10R.dll]!"));
    EXPECT_FALSE(d_.journal.Has("Start succssfully"));
    EXPECT_FALSE(d_.journal.Has("OpenAtPort"));
    EXPECT_TRUE(window_.errors.empty());
  }
}

TEST_F(WorkerTest, GpioMismatchEndsTheRunAtOnceWithThePortClosed) {
  p_.strGPIO = "PRJ7";
  d_.script.atReplies["AT+GPIOPRJT?"] = "PRJ3";
  Run();
  EXPECT_EQ(window_.errors.at(0), "ERROR, GPIO is Not Macth, Error code: 0");
  EXPECT_TRUE(d_.journal.Has("CloseAtPortOnce"));
  EXPECT_FALSE(d_.journal.Has("SendAtReboot"));
  EXPECT_FALSE(d_.atOpen);

  d_ = Doubles();
  d_.script.atReplies = {};
  Run();
  EXPECT_EQ(window_.errors.back(), "ERROR, Fail to Read GPIO, Error code: 0");
}

TEST_F(WorkerTest, PlatformCheckOpensTheDiagPortAndComparesTheCode) {
  p_.PlatformName = 186;
  d_.script.platform = 186;
  Run();
  EXPECT_TRUE(InOrder({"check platform start.", "OpenDiagPort", "QueryPlatform", "check platform OK."}));
  // The worker's DIAG handle is released before the QMSL library opens the port.
  EXPECT_TRUE(InOrder({"CloseDiagPort Warning-7", "BackupNvQmsl"}));

  d_ = Doubles();
  d_.script.platform = 33;
  Run();
  EXPECT_TRUE(InOrder({"ERROR, Could not get platform type., Error code: 0", "[Warning] Plantform type is not matched"}));
}

TEST_F(WorkerTest, RefusedCfunFiveEndsTheRunAfterSixtyTries) {
  d_.script.atReplies = {};
  Run();
  EXPECT_EQ(d_.journal.Count("SendAtQuery AT+CFUN=5"), 60);
  EXPECT_EQ(window_.errors.at(0), "ERROR, Fail to Send Command at+cfun=5!, Error code: 0");
  EXPECT_FALSE(d_.journal.Has("RunEndAtList"));
  EXPECT_FALSE(d_.diagOpen);
  EXPECT_FALSE(d_.atOpen);
  // The device backup folder stays for Re-update.
  EXPECT_TRUE(fs::exists(p_.BackupFilePath + "/SN[A1]IMEI[12345]/EFS"));
}

// A product that also saves user data: the Re-update after a run whose backup was done must not
// back the wiped device up again (identity or user files), but restore what that run saved.
TEST_F(WorkerTest, ReupdateWithUserDataRestoresTheFailedRunsBackupWithoutANewOne) {
  std::string folder = p_.BackupFilePath + "/SN[A1]IMEI[12345]";
  fs::create_directories(folder + "/EFS");
  p_.options.bBackupUserData = true;
  p_.options.bBackup = false;  // Re-update after "Backup succssfully"
  p_.resume = true;
  p_.ResumeDeviceBackupFolder = folder;
  Run();
  EXPECT_FALSE(d_.journal.Has("BackupIdentity"));
  EXPECT_FALSE(d_.journal.Has("BackupUserData"));
  EXPECT_FALSE(d_.journal.Has("Backup succssfully"));
  EXPECT_TRUE(InOrder({"RunFastbootPass", "RestoreUserData", "RestoreNvQmsl", "PASS"}));
  EXPECT_EQ(worker_->DeviceBackupFolder(), folder);
}

TEST_F(WorkerTest, StopRequestedBeforeTheStartIsNotLost) {
  d_.script.during["BuildNvBackupList"] = [this] { worker_->RequestStop(); };
  Run();
  EXPECT_FALSE(d_.journal.Has("Start succssfully"));
  EXPECT_FALSE(d_.journal.Has("BackupIdentity"));
  EXPECT_FALSE(d_.journal.Has("RunFastbootPass") && d_.journal.Has("PASS"));
  EXPECT_EQ(worker_->ErrorCode(), kStopRequestCode);
  EXPECT_EQ(d_.journal.entries.back(), std::string("type2 ") + kStoppedVerdict);
}

TEST_F(WorkerTest, ChangedPortsAreFoundAgainThroughTheModeSwitch) {
  d_.script.diagSame = false;
  d_.script.portText = "COM9";
  d_.script.serialPortText = "COM10";
  Run();
  EXPECT_TRUE(InOrder({"Port has changed", "DoShiftDevice Start", "ShiftDevice1Click", "DoShiftDevice End",
                       "FindComPort", "COM9 Diagnostic ready", "COM10 Modem ready", "COM9 Initial Diagnostic0......ok",
                       "PASS"}));
}

TEST_F(WorkerTest, ThreadRunsTheSequenceAndCallsTheTerminationHandlerAfterwards) {
  worker_ = std::make_unique<TCommsThread>(p_, window_, clock_);
  worker_->SetLayers(d_.MakeLayers());
  std::atomic<bool> finished{false};
  worker_->Resume([&] { finished = true; });
  worker_->Join();
  EXPECT_TRUE(finished);
  EXPECT_TRUE(d_.journal.Has("PASS"));
}

TEST_F(WorkerTest, ResetModemRunsLastAndItsFailureTakesThePlaceOfThePass) {
  p_.ExecuteResetModem = true;
  d_.script.resetModemFailure = "Could not find modem port.";
  Run();
  EXPECT_TRUE(InOrder({"CloseAtPort Warning-9", "RunResetModem"}));
  ASSERT_EQ(window_.errors.size(), 1u);
  EXPECT_NE(window_.errors[0].find("ERROR, Could not find modem port., Error code: "), std::string::npos);
  EXPECT_FALSE(d_.journal.Has("PASS"));
}

}  // namespace
}  // namespace upwend
