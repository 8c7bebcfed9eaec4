#include "app/run/run_control.h"

#include <filesystem>
#include <system_error>

#include "app/images/image_verification.h"
#include "app/shell/dialogs.h"
#include "app/shell/main_window.h"
#include "app/shell/variant_texts.h"
#include "engine/worker/project_rules.h"
#include "platform/clock.h"
#include "platform/port_names.h"
#include "platform/settings_store.h"
#include "platform/ui_thread.h"

namespace upwend {

namespace {

constexpr const char* kMilestoneStart = "Start succssfully";
constexpr const char* kMilestoneBackup = "Backup succssfully";
constexpr const char* kMilestonePass = "PASS";
constexpr const char* kDownloadStatus = "DownloadStatus";
constexpr const char* kUpgrading = " Upgrading...";
constexpr const char* kUpgradeFailure = " Upgrade failure";
constexpr const char* kUpgradingJapanese = "アップデートしています";
constexpr const char* kUpgradeFailureJapanese = "アップデートに失敗しました";
constexpr const char* kCloseWhileRunning = "アップデート中は終了することはできません。";
constexpr const char* kCloseWhileRunning2728 = "ダウンロード実行中です。終了しますか？";
constexpr uint64_t kWatchEndSettleMs = 500;
// The device check's probe handle is looked at up to ten times, half a second apart, and given
// a moment after a failed close.
constexpr int kProbeReleaseTries = 10;
constexpr uint64_t kProbeReleasePollMs = 500;
constexpr uint64_t kProbeCloseRetryMs = 100;

bool JapaneseLayout(const ProductConfig& c) { return project::UsesJapaneseLayout(c.projectType); }
bool OperatorBuild(const ProductConfig& c) { return project::IsOperatorBuild(c.projectType, c.VariantSet()); }

// The window's slot sees only the stop request of the worker it holds.
class SlotStop final : public SlotWorker {
public:
  explicit SlotStop(std::shared_ptr<RunWorker> worker) : worker_(std::move(worker)) {}
  void RequestStop() override { worker_->RequestStop(); }

private:
  std::shared_ptr<RunWorker> worker_;
};

}  // namespace

int PortNumberOfField(const std::string& field) {
  if (field.size() < 4 || field.compare(0, 3, "COM") != 0) return 0;
  size_t digits = field.size() == 6 ? 3 : 2;
  auto number = PortFieldDigits(std::string_view(field).substr(3), digits, PortDigits::kLeading);
  return number ? *number : 0;
}

// The worker's view of the window: every call is carried out on the UI thread while the worker
// waits, so a report is handled completely before the worker's next step.
class RunControl::Link final : public WindowLink {
public:
  explicit Link(RunControl& rc) : rc_(rc) {}

  void OnStatusText(int commStatus, const std::string& text, int index, int messageType) override {
    rc_.ui_.Invoke([&] { rc_.OnWorkerReport(commStatus, text, index, messageType); });
  }
  void OnError(const std::string& text, int index) override {
    rc_.ui_.Invoke([&] { rc_.OnWorkerError(text, index); });
  }
  void SetGauge(int index, uint64_t position, uint64_t maximum) override {
    rc_.ui_.Invoke([&] { rc_.OnWorkerProgress(position, index, maximum); });
  }
  void SentBytes(int index, uint64_t total) override {
    if (index == 0 && rc_.hooks_.sentBytes) rc_.hooks_.sentBytes(total);
  }
  int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override {
    int answer = 0;
    rc_.ui_.Invoke([&] { answer = rc_.dialogs_.MessageBox(text, caption, flags); });
    return answer;
  }
  int FindAdbInterface(int index, std::string& path) override {
    int result = 255;
    rc_.ui_.Invoke([&] {
      if (rc_.hooks_.findAdbInterface) result = rc_.hooks_.findAdbInterface(index, path);
    });
    return result;
  }
  bool CheckDiagPortSame(int portNumber) override {
    bool same = false;
    rc_.ui_.Invoke([&] {
      if (rc_.hooks_.checkDiagPortSame) {
        same = rc_.hooks_.checkDiagPortSame(portNumber);
      } else {
        const auto& box = rc_.form_.state().PortCBox;
        same = !box.items.empty() && PortNumberOfField(box.items.front()) == portNumber;
      }
    });
    return same;
  }
  std::string PortText() override {
    std::string text;
    rc_.ui_.Invoke([&] { text = rc_.form_.state().PortCBox.text; });
    return text;
  }
  std::string SerialPortText() override {
    std::string text;
    rc_.ui_.Invoke([&] { text = rc_.form_.state().SerialPortCBox.text; });
    return text;
  }
  void CheckForComPorts() override {
    // The search (with its waits) runs on the worker's thread; only its result goes to the
    // window, so the window keeps repainting meanwhile.
    if (rc_.hooks_.findComPorts) {
      std::function<void()> show = rc_.hooks_.findComPorts();
      rc_.ui_.Invoke([&] { show(); });
      return;
    }
    rc_.ui_.Invoke([&] {
      if (rc_.hooks_.discoverPorts) rc_.hooks_.discoverPorts();
    });
  }
  bool DiskModeSwitched() override {
    bool switched = false;
    rc_.ui_.Invoke([&] { switched = rc_.hooks_.diskModeSwitched && rc_.hooks_.diskModeSwitched(); });
    return switched;
  }
  void ShowDeviceVersion(SerialPort* atPort) override {
    // The query polls the worker's own AT port for up to 8 s: on the worker's thread.
    std::string version = rc_.hooks_.queryDeviceVersion ? rc_.hooks_.queryDeviceVersion(atPort) : std::string();
    rc_.ui_.Invoke([&] { rc_.form_.state().Label_version.text = "Version:" + version; });
  }
  void ShiftDevice1Click() override {
    rc_.ui_.Invoke([&] {
      if (rc_.hooks_.shiftDevice) rc_.hooks_.shiftDevice();
    });
  }
  bool VariantFlag() override {
    bool variant = false;
    rc_.ui_.Invoke([&] { variant = rc_.form_.config().variant != 0; });
    return variant;
  }
  // The flags are plain words: the window procedure sets them, the worker polls and clears them.
  bool DeviceChangeSeen() override { return rc_.deviceChangeSeen_; }
  bool DeviceArrivalSeen() override { return rc_.deviceArrivalSeen_; }
  void ClearDeviceFlags() override { rc_.ClearDeviceFlags(); }
  // Not on the UI thread: the program's answers take up to 24 s, which the window must not wait.
  bool RunResetModem(const std::function<void(const std::string&)>& raise) override {
    return !rc_.hooks_.runResetModem || rc_.hooks_.runResetModem(raise);
  }
  void RememberDeviceBackupFolder(const std::string& folder) override {
    rc_.ui_.Invoke([&] {
      if (rc_.hooks_.rememberDeviceBackupFolder) rc_.hooks_.rememberDeviceBackupFolder(folder);
    });
  }

private:
  RunControl& rc_;
};

RunControl::RunControl(TVorezUzeUiForm& form, Dialogs& dialogs, UiThread& ui, Clock& clock, std::string logFolder,
                       std::function<std::unique_ptr<SettingsKey>()> openSettings, RunWorkerFactory factory,
                       RunHooks hooks)
    : form_(form),
      dialogs_(dialogs),
      ui_(ui),
      clock_(clock),
      runLog_(std::move(logFolder)),
      openSettings_(std::move(openSettings)),
      factory_(std::move(factory)),
      hooks_(std::move(hooks)),
      link_(std::make_unique<Link>(*this)) {}

RunControl::~RunControl() {
  for (Slot& s : slots_) {
    if (s.worker) {
      s.worker->RequestStop();
      s.worker->Join();
    }
  }
}

bool RunControl::running() const {
  for (const Slot& s : slots_)
    if (s.worker) return true;
  return false;
}

// ---- Start, Re-update, Stop, close --------------------------------------------------------------

void RunControl::StartClick() {
  const ProductConfig& config = form_.config();
  WindowState& st = form_.state();
  if (!runLog_.IsOpen()) OpenRunLog();
  LogMessage("1.3.5.0", kMsgPlain);
  if (JapaneseLayout(config)) {
    if (project::IsJapaneseRetailProduct(config.projectType) && hooks_.deviceVersionIsCurrent && !hooks_.deviceVersionIsCurrent()) {
      CloseRunLog();
      return;
    }
    if (dialogs_.ConfirmUpdate(ConfirmBoxTitle(config), config.projectType) != kIdOk) {
      if (project::IsJapaneseRetailProduct(config.projectType)) {
        CloseRunLog();
        form_.AskQuit();
      }
      return;
    }
  }
  backupDone_ = false;
  resume_ = false;
  form_.SetResuming(false);
  if (project::HasStartTimer(config.projectType, config.VariantSet())) st.Timer1Enabled = false;
  st.DownloadInfoMemo.clear();
  ShowStartedPictures();
  if (hooks_.endDeviceWatch) hooks_.endDeviceWatch();
  clock_.SleepMs(kWatchEndSettleMs);
  ReleaseProbeHandle("26");
  ShowBusy(true);
  LogMessage("Check......", kMsgPlain);
  if (hooks_.discoverPorts) hooks_.discoverPorts();
  if (!VersionGate()) {
    EndBeforeStart();
    return;
  }
  LogMessage("Check......completely", kMsgPlain);
  StartAndShow();
}

void RunControl::Reupdate1Click() {
  WindowState& st = form_.state();
  backupDone_ = true;
  resume_ = true;
  std::string status = ReadMilestone();
  if (status == kMilestoneStart || status == kMilestonePass || status.empty()) {
    LogMessage("Status was wrong", kMsgFailure);
  } else if (status == kMilestoneBackup) {
    form_.config().options.bBackup = false;  // the backup of the failed run is used
  }
  // The backup files are those the failed run left in its device backup folder.
  form_.SetResuming(true, hooks_.lastDeviceBackupFolder ? hooks_.lastDeviceBackupFolder() : std::string());
  form_.BuildSettingsSummary();
  if (!runLog_.IsOpen()) OpenRunLog();
  st.DownloadInfoMemo.clear();
  ShowStartedPictures();
  if (hooks_.endDeviceWatch) hooks_.endDeviceWatch();
  clock_.SleepMs(kWatchEndSettleMs);
  ReleaseProbeHandle("25");
  ShowBusy(true);
  LogMessage("Check......", kMsgPlain);
  if (hooks_.discoverPorts) hooks_.discoverPorts();
  LogMessage("Check......completely", kMsgPlain);
  StartAndShow();
}

void RunControl::StartAndShow() {
  WindowState& st = form_.state();
  if (StartRun(0)) {
    st.Label_status.text =
        (JapaneseLayout(form_.config()) || st.japaneseLayout) ? kUpgradingJapanese : kUpgrading;
    statusRed_ = false;
  } else {
    st.StartButton.enabled = true;
    st.StopButton.enabled = false;
    st.startPicture = StartPicture::Normal;
    st.closePictureDisabled = false;
    ShowBusy(false);
    RefuseStart();
  }
}

bool RunControl::FormCloseQuery() {
  if (!running()) return true;
  bool close = false;
  if (JapaneseLayout(form_.config())) {
    close = dialogs_.MessageBox(kCloseWhileRunning2728, ConfirmBoxTitle(form_.config()), kMbYesNo) == kIdYes;
  } else {
    close = dialogs_.MessageBox(kCloseWhileRunning, kCaptionChineseWarning, kMbOkCancel) == kIdOk;
  }
  if (close) NoteCloseConfirmed();
  return close;
}

void RunControl::NoteCloseConfirmed() {
  if (running() && backupDone_ && !resume_) form_.state().Reupdate1.visible = true;
}

void RunControl::ShowStartedPictures() {
  WindowState& st = form_.state();
  const ProductConfig& c = form_.config();
  st.StartButton.enabled = false;
  st.StopButton.enabled = true;
  st.startPicture = StartPicture::Disabled;
  if (project::LocksCloseDuringRun(c.projectType, c.VariantSet())) st.closePictureDisabled = true;
  if (OperatorBuild(c)) st.Label_warning_start.visible = true;
}

void RunControl::ShowBusy(bool busy) {
  WindowState& st = form_.state();
  st.Image_progress.visible = !busy;
  st.Image_gif.visible = busy;
}

void RunControl::ReleaseProbeHandle(const char* suffix) {
  std::string s(suffix);
  for (int attempt = 0; attempt < kProbeReleaseTries; ++attempt) {
    clock_.SleepMs(kProbeReleasePollMs);
    if (!hooks_.probeHandleOpen || !hooks_.probeHandleOpen()) {
      LogMessage("com null-" + s, kMsgPlain);
      return;
    }
    LogMessage("com not null-" + s, kMsgPlain);
    if (hooks_.closeProbeHandle && hooks_.closeProbeHandle()) {
      LogMessage("close com-" + s, kMsgPlain);
      return;
    }
    LogMessage("Warning-" + s, kMsgPlain);
    clock_.SleepMs(kProbeCloseRetryMs);
  }
}

bool RunControl::VersionGate() {
  const ProductConfig& config = form_.config();
  if (project::GatesStartOnDeviceVersion(config.projectType, config.VariantSet())) {
    return !hooks_.deviceVersionIsCurrent || hooks_.deviceVersionIsCurrent();
  }
  const std::string& name = config.name;
  if (name == "NP30" || name == "NP31" || name == "NQ411" || name == "NQ418") {
    return !hooks_.selectPackageForDevice || hooks_.selectPackageForDevice();
  }
  return true;
}

void RunControl::EndBeforeStart() {
  CloseRunLog();
  runLog_.DeleteUnlessAutotest();
  form_.AskQuit();
}

void RunControl::RefuseStart() {
  WindowState& st = form_.state();
  st.Label_status.text = JapaneseLayout(form_.config()) ? kUpgradeFailureJapanese : kUpgradeFailure;
  statusRed_ = true;
}

bool RunControl::StartRun(int slot) {
  if (!CheckImagesAndPorts(slot)) return false;
  PrepareRun(slot);
  LaunchWorker(slot);
  return true;
}

bool RunControl::CheckImagesAndPorts(int slot) {
  // A set that failed its check is never run, whatever the backup options: its missing or
  // empty image would be written as an empty partition.
  const WindowState& st = form_.state();
  if (st.imageCheckFailed || (st.lvFileList.empty() && !form_.config().options.bBackup)) {
    dialogs_.MessageBox("No Image File Loaded!", form_.config().caption, kMbOk);
    return false;
  }
  return CheckPorts(slot);
}

bool RunControl::CheckPorts(int slot) {
  const ProductConfig& config = form_.config();
  const DownloadOptions& o = config.options;
  const WindowState& st = form_.state();
  auto refuse = [this](const char* text, const char* caption) {
    RefuseStart();
    dialogs_.MessageBox(text, caption, kMbOk);
    return false;
  };
  if (st.PortCBox.text.empty()) {
    if (ResumeInBootLoader(slot)) return true;
    return refuse("Port is empty", "Download");
  }
  if (!resume_ && st.SerialPortCBox.text.empty()) return refuse("Serial Port was not found.", "Download");
  if (st.PortCBox.items.size() >= 2) return refuse("Two or more devices were found", "Warning");

  Slot& s = slots_[slot];
  int diag = PortNumberOfField(st.PortCBox.text);
  int app = st.AppPortCBox.items.empty() ? 0 : PortNumberOfField(st.AppPortCBox.text);
  int at = 0;
  // A resumed run does not require the AT port, but uses it when the device shows one.
  if ((!config.phone || o.pcSuite || o.bBackup || o.bRestore || !config.startATList.empty()) &&
      st.SerialPortCBox.text.size() > 3) {
    at = PortNumberOfField(st.SerialPortCBox.text);
  }
  if (diag < 1 || diag > kMaxPortNumber) return refuse("Invalid port number", "Download");
  if (diagBusy_.count(diag)) return false;
  if ((o.pcSuite || o.bBackup || o.bRestore) && atBusy_.count(at)) return false;
  s.diagPort = diag;
  s.appPort = app;
  s.atPort = at;

  if (o.bAppsBootloader || o.bAppsImageAndBootloader || o.bPhoneImage || o.bAMSSFile || o.bBackup ||
      o.bBootloader || o.bCfgdata || o.bEFS) {
    return true;
  }
  if (!o.bRawAppsEFS && !o.bPartOfEFS && !o.pcSuite && !o.bRestore) {
    return refuse("No download option selected", "Download");
  }
  return true;
}

bool RunControl::ResumeInBootLoader(int slot) {
  // A failed or stopped flash leaves the device in its boot loader, without serial ports; a
  // device whose modem partition was wiped may never come back in normal mode by itself. The
  // Re-update goes on there: it flashes, waits for the device's return and restores, with the
  // port numbers that the return brings.
  if (!resume_ || !hooks_.findAdbInterface || !hooks_.lastDeviceBackupFolder) return false;
  std::error_code ec;
  const std::string folder = hooks_.lastDeviceBackupFolder();
  if (folder.empty() || !std::filesystem::is_directory(folder, ec)) return false;
  std::string path;
  if (hooks_.findAdbInterface(0, path) != 0) return false;
  LogMessage("Device in its boot loader: Re-update with " + folder, kMsgPlain);
  slots_[slot].diagPort = 0;
  slots_[slot].appPort = 0;
  slots_[slot].atPort = 0;
  return true;
}

void RunControl::PrepareRun(int slot) {
  Slot& s = slots_[slot];
  if (s.diagPort >= 1) diagBusy_.insert(s.diagPort);
  if (s.atPort >= 1) atBusy_.insert(s.atPort);
  gaugePosition_ = 0;
  if (hooks_.gaugeChanged) hooks_.gaugeChanged(gaugePosition_, gaugeMaximum_);
  ShowStartedPictures();
  ShowBusy(true);
  LogMessage("Syncing......", kMsgPlain);
}

void RunControl::LaunchWorker(int slot) {
  CreateWorker(slot);
  Slot& s = slots_[slot];
  if (!s.worker) return;
  s.worker->Resume([this, slot] { ui_.Post([this, slot] { OnWorkerFinished(slot); }); });
}

void RunControl::CreateWorker(int slot) {
  Slot& s = slots_[slot];
  if (s.worker) {
    s.worker->RequestStop();
    s.worker->Join();
    s.worker.reset();
  }
  passed_ = false;
  s.worker = factory_(BuildRunParameters(slot), *link_);
  form_.slots()[slot].worker = s.worker ? std::make_shared<SlotStop>(s.worker) : nullptr;
}

void RunControl::StopRun(int slot) {
  LogMessage("Shutting down COMM...", kMsgPlain);
  if (slots_[slot].worker) slots_[slot].worker->RequestStop();
}

RunParameters RunControl::BuildRunParameters(int slot) const {
  const ProductConfig& c = form_.config();
  const DownloadOptions& o = c.options;
  const Slot& s = slots_[slot];
  RunParameters p;
  p.Index = slot;
  p.ComPort = s.diagPort;
  p.SerialComPort = s.atPort;
  p.AppComPort = s.appPort;
  p.PlatformName = c.platformCode;
  p.PlatformType = c.networkType;
  p.strLTEType = c.lteType;
  p.strGPIO = c.gpio;
  p.TempFiles = form_.helperFolder().empty() ? form_.workingFolder() : form_.helperFolder();
  p.BackupFilePath = form_.backupFolder();
  p.ExecutableDir = form_.executableFolder();
  if (o.bFastbootConfiguration) {
    p.FastbootFileNameList = &c.fastbootFileNameList;
    p.FastbootFileCmdList = &c.fastbootFileCmdList;
  }
  p.RemoveFilesList = &c.removeFiles;
  p.RemoveDirList = &c.removeDirs;
  p.CreateDirList = &c.createDirs;
  p.AddFilesList = &c.addFiles;
  p.UserDataFilesList = &c.userDataFiles;
  p.UserDataDirList = &c.userDataDirs;
  p.NVItemList = &c.nvItemList;
  p.StartATList = &c.startATList;
  p.EndATList = &c.endATList;
  p.m_nBlockSize = c.blockSize;
  p.projectType = c.projectType;
  p.phone = c.phone;
  p.options = o;
  p.ExecuteResetModem = c.executeResetModem;
  p.simLockOn = c.simLock;
  p.simLockMode = c.simLockMode;
  p.simLockText = c.simLockText;
  p.IsAlcatel = c.isAlcatel;
  p.UIT_NewWays = c.uitNewWays;
  p.RTRECFG = c.rtrecfg;
  p.ESN = c.esn;
  p.bFastSpeedDownload = c.bFastSpeedDownload;
  p.resume = resume_;
  if (hooks_.lastDeviceBackupFolder) p.LastDeviceBackupFolder = hooks_.lastDeviceBackupFolder();
  if (resume_) p.ResumeDeviceBackupFolder = p.LastDeviceBackupFolder;
  CopyImageSetInto(form_.imageSet(), p);
  return p;
}

// ---- reports ----------------------------------------------------------------------------------

void RunControl::OnWorkerReport(int status, const std::string& text, int index, int type) {
  if (index < 0 || index >= kSlots) {
    LogMessage(std::string("Internal error found: ") + " Index value out of bounds", kMsgFailure);
    return;
  }
  if (type == kMsgSuccess && text == kMilestonePass) passed_ = true;
  LogMessage(text, type);
}

void RunControl::OnWorkerError(const std::string& text, int index) { LogMessage(text, kMsgFailure); }

void RunControl::OnWorkerProgress(uint64_t position, int index, uint64_t maximum) {
  if (index != 0) return;  // only slot 0 has a gauge
  gaugePosition_ = position;
  gaugeMaximum_ = maximum;
  if (hooks_.gaugeChanged) hooks_.gaugeChanged(position, maximum);
}

void RunControl::OnWorkerFinished(int slot) {
  Slot& s = slots_[slot];
  if (s.worker) {
    s.worker->Join();
    s.worker.reset();
  }
  form_.slots()[slot].worker.reset();
  diagBusy_.erase(s.diagPort);
  atBusy_.erase(s.atPort);
  ShowFinishedPictures();
  if (hooks_.runFinished) hooks_.runFinished(passed_);
}

void RunControl::ShowFinishedPictures() {
  WindowState& st = form_.state();
  const ProductConfig& c = form_.config();
  const int pt = c.projectType;
  st.StopButton.enabled = false;
  st.closePictureDisabled = false;
  if (project::EnablesCloseAfterRun(pt, c.VariantSet())) st.CloseButton.enabled = true;
  st.StartButton.enabled = false;  // the device watcher enables Start again
  st.startPicture = StartPicture::Disabled;
  if (project::GreysFinishAfterRun(pt)) st.finishPicture = StartPicture::Disabled;
  if (project::EnablesCloseAfterRun(pt, c.VariantSet())) st.finishPicture = StartPicture::Normal;
  if (OperatorBuild(c)) st.Label_warning_start.visible = false;
  st.Image_progress.visible = false;
  st.Image_gif.visible = false;
}

void RunControl::AppendRunLog(const std::string& text) {
  if (runLog_.IsOpen()) runLog_.WriteLine(text);
}

void RunControl::LogMessage(const std::string& text, int type) {
  LocalTimeText now = NowText();
  std::string line = now.shortDate + " " + now.longTime + " " + text;
  switch (type) {
    case kMsgFailure: logViewColour_ = LogViewColour::Red; break;
    case kMsgSuccess: logViewColour_ = LogViewColour::Lime; break;
    case kMsgLineOnly: break;
    default: logViewColour_ = LogViewColour::Window; break;
  }
  runLog_.WriteLine(line);
  if (hooks_.logLine) hooks_.logLine(line, type);
  if (text == kMilestoneStart || text == kMilestoneBackup || text == kMilestonePass) {
    if (text == kMilestoneBackup) backupDone_ = true;
    WriteMilestone(text);
  }
  WindowState& st = form_.state();
  int pt = form_.config().projectType;
  if (type == kMsgSuccess) {
    st.Reupdate1.visible = false;
    CloseRunLog();
    if (project::IsJapaneseRetailProduct(pt)) {
      // This log lives in the product's program folder; only this run's log goes, never the
      // folder with whatever else it holds.
      runLog_.DeleteOwnFile();
    } else {
      runLog_.DeleteUnlessAutotest();
    }
    if (project::UsesCompactWindow(pt)) ShowCompactResult(true);
  } else if (type == kMsgFailure) {
    if (backupDone_ && !resume_) st.Reupdate1.visible = true;
    FailureAdvice();
    CloseRunLog();
    if (project::UsesCompactWindow(pt)) ShowCompactResult(false);
  }
  if (type == kMsgFailure || type == kMsgSuccess) ShowResultPage(type == kMsgSuccess);
  switch (type) {
    case kMsgStep:
      statusState_ = kStatusBarStepDone;
      statusRed_ = false;
      break;
    case kMsgFailure:
    case kMsgSuccess:
    case kMsgLineOnly: break;
    default: statusState_ = kStatusBarPlain; break;
  }
}

void RunControl::ShowResultPage(bool success) {
  WindowState& st = form_.state();
  st.Memo1.visible = false;
  st.Label13.text = success ? "Update Completed" : "Update Failure";
  st.Label14.visible = success;
  if (success) st.Label14.text = form_.config().version;
  st.Label15.visible = true;
  st.Label15.text = success ? "アップデートが正常に完了しました" : "アップデートに失敗しました";
  st.Label20.visible = st.Image16.visible = false;
  st.Label21.visible = st.Image17.visible = false;
  st.Label16.visible = st.Image4.visible = true;
  if (success && hooks_.processEvents) hooks_.processEvents();
}

void RunControl::ShowCompactResult(bool success) {
  WindowState& st = form_.state();
  st.mainGroup.visible = false;
  if (success) {
    st.caption = kCompletedCaptionChinese;
    st.Label_CustomVersion.text = form_.config().softwareVersion;
    st.Label_CustomVersion.visible = true;
    st.completionGroup.visible = true;
  } else {
    st.caption = kFailedCaptionChinese;
    st.completionGroup.visible = false;
    st.failureGroup.visible = true;
  }
}

void RunControl::FailureAdvice() {
  const ProductConfig& c = form_.config();
  std::string rule(98, '-');
  std::string contact = "Please try plug in USB cable to upgrade again, if it fails please contact us.";
  if (JapaneseLayout(c)) contact = "Please try plug in USB cable to upgrade again, if it fails please contact the Operator.";
  if (OperatorBuild(c)) contact = std::string("Please try plug in USB cable to upgrade again, if it fails please contact ") + kOperatorCentre;
  for (const std::string& l : {std::string(), rule, contact,
                               std::string("We will reply to you as soon as possible and resolve the issue."),
                               std::string("To cause any inconvenience to your understanding."), rule}) {
    runLog_.WriteLine(l);
  }
}

void RunControl::OpenRunLog() {
  // The Japanese retail builds keep their run log in the variant's own program folder.
  if (JapaneseLayout(form_.config()) && !programsFolder_.empty()) {
    runLog_.set_folder(programsFolder_ + "/" + VariantProgramFolderName(form_.config()));
  }
  runLog_.Open(form_.config().caption, NowText());
}

void RunControl::CloseRunLog() { runLog_.Close(); }

void RunControl::WriteMilestone(const std::string& text) {
  if (!openSettings_) return;
  if (auto key = openSettings_()) key->WriteString(kDownloadStatus, text);
}

std::string RunControl::ReadMilestone() {
  if (!openSettings_) return {};
  auto key = openSettings_();
  if (!key) return {};
  auto value = key->ReadString(kDownloadStatus);
  if (!value) {
    key->WriteString(kDownloadStatus, "");
    return {};
  }
  return *value;
}

}  // namespace upwend
