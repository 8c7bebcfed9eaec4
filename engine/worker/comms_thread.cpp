#include "engine/worker/comms_thread.h"

#include <filesystem>
#include <system_error>

#include "engine/identity/identity_value.h"
#include "engine/worker/project_rules.h"
#include "platform/clock.h"
#include "platform/last_error.h"
#include "platform/port_names.h"
#include "platform/thread_priority.h"

namespace upwend {

namespace {

constexpr const char* kAdbWinUsbApiFile = "AdbWinUsbApi.dll";

// The ports of a returned device are tried 20 times; the run fails at the 10th, the tries go on.
// Waits are logical milliseconds: the clock scales them.
constexpr int kReopenTries = 20;
constexpr int kReopenRaiseAtTry = 10;
constexpr uint64_t kReopenShortMs = 3000;
constexpr uint64_t kReopenLongMs = 10000;
// The identity backup is tried five times, a second apart: the AT port may still be settling.
constexpr int kBackupTries = 5;
constexpr uint64_t kBackupRetryMs = 1000;
// A moment for the new device backup folder to be there for the helpers that write into it.
constexpr uint64_t kBackupFolderSettleMs = 10;
// After the fastboot switch the boot loader is looked for once a second, for up to two minutes,
// and given five more seconds once found.
constexpr int kBootLoaderSearchTries = 120;
constexpr uint64_t kBootLoaderSearchMs = 1000;
constexpr uint64_t kBootLoaderSettleMs = 5000;
// The restore's reset request (AT+CFUN=5) is retried every half second for up to 30 s.
constexpr int kFunctionResetTries = 60;
constexpr uint64_t kFunctionResetRetryMs = 500;

// "COM12" -> 12; 0 when the text is not a port name.
int PortNumberOf(const std::string& name) {
  constexpr size_t kPortDigits = 6;
  if (name.size() < 4 || name.compare(0, 3, "COM") != 0) return 0;
  auto number = PortFieldDigits(std::string_view(name).substr(3), kPortDigits, PortDigits::kAll);
  return number ? *number : 0;
}

}  // namespace

TCommsThread::TCommsThread(RunParameters params, WindowLink& window, Clock& clock)
    : params_(std::move(params)), window_(window), clock_(clock) {}

TCommsThread::~TCommsThread() { Join(); }

void TCommsThread::SetLayers(WorkerLayers layers) { layers_ = std::move(layers); }

void TCommsThread::Resume(std::function<void()> onTerminate) {
  thread_ = std::thread([this, onTerminate = std::move(onTerminate)] {
    RaiseCurrentThreadPriority();
    Execute();
    if (onTerminate) onTerminate();
  });
}

void TCommsThread::Join() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

// ---- reporting -------------------------------------------------------------------------------

void TCommsThread::ReportStatus(int commStatus, const std::string& text, int messageType) {
  lastReportText_ = text;
  window_.OnStatusText(commStatus, text, params_.Index, messageType);
}

void TCommsThread::ReportError(const std::string& text) {
  if (errorCode_.load() == 0) {
    uint32_t code = GetLastSystemError();
    std::string message = "ERROR, " + text + ", Error code: " + std::to_string(code);
    lastReportText_ = message;
    errorCode_.store(code == 0 ? kDefaultErrorCode : static_cast<int>(code));
    window_.OnError(message, params_.Index);
  }
  if (layers_.ports) layers_.ports->ClearDiagErrors();
}

void TCommsThread::SetGauge(uint64_t position, uint64_t maximum) {
  gaugeShown_ = {position, maximum};
  window_.SetGauge(params_.Index, position, maximum);
}

void TCommsThread::AddSentBytes(uint64_t count) {
  sentBytes_ += count;
  // Called for every 4 KiB block of an image: only a block that moves the gauge (whole percents)
  // waits for the window, not the thousands between two steps.
  auto position = static_cast<uint64_t>(static_cast<float>(sentBytes_) * progressFactor_);
  if (gaugeShown_ != std::pair<uint64_t, uint64_t>{position, 100}) SetGauge(position, 100);
  window_.SentBytes(params_.Index, sentBytes_);
}

void TCommsThread::NoteNotRestored(const std::string& item) {
  for (const std::string& known : notRestored_)
    if (known == item) return;
  notRestored_.push_back(item);
}

// ---- terms of the sequence -------------------------------------------------------------------

bool TCommsThread::AmssOnly() const {
  return params_.options.bAMSSFile && !params_.options.bEFS && !params_.options.bRawAppsEFS && !params_.options.pcSuite;
}

bool TCommsThread::Variant() { return project::HasCustomerVariants(params_.projectType) && window_.VariantFlag(); }

bool TCommsThread::ReadsImei() const {
  return params_.PlatformType != 2 && !project::IsCdmaOnly(params_.projectType);
}

bool TCommsThread::ResumeWithoutAtPort() const { return params_.resume && params_.SerialComPort == 0; }

bool TCommsThread::NeedsAtPort() {
  const auto& p = params_;
  const DownloadOptions& o = p.options;
  return o.bBootloader || o.bBackup || o.bRestore || o.pcSuite || !RunParameters::Or(p.StartATList).empty() ||
         (project::SwitchesToDiskAfterAmss(p.projectType) && AmssOnly()) || !RunParameters::Or(p.EndATList).empty() ||
         Variant();
}

void TCommsThread::EnsureDiagOpen() {
  if (!layers_.ports->DiagOpen()) layers_.ports->OpenDiagPort();
}

void TCommsThread::EndRunAtOnce() {
  // Nothing is left holding a port when a run ends early.
  if (layers_.ports->AtOpen()) layers_.ports->CloseAtPortOnce();
  if (layers_.ports->DiagOpen()) layers_.ports->CloseDiagPort("Warning-7");
}

// ---- the sequence ----------------------------------------------------------------------------

void TCommsThread::Execute() {
  RunSequence();
  // Whichever step noticed the stop, the run ends with a verdict that says so.
  if (ErrorCode() == kStopRequestCode) ReportStatus(kStatusFailed, kStoppedVerdict, kMsgFailure);
}

void TCommsThread::RunSequence() {
  if (!LoadQmsl()) return;
  StepStart();
  if (!Stopped() && NeedsAtPort() && !ResumeWithoutAtPort()) layers_.ports->OpenAtPort();
  if (!params_.strGPIO.empty() && !StepGpioCheck()) return;
  if (!Stopped() && params_.PlatformName != 255) StepPlatformCheck();
  if (!RunParameters::Or(params_.StartATList).empty() && !Stopped() && !ResumeWithoutAtPort()) {
    layers_.at->RunStartAtList();
  }
  StepDiskMode();
  // A Re-update after a run that got its backup done makes no backup of its own, user data
  // included: a second one would save the device as the failed run left it, blanks and all.
  // What the failed run saved is restored instead.
  const bool resumed = params_.resume && !params_.options.bBackup;
  if (resumed) AdoptResumedBackup();
  if ((params_.options.bBackup || params_.options.bBackupUserData) && !resumed && !Stopped()) {
    if (!StepBackup()) return;
  }
  if (params_.options.bBackupUserData && !resumed && !Stopped()) {
    EnsureDiagOpen();
    layers_.efs->BackupUserData(deviceBackupFolder_);
  }
  if (params_.options.bPartOfEFS && !Stopped()) {
    EnsureDiagOpen();
    layers_.efs->ApplyPartOfEfs();
    if (!RunParameters::Or(params_.NVItemList).empty() && !Stopped()) layers_.nv->WriteNvConfig();
    if (!RunParameters::Or(params_.EndATList).empty() && !Stopped()) layers_.at->RunEndAtList();
  }
  StepBootloaderAndFastboot();

  ResetOutcome reset = StepReset();
  if (reset != ResetOutcome::Skipped) {
    if (reset == ResetOutcome::Done && !StepRestore()) return;
    StepReconnect();
    if (!RunParameters::Or(params_.EndATList).empty() && !Stopped()) layers_.at->RunEndAtList();
  }
  StepFinal();
}

bool TCommsThread::LoadQmsl() {
  std::string path = params_.TempFiles + "/" + kQmslLibraryFile;
  Report(path);
  // A library that lacks one of the seven entry points cannot serve the run any better than a
  // missing one, so it is refused the same way.
  if (!layers_.qmsl || !layers_.qmsl->Load(path, qmsl_) || !qmsl_.Complete()) {
    if (layers_.qmsl && !layers_.qmsl->LoadError().empty()) Note(layers_.qmsl->LoadError());
    window_.MessageBox("Load library failed [QMSL_MSVC10R.dll]!", "ERROR", kMbOk | kMbIconWarning);
    return false;
  }
  return true;
}

void TCommsThread::StepStart() {
  if (params_.options.bBackup) layers_.nv->BuildNvBackupList();
  if (!Stopped()) Report("Start succssfully");
  lastReportText_.clear();
  // A stop the user asked for before this point still counts; only stale errors are cleared.
  if (errorCode_.load() != kStopRequestCode) errorCode_.store(0);
  layers_.ports->ResetForRun();
  SetGauge(0, 100);
  progressFactor_ = params_.allTotalFileSize == 0 ? 99.0f : 99.0f / static_cast<float>(params_.allTotalFileSize);
}

bool TCommsThread::StepGpioCheck() {
  std::string value;
  if (!layers_.at->SendAtQuery("AT+GPIOPRJT?\r\n\r\n", value)) {
    Raise("Fail to Read GPIO");
    layers_.ports->CloseAtPortOnce();
    EndRunAtOnce();
    return false;
  }
  if (value.find(params_.strGPIO) == std::string::npos) {
    Raise("GPIO is Not Macth");
    layers_.ports->CloseAtPortOnce();
    EndRunAtOnce();
    return false;
  }
  return true;
}

void TCommsThread::StepPlatformCheck() {
  Report("check platform start.");
  EnsureDiagOpen();
  int platform = layers_.at->QueryPlatform();
  if (platform == -1) {
    Raise("Could not get platform type.");
  } else if (platform == params_.PlatformName) {
    Report("check platform OK.");
  } else {
    Raise("Could not get platform type.");
    window_.MessageBox("Plantform type is not matched", "Warning", kMbOk);
  }
}

void TCommsThread::StepDiskMode() {
  const int pt = params_.projectType;
  bool due =
      params_.options.pcSuite || (project::SwitchesToDiskAfterAmss(pt) && AmssOnly()) || (!Stopped() && Variant());
  if (!due) return;
  std::string mode = project::DiskModeOf(pt);
  if (mode.empty()) return;
  std::string command = "AT+DISK=8,\"" + mode + "\"\r\n\r\n";
  std::string value;
  if (!layers_.at->SendAtQuery(command, value)) Raise("Fail to set from modem start");
}

bool TCommsThread::StepBackup() {
  auto& id = *layers_.identity;
  for (int attempt = 0; attempt < kBackupTries; ++attempt) {
    if (id.BackupIdentity()) break;
    Sleep(kBackupRetryMs);
  }
  Report("Backup OK");
  const bool blank = (ReadsImei() && IsBlankIdentityValue(id.Imei())) || IsBlankIdentityValue(id.Sn());
  if (!Stopped() && blank && RefuseBlankDevice()) return false;
  if (!Stopped()) {
    if (ReadsImei() && !id.ImeiRead()) {
      Raise("[Dload] Fail to Read IMEI");
    } else if (!id.SnRead()) {
      Raise("[Dload] Fail to Read SN");
    } else if (!id.TestInfoRead()) {
      Raise("[Dload] Fail to Read Testinf");
    }
  }
  if (!Stopped()) {
    std::string name = DeviceBackupFolderName(id.Sn(), id.ImeiRead(), id.Imei(), id.MeidRead(), id.Meid());
    deviceBackupFolder_ = params_.BackupFilePath + "/" + name;
    std::error_code ec;
    std::filesystem::create_directories(deviceBackupFolder_ + "/EFS", ec);
    if (ec || !std::filesystem::is_directory(deviceBackupFolder_ + "/EFS")) {
      Raise("Could not create folder!");
      EndRunAtOnce();
      return false;
    }
    Sleep(kBackupFolderSettleMs);
    UseDeviceBackupFolder(deviceBackupFolder_);
    // A blank device's backup saves nothing worth restoring: it must never take the place of
    // the backup a Re-update would need.
    if (!blank) window_.RememberDeviceBackupFolder(deviceBackupFolder_);
  }
  if (!Stopped()) id.WriteAtBackupFile();
  if (!Stopped()) {
    const int pt = params_.projectType;
    if (project::UsesAlternativeNvList(pt, params_.IsAlcatel)) {
      EnsureDiagOpen();
      layers_.nv->BackupNvToFileAlt();
    } else if (params_.PlatformType == 1 || params_.PlatformType == 2 || project::IsCdmaOnly(pt)) {
      EnsureDiagOpen();
      layers_.nv->BackupNvToFile();
    } else {
      QmslNvBackup();
    }
  }
  if (!Stopped()) Report("Backup succssfully");
  return true;
}

bool TCommsThread::RefuseBlankDevice() {
  // A wiped device after a failed run: backing it up now would save blanks, and a PASS would
  // delete nothing but leave the good backup orphaned. Only a Re-update puts it right.
  const std::string& earlier = params_.LastDeviceBackupFolder;
  std::error_code ec;
  if (earlier.empty() || !std::filesystem::is_regular_file(earlier + "/at.bak", ec)) return false;
  Raise("The device's identity is blank and the backup of an earlier failed run is in " + earlier +
        ": run Re-update");
  EndRunAtOnce();
  return true;
}

void TCommsThread::UseDeviceBackupFolder(const std::string& folder) {
  deviceBackupFolder_ = folder;
  atbakFile_ = folder + "/at.bak";
  bakFile_ = folder + "/nv.bak";
  layers_.identity->SetBackupFile(atbakFile_);
  layers_.nv->SetBackupFile(bakFile_);
}

void TCommsThread::AdoptResumedBackup() {
  // A Re-update makes no backup of its own: what the failed run saved is restored instead.
  const std::string& folder = params_.ResumeDeviceBackupFolder;
  std::error_code ec;
  if (folder.empty() || !std::filesystem::is_directory(folder, ec)) return;
  UseDeviceBackupFolder(folder);
}

bool TCommsThread::QmslConnect(QlibHandle& connection) {
  // The library opens the DIAG port itself; the worker's own handle must not hold it.
  if (layers_.ports->DiagOpen()) layers_.ports->CloseDiagPort("Warning-7");
  connection = qmsl_.connectServerWithWait(static_cast<unsigned>(params_.ComPort), 2000);
  if ((qmsl_.isPhoneConnected(connection) & 0xFF) == 0) {
    Raise("QUALCOMM-Fail to Connect UE!");
    return false;
  }
  return true;
}

void TCommsThread::QmslNvBackup() {
  std::string efsFolder = deviceBackupFolder_ + "/EFS";
  Report("QUALCOMM- " + efsFolder);
  QlibHandle connection = nullptr;
  QmslConnect(connection);
  if (!Stopped()) {
    layers_.nv->BackupNvQmsl(connection, efsFolder);
    qmsl_.disconnectServer(connection);
  }
}

void TCommsThread::StepBootloaderAndFastboot() {
  if (ResumeWithoutAtPort()) {
    // The failed run left the device in its boot loader, where the reboot command would send it.
    Report("Device without AT port: waiting for its boot loader");
  } else {
    // The reboot command needs the AT port even when no earlier step opened it.
    if (!layers_.ports->AtOpen()) layers_.ports->OpenAtPort();
    layers_.at->SendAtReboot("at+syscmd=sys_reboot bootloader\r\n\r\n");
    layers_.ports->CloseAtPort("Warning-2");
  }
  for (int i = 0; i < kBootLoaderSearchTries; ++i) {
    std::string path;
    if (window_.FindAdbInterface(0, path) == 0) {
      Report("Receive device Arrival after Set AT Command");
      break;
    }
    Sleep(kBootLoaderSearchMs);
  }
  Sleep(kBootLoaderSettleMs);
  window_.ClearDeviceFlags();
  layers_.fastboot->RunFastbootPass();
}

TCommsThread::ResetOutcome TCommsThread::StepReset() {
  if (Stopped()) return ResetOutcome::Skipped;
  const int pt = params_.projectType;
  bool runs = params_.options.bFastbootConfiguration || params_.options.pcSuite || project::AlwaysResets(pt) ||
              (project::SwitchesToDiskAfterAmss(pt) && AmssOnly()) || (AmssOnly() && Variant());
  if (!runs) return ResetOutcome::Skipped;

  int result = 0;
  if (params_.phone) {
    EnsureDiagOpen();
    result = layers_.diag->SendStreamReset();
  } else if (project::ResetsByPowerOff(pt)) {
    EnsureDiagOpen();
    result = layers_.diag->SendStreamPowerOff();
  }
  if (result != 0) {
    Raise("Fail to reset or power off phone");
    return ResetOutcome::ResetFailed;
  }
  Report("Reset or power off command......");
  layers_.ports->CloseDiagPort("Warning-1");
  layers_.ports->CloseAtPort("Warning-2");

  WaitForDeviceReturn();
  FindReturnedPorts();
  std::string diagText = window_.PortText();
  std::string atText = window_.SerialPortText();
  Report(diagText.empty() ? "Diagnostic commport0......empty" : diagText + " Diagnostic ready");
  Report(atText.empty() ? "Modem commport0......empty" : atText + " Modem ready");
  if (!(AmssOnly() && Variant())) {
    uint64_t interval = project::ReturnsQuicklyAfterReset(pt) ? kReopenShortMs : kReopenLongMs;
    ReopenWithRetries([this] { return layers_.ports->OpenDiagPort(); }, interval, diagText + " Initial Diagnostic0",
                      "ComPort0 timeout");
  }
  return ResetOutcome::Done;
}

void TCommsThread::WaitForDeviceReturn() {
  constexpr int kDeviceChangeTries = 15;
  constexpr int kDeviceArrivalTries = 60;
  constexpr uint64_t kDeviceEventPollMs = 1000;
  for (int i = 0; i < kDeviceChangeTries; ++i) {
    Sleep(kDeviceEventPollMs);
    if (window_.DeviceChangeSeen()) {
      Report("Receive device change after reset");
      break;
    }
  }
  for (int i = 0; i < kDeviceArrivalTries; ++i) {
    if (window_.DeviceArrivalSeen()) {
      Report("Receive device Arrival after reset");
      break;
    }
    Sleep(kDeviceEventPollMs);
  }
}

void TCommsThread::FindReturnedPorts() {
  constexpr uint64_t kModeSwitchSettleMs = 5000;
  constexpr int kPortSearchTries = 50;
  constexpr uint64_t kPortSearchRetryMs = 2000;
  std::string atText = window_.SerialPortText();
  if (window_.CheckDiagPortSame(params_.ComPort) && !atText.empty()) {
    Report("Port has not changed.");
    // A resumed run that began without an AT port learns its number now.
    if (params_.SerialComPort == 0) params_.SerialComPort = PortNumberOf(atText);
    return;
  }
  Report("Port has changed");
  Report("DoShiftDevice Start");
  window_.ShiftDevice1Click();
  Sleep(kModeSwitchSettleMs);
  Report("DoShiftDevice End");
  bool amssVariant = AmssOnly() && Variant();
  for (int attempt = 0; attempt < kPortSearchTries; ++attempt) {
    if (!layers_.at->FindComPort()) {
      window_.ShiftDevice1Click();
      Sleep(kPortSearchRetryMs);
      continue;
    }
    std::string diagText = window_.PortText();
    std::string modemText = window_.SerialPortText();
    if (amssVariant) {
      if (!modemText.empty()) break;
      continue;
    }
    if (!diagText.empty() && !modemText.empty()) break;
    window_.ShiftDevice1Click();
    Sleep(kPortSearchRetryMs);
  }
}

// A port of the returned device, tried until it opens: the run fails at the tenth try but the
// tries go on, so a slow device still gets its port; a stop ends them.
void TCommsThread::ReopenWithRetries(const std::function<bool()>& open, uint64_t intervalMs, const std::string& what,
                                     const char* timeoutText) {
  for (int attempt = 1; attempt <= kReopenTries; ++attempt) {
    Sleep(intervalMs);
    if (open()) {
      Report(what + "......ok");
      break;
    }
    ReportStatus(kStatusWaiting, what + "......wait", kMsgPlain);
    if (ErrorCode() == kStopRequestCode) {
      ReportStatus(kStatusFailed, "COMM Closed", kMsgFailure);
      break;
    }
    if (attempt == kReopenRaiseAtTry) Raise(timeoutText);
  }
}

bool TCommsThread::StepRestore() {
  const int pt = params_.projectType;
  if (params_.options.bBackupUserData && !Stopped()) layers_.efs->RestoreUserData(deviceBackupFolder_);
  if (params_.options.bRestore && !Stopped()) {
    if (project::UsesAlternativeNvList(pt, params_.IsAlcatel)) {
      layers_.nv->RestoreNvFromFileAlt();
    } else if (project::IsCdmaOnly(pt)) {
      layers_.nv->RestoreNvFromFile();
    }
  }
  if (!RunParameters::Or(params_.NVItemList).empty() && !Stopped()) layers_.nv->WriteNvConfig();

  ReopenWithRetries([this] { return layers_.ports->ReopenAtPortQuietly(); }, kReopenShortMs,
                    window_.SerialPortText() + " Initial Modem0", "SerialPort0 timeout");

  if (params_.options.bRestore && !Stopped()) {
    std::string value;
    bool accepted = false;
    for (int attempt = 0; attempt < kFunctionResetTries; ++attempt) {
      if (layers_.at->SendAtQuery("AT+CFUN=5\r\n\r\n", value)) {
        accepted = true;
        break;
      }
      Sleep(kFunctionResetRetryMs);
    }
    if (!accepted) {
      Raise("Fail to Send Command at+cfun=5!");
      layers_.ports->CloseAtPortOnce();
      EndRunAtOnce();
      return false;
    }
    layers_.ports->CloseDiagPort("Warning-7");
    if (!Stopped()) {
      QlibHandle connection = nullptr;
      QmslConnect(connection);
      if (!Stopped()) {
        layers_.nv->RestoreNvQmsl(connection);
        qmsl_.disconnectServer(connection);
        if (layers_.nv->HasQmslStore()) layers_.nv->FreeQmslStore();
      }
    }
    layers_.at->SendAtQuery("AT+CFUN=1\r\n\r\n", value);
    layers_.identity->RestoreIdentity();
  }
  return true;
}

void TCommsThread::StepReconnect() {
  if (project::ReconnectsAtEnd(params_.projectType, AmssOnly())) layers_.diag->ResetAndReconnect();
}

void TCommsThread::StepFinal() {
  auto& ports = *layers_.ports;
  if (ports.DiagOpen()) {
    ports.CloseDiagPort("Warning-7");
    if (ErrorCode() == kStopRequestCode) ReportStatus(kStatusFailed, "COMM Closed", kMsgFailure);
  }
  if (ports.AtOpen()) {
    if (project::ShowsDeviceVersion(params_.projectType)) layers_.at->ShowDeviceVersion();
    ports.CloseAtPort("Warning-9");
  }
  if (params_.ExecuteResetModem && !Stopped()) window_.RunResetModem([this](const std::string& text) { ReportError(text); });
  if (!notRestored_.empty() && !Stopped()) {
    // The verdict names what the device did not take back; the device backup stays for it.
    std::string items;
    for (const std::string& item : notRestored_) items += (items.empty() ? "" : ", ") + item;
    std::string kept = deviceBackupFolder_.empty() ? "" : "; their values are kept in " + deviceBackupFolder_;
    Raise("Items not restored: " + items + kept);
  }
  if (Stopped()) return;

  SetGauge(100, 100);
  ReportStatus(kStatusStep, "PASS", kMsgSuccess);
  std::error_code ec;
  if ((params_.options.bRestore || params_.options.bBackupUserData) && !deviceBackupFolder_.empty()) {
    std::filesystem::remove_all(deviceBackupFolder_, ec);
  }
  if (!params_.ExecutableDir.empty()) {
    std::filesystem::remove(params_.ExecutableDir + "/" + kAdbWinUsbApiFile, ec);
  }
}

}  // namespace upwend
