#include "app/run/run_control.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/shell/dialogs.h"
#include "app/shell/main_window.h"
#include "app/shell/variant_texts.h"
#include "platform/clock.h"
#include "platform/headless_loop.h"
#include "platform/payload_archive.h"
#include "platform/settings_store.h"
#include "tests/support/file_text.h"
#include "tests/unit/app/support/form_test.h"
#include "tests/unit/platform/test_dir.h"

namespace upwend {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;

// A worker that plays a script of reports from its own thread, as the real one would.
class ScriptedWorker final : public RunWorker {
public:
  using Step = std::function<void(WindowLink&, ScriptedWorker&)>;
  ScriptedWorker(WindowLink& link, std::vector<Step> steps, RunParameters runParams)
      : params(std::move(runParams)), link_(link), steps_(std::move(steps)) {}
  ~ScriptedWorker() override { Join(); }
  RunParameters params;
  void Resume(std::function<void()> onTerminate) override {
    thread_ = std::thread([this, onTerminate] {
      for (auto& step : steps_) step(link_, *this);
      onTerminate();
    });
  }
  void RequestStop() override {
    stopped = true;
    stopped.notify_all();
  }
  void Join() override {
    if (thread_.joinable()) thread_.join();
  }
  std::atomic<bool> stopped{false};

private:
  WindowLink& link_;
  std::vector<Step> steps_;
  std::thread thread_;
};

ScriptedWorker::Step Say(const std::string& text, int type = 1) {
  return [text, type](WindowLink& link, ScriptedWorker&) { link.OnStatusText(8, text, 0, type); };
}
ScriptedWorker::Step Fail(const std::string& text) {
  return [text](WindowLink& link, ScriptedWorker&) { link.OnError("ERROR, " + text + ", Error code: 31", 0); };
}

// The image set is verified as present, as the built-in product's is.
class TestForm final : public TVorezUzeUiForm {
public:
  using TVorezUzeUiForm::TVorezUzeUiForm;
  void VerifyImageFolder(const std::string&) override { state().lvFileList = {{"sbl1.mbn", "/tmp/", true}}; }
};

class RunControlTest : public testing::FormTest {
protected:
  RunControlTest() : FormTest(0.0001) {}

  void SetUp() override {
    home_ = testing::FreshTestDir();
    fs::create_directories(home_ / "log");
    PlaceFolders(home_.string());
    form_ = std::make_unique<TestForm>(
        FormServices{clock_, loop_, dialogs_, payload_, paths_, "", nullptr, nullptr});
    ProductConfig& c = form_->config();
    c.caption = "Upwend_Test";
    c.projectType = 1013;
    c.platformCode = 255;
    c.options.bBackup = c.options.bRestore = c.options.bFastbootConfiguration = true;
    c.startATList = {"AT+CFUN=5\r\n\r\n"};
    WindowState& st = form_->state();
    st.PortCBox.items = {"COM5"};
    st.PortCBox.text = "COM5";
    st.SerialPortCBox.items = {"COM6"};
    st.SerialPortCBox.text = "COM6";
    st.lvFileList = {{"sbl1.mbn", "/tmp/", true}};
    MakeControl();
  }

  void MakeControl() {
    RunHooks hooks;
    hooks.runFinished = [this](bool passed) {
      finished_ = true;
      passed_ = passed;
    };
    hooks.lastDeviceBackupFolder = [this] { return lastFolder_; };
    hooks.findAdbInterface = [this](int, std::string& path) {
      path = "tcp:127.0.0.1:1";
      return adbResult_;
    };
    hooks.discoverPorts = [this] { ++discoveries_; };
    rc_ = std::make_unique<RunControl>(
        *form_, dialogs_, loop_, clock_, paths_.logDir,
        [this] { return OpenSettingsKey(RegistryRoot::CurrentUser, kSettingsKeyPath, true, paths_.configDir); },
        [this](RunParameters p, WindowLink& link) {
          ++workersCreated_;
          worker_ = std::make_shared<ScriptedWorker>(link, script_, std::move(p));
          return worker_;
        },
        hooks);
  }

  // Runs the loop until the worker has finished (or a time limit passes).
  void WaitForFinish() {
    for (int i = 0; i < 5000 && !finished_; ++i) {
      loop_.RunPending();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(finished_);
  }

  std::string OnlyLog() {
    for (const auto& e : fs::directory_iterator(home_ / "log"))
      if (e.path().extension() == ".log") return ReadFile(e.path());
    return {};
  }
  int LogCount() {
    int n = 0;
    for (const auto& e : fs::directory_iterator(home_ / "log")) n += e.path().extension() == ".log";
    return n;
  }

  fs::path home_;
  PayloadArchive payload_;
  std::unique_ptr<TVorezUzeUiForm> form_;
  std::unique_ptr<RunControl> rc_;
  std::vector<ScriptedWorker::Step> script_;
  std::shared_ptr<ScriptedWorker> worker_;
  std::string lastFolder_ = "/backup/SN[A1]";
  int adbResult_ = 255;  // no fastboot interface
  int workersCreated_ = 0;
  int discoveries_ = 0;
  bool finished_ = false;
  bool passed_ = false;
};

TEST_F(RunControlTest, StartWritesTheRunLogAndHandsTheRunToTheWorker) {
  std::ofstream(home_ / "log" / "autotest").put('x');  // keeps the log after a success
  script_ = {Say("Start succssfully"), Say("Backup succssfully"), Say("PASS", 3), Say("after the verdict")};
  rc_->StartClick();
  EXPECT_EQ(form_->state().Label_status.text, " Upgrading...");
  EXPECT_TRUE(form_->state().StopButton.enabled);
  EXPECT_TRUE(rc_->diagPortBusy(5));
  EXPECT_TRUE(rc_->atPortBusy(6));
  WaitForFinish();
  EXPECT_TRUE(passed_);
  std::string log = OnlyLog();
  std::vector<std::string> lines;
  std::stringstream in(log);
  for (std::string l; std::getline(in, l);) lines.push_back(l.substr(0, l.size() - 1));
  ASSERT_GE(lines.size(), 8u);
  auto endsWith = [](const std::string& l, const std::string& e) {
    return l.size() >= e.size() && l.compare(l.size() - e.size(), e.size(), e) == 0;
  };
  EXPECT_TRUE(endsWith(lines[0], " 1.3.5.0")) << lines[0];
  EXPECT_TRUE(endsWith(lines[1], " com null-26"));
  EXPECT_TRUE(endsWith(lines[2], " Check......"));
  EXPECT_TRUE(endsWith(lines[3], " Check......completely"));
  EXPECT_TRUE(endsWith(lines[4], " Syncing......"));
  EXPECT_TRUE(endsWith(lines[7], " PASS"));
  EXPECT_EQ(log.find("after the verdict"), std::string::npos);  // the verdict closed the log
  // The worker got the run: ports, lists and options of the configuration.
  EXPECT_EQ(worker_->params.ComPort, 5);
  EXPECT_EQ(worker_->params.SerialComPort, 6);
  EXPECT_EQ(worker_->params.projectType, 1013);
  EXPECT_EQ(&RunParameters::Or(worker_->params.StartATList), &form_->config().startATList);
  // After the run: ports free, Stop off, Start stays off until the device watcher enables it.
  EXPECT_FALSE(rc_->diagPortBusy(5));
  EXPECT_FALSE(form_->state().StopButton.enabled);
  EXPECT_FALSE(form_->state().StartButton.enabled);
  auto key = OpenSettingsKey(RegistryRoot::CurrentUser, kSettingsKeyPath, false, paths_.configDir);
  ASSERT_TRUE(key);
  EXPECT_EQ(key->ReadString("DownloadStatus").value_or(""), "PASS");
}

TEST_F(RunControlTest, SuccessfulRunDeletesItsLogUnlessTheAutotestMarkerExists) {
  script_ = {Say("PASS", 3)};
  rc_->StartClick();
  WaitForFinish();
  EXPECT_EQ(LogCount(), 0);
}

TEST_F(RunControlTest, FailureKeepsTheLogWithTheAdviceAndOffersReupdate) {
  script_ = {Say("Backup succssfully"), Fail("Could not read OKAY reply."), Say("COMM Closed", 2)};
  rc_->StartClick();
  WaitForFinish();
  EXPECT_FALSE(passed_);
  std::string log = OnlyLog();
  EXPECT_NE(log.find("ERROR, Could not read OKAY reply., Error code: 31\r\n\r\n" + std::string(98, '-') +
                     "\r\nPlease try plug in USB cable to upgrade again, if it fails please contact us.\r\n"),
            std::string::npos);
  EXPECT_EQ(log.find("COMM Closed"), std::string::npos);
  EXPECT_TRUE(form_->state().Reupdate1.visible);
  EXPECT_TRUE(rc_->backupDone());
}

TEST_F(RunControlTest, StartIsRefusedWithTheRightMessage) {
  struct Case {
    std::function<void(TVorezUzeUiForm&)> setUp;
    std::string message;
  };
  std::vector<Case> cases = {
      {[](TVorezUzeUiForm& f) { f.state().PortCBox = {}; }, "[Download] Port is empty"},
      {[](TVorezUzeUiForm& f) { f.state().SerialPortCBox = {}; }, "[Download] Serial Port was not found."},
      {[](TVorezUzeUiForm& f) { f.state().PortCBox.items = {"COM5", "COM7"}; }, "[Warning] Two or more devices were found"},
      {[](TVorezUzeUiForm& f) { f.state().PortCBox = {{"COM999"}, 0, "COM999"}; }, "[Download] Invalid port number"},
      {[](TVorezUzeUiForm& f) { f.config().options.bBackup = f.config().options.bRestore = false; },
       "[Download] No download option selected"},
      {[](TVorezUzeUiForm& f) {
         f.config().options.bBackup = false;
         f.state().lvFileList.clear();
       },
       "[Upwend_Test] No Image File Loaded!"},
      // An image that failed its check keeps the update from running even with bBackup on.
      {[](TVorezUzeUiForm& f) {
         f.state().imageCheckFailed = true;
         f.state().lvFileList.clear();
       },
       "[Upwend_Test] No Image File Loaded!"},
  };
  for (const Case& c : cases) {
    SetUp();
    c.setUp(*form_);
    rc_->StartClick();
    ASSERT_FALSE(dialogs_.shown().empty()) << c.message;
    const ShownMessage& m = dialogs_.shown().back();
    EXPECT_EQ("[" + m.caption + "] " + m.text, c.message);
    EXPECT_EQ(workersCreated_, 0) << c.message;
    EXPECT_TRUE(form_->state().StartButton.enabled) << c.message;
    EXPECT_EQ(form_->state().Label_status.text, " Upgrade failure") << c.message;
    EXPECT_TRUE(rc_->statusLabelRed());
  }
}

TEST_F(RunControlTest, PortFieldsGiveTheirNumbers) {
  EXPECT_EQ(PortNumberOfField("COM123"), 123);
  EXPECT_EQ(PortNumberOfField("COM7"), 7);
  EXPECT_EQ(PortNumberOfField("COM12"), 12);
  EXPECT_EQ(PortNumberOfField("COM1234"), 12);
  EXPECT_EQ(PortNumberOfField("COMx"), 0);
  EXPECT_EQ(PortNumberOfField(""), 0);
}

TEST_F(RunControlTest, ReupdateAfterABackupRunsWithoutBackupOrAtPort) {
  {
    auto key = OpenSettingsKey(RegistryRoot::CurrentUser, kSettingsKeyPath, true, paths_.configDir);
    key->WriteString("DownloadStatus", "Backup succssfully");
  }
  form_->state().SerialPortCBox = {};
  script_ = {Say("PASS", 3)};
  rc_->Reupdate1Click();
  WaitForFinish();
  ASSERT_EQ(workersCreated_, 1);
  EXPECT_FALSE(worker_->params.options.bBackup);
  EXPECT_TRUE(worker_->params.resume);
  EXPECT_EQ(worker_->params.SerialComPort, 0);
  EXPECT_EQ(worker_->params.ResumeDeviceBackupFolder, "/backup/SN[A1]");
  EXPECT_TRUE(passed_);
}

TEST_F(RunControlTest, ReupdateReachesADeviceLeftInItsBootLoader) {
  {
    auto key = OpenSettingsKey(RegistryRoot::CurrentUser, kSettingsKeyPath, true, paths_.configDir);
    key->WriteString("DownloadStatus", "Backup succssfully");
  }
  form_->state().PortCBox = {};
  form_->state().SerialPortCBox = {};
  // Neither serial ports nor a fastboot interface: refused as before.
  rc_->Reupdate1Click();
  ASSERT_FALSE(dialogs_.shown().empty());
  EXPECT_EQ(dialogs_.shown().back().text, "Port is empty");
  EXPECT_EQ(workersCreated_, 0);

  // The fastboot interface is there, but the failed run's backup is not: still refused.
  adbResult_ = 0;
  lastFolder_ = (home_ / "no-such-backup").string();
  rc_->Reupdate1Click();
  EXPECT_EQ(workersCreated_, 0);

  fs::create_directories(home_ / "SN[A1]");
  lastFolder_ = (home_ / "SN[A1]").string();
  script_ = {Say("PASS", 3)};
  rc_->Reupdate1Click();
  WaitForFinish();
  ASSERT_EQ(workersCreated_, 1);
  EXPECT_EQ(worker_->params.ComPort, 0);
  EXPECT_EQ(worker_->params.SerialComPort, 0);
  EXPECT_TRUE(worker_->params.resume);
  EXPECT_EQ(worker_->params.ResumeDeviceBackupFolder, lastFolder_);
}

TEST_F(RunControlTest, StopAsksTheWorkerAndTheFinishHandlerFreesThePorts) {
  script_ = {[](WindowLink& link, ScriptedWorker& w) {
               w.stopped.wait(false);
               link.OnStatusText(1, "COMM Closed", 0, 2);
             }};
  rc_->StartClick();
  EXPECT_TRUE(rc_->running());
  rc_->StopClick();
  WaitForFinish();
  EXPECT_FALSE(rc_->running());
  EXPECT_FALSE(rc_->diagPortBusy(5));
  EXPECT_FALSE(passed_);
}

TEST_F(RunControlTest, ReportFromAnUnknownSlotIsAnInternalError) {
  std::vector<std::string> lines;
  RunHooks hooks;
  hooks.logLine = [&](const std::string& line, int type) { lines.push_back(std::to_string(type) + line.substr(20)); };
  RunControl rc(*form_, dialogs_, loop_, clock_, paths_.logDir, nullptr, nullptr, hooks);
  rc.OnWorkerReport(8, "x", 9, 1);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "2Internal error found:  Index value out of bounds");
}

TEST_F(RunControlTest, ClosingDuringARunAsksFirst) {
  script_ = {[](WindowLink&, ScriptedWorker& w) {
    w.stopped.wait(false);
  }};
  EXPECT_TRUE(rc_->FormCloseQuery());
  rc_->StartClick();
  EXPECT_TRUE(rc_->FormCloseQuery());  // answered OK by policy
  EXPECT_EQ(dialogs_.shown().back().text, "アップデート中は終了することはできません。");
  EXPECT_EQ(dialogs_.shown().back().caption, "警告");
  rc_->StopClick();
  WaitForFinish();
}

}  // namespace
}  // namespace upwend

namespace upwend {
namespace {

TEST_F(RunControlTest, TheJapaneseVariantsAskBeforeStartAndCancelStartsNothing) {
  dialogs_ = HeadlessDialogs(AnswerPolicy::Cancel, [](const std::string&) {});
  form_->config().projectType = 27;
  rc_->StartClick();
  EXPECT_EQ(workersCreated_, 0);
  EXPECT_FALSE(form_->quitRequested());
  ASSERT_EQ(dialogs_.shown().size(), 1u);
  EXPECT_EQ(dialogs_.shown()[0].text, Dialogs::kConfirmUpdateText);
  EXPECT_EQ(dialogs_.shown()[0].flags & kMbButtonMask, static_cast<unsigned>(kMbOkCancel));

  form_->config().projectType = 28;  // Cancel ends the program
  rc_->StartClick();
  EXPECT_EQ(workersCreated_, 0);
  EXPECT_TRUE(form_->quitRequested());
  EXPECT_FALSE(rc_->runLog().IsOpen());
}

TEST_F(RunControlTest, TheJapaneseVariantsStartOnOkAndLogIntoTheirProgramFolder) {
  form_->config().projectType = 27;
  rc_->SetProgramsFolder((home_ / "programs").string());
  script_ = {Say("Backup succssfully"), Fail("Could not read OKAY reply.")};
  rc_->StartClick();
  WaitForFinish();
  EXPECT_EQ(workersCreated_, 1);
  EXPECT_EQ(LogCount(), 0);  // not in the general run log folder
  EXPECT_EQ(fs::path(rc_->runLog().path()).parent_path().parent_path(), home_ / "programs");
  EXPECT_TRUE(fs::exists(rc_->runLog().path()));
  EXPECT_NE(ReadFile(rc_->runLog().path()).find("please contact the Operator."), std::string::npos);
}

// Type 28's success deletes its own run log, never the folder it lies in nor anything else there.
TEST_F(RunControlTest, TypeTwentyEightsSuccessDeletesOnlyItsOwnLog) {
  form_->config().projectType = 28;
  rc_->SetProgramsFolder((home_ / "programs").string());
  fs::path folder = home_ / "programs" / VariantProgramFolderName(form_->config());
  fs::create_directories(folder);
  std::ofstream(folder / "earlier(2019_10_08 10;00;00).log") << "an earlier run";
  std::ofstream(folder / "settings.ini") << "[a]";
  std::ofstream(home_ / "log" / "other.log") << "another product's log";
  script_ = {Say("PASS", 3)};
  rc_->StartClick();
  WaitForFinish();
  EXPECT_TRUE(passed_);
  EXPECT_FALSE(fs::exists(rc_->runLog().path()));
  EXPECT_TRUE(fs::exists(folder / "earlier(2019_10_08 10;00;00).log"));
  EXPECT_TRUE(fs::exists(folder / "settings.ini"));
  EXPECT_TRUE(fs::exists(home_ / "log" / "other.log"));
}

TEST_F(RunControlTest, TheResultPageAndTheClosingQuestionFollowTheVariant) {
  script_ = {[](WindowLink&, ScriptedWorker& w) {
               w.stopped.wait(false);
             },
             Fail("Stopped")};
  form_->config().projectType = 28;
  rc_->StartClick();
  ASSERT_TRUE(rc_->running());
  EXPECT_TRUE(form_->state().Image_gif.visible);
  EXPECT_TRUE(form_->state().closePictureDisabled);
  dialogs_ = HeadlessDialogs(AnswerPolicy::No, [](const std::string&) {});
  EXPECT_FALSE(rc_->FormCloseQuery());
  EXPECT_EQ(dialogs_.shown().back().text, "ダウンロード実行中です。終了しますか？");
  EXPECT_EQ(dialogs_.shown().back().flags & kMbButtonMask, static_cast<unsigned>(kMbYesNo));
  form_->config().projectType = 1013;
  EXPECT_FALSE(rc_->FormCloseQuery());
  EXPECT_EQ(dialogs_.shown().back().text, "アップデート中は終了することはできません。");
  rc_->StopClick();
  WaitForFinish();
  const WindowState& st = form_->state();
  EXPECT_EQ(st.Label13.text, "Update Failure");
  EXPECT_EQ(st.Label15.text, "アップデートに失敗しました");
  EXPECT_FALSE(st.Label14.visible);
  EXPECT_TRUE(st.Label16.visible);
  EXPECT_FALSE(st.Image_gif.visible);
  EXPECT_FALSE(st.closePictureDisabled);
}

}  // namespace
}  // namespace upwend
