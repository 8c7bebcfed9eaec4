#include "app/shell/main_window.h"

#include <fmt/format.h>

#include <ctime>

#include "app/config/payload_extraction.h"
#include "app/guide/guide_choice.h"
#include "app/guide/guide_texts.h"
#include "app/shell/dialogs.h"
#include "app/shell/startup_error.h"
#include "app/shell/variant_setup.h"
#include "app/shell/variant_texts.h"
#include "engine/worker/project_rules.h"
#include "platform/clock.h"
#include "platform/file_io.h"
#include "platform/local_time.h"
#include "platform/named_mutex.h"
#include "platform/payload_archive.h"
#include "platform/port_names.h"
#include "platform/processes.h"
#include "platform/settings_store.h"
#include "platform/ui_thread.h"

namespace upwend {

namespace {

constexpr const char* kWarning = "Warning";
constexpr uint64_t kSettleMs = 100;
constexpr const char* kNotReadyJapanese = "準備中";

std::string TodayShortDate() {
  std::tm local = LocalTime(std::time(nullptr));
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y/%m/%d", &local);
  return buf;
}

}  // namespace

int SavedPortNumber(const std::string& portField) {
  constexpr size_t kSavedDigits = 2;
  size_t com = portField.find("COM");
  if (com == std::string::npos) return 1;
  auto number = PortFieldDigits(std::string_view(portField).substr(com + 3), kSavedDigits, PortDigits::kAll);
  return number ? *number : 1;
}

TVorezUzeUiForm::TVorezUzeUiForm(FormServices services) : services_(std::move(services)) {}

TVorezUzeUiForm::~TVorezUzeUiForm() { Destroy(); }

void TVorezUzeUiForm::Diag(const std::string& text) const {
  if (services_.diag) services_.diag(text);
}

void TVorezUzeUiForm::AskQuit() {
  quitRequested_ = true;
  services_.ui.Quit(kExitRefused);
}

void TVorezUzeUiForm::ChooseWorkingFolder() {
  workingFolder_ = tempFolder_ + "TempFiles";
  // The working folder belongs to the copy that runs from it. A second copy that starts while
  // the first runs (it is about to be told so and to quit) works in a folder of its own, so
  // neither its files nor its clean-up at exit touch the first copy's folder.
  bool taken = false;
  workingFolderLock_ = NamedMutex::Create("working folder " + workingFolder_, taken, services_.paths.runtimeDir);
  if (taken) {
    workingFolderLock_.reset();
    workingFolder_ = fmt::format("{}TempFiles_{}", tempFolder_, CurrentProcessId());
    Diag(fmt::format("another copy uses {}TempFiles; working in {}", tempFolder_, workingFolder_));
  }
}

void TVorezUzeUiForm::Create() {
  created_ = true;
  PrepareFolders();
  WriteConfigFile();
  SetUpWindow();
  if (config_.TwoPackages()) {
    secondWorkingFolder_ = tempFolder_ + "TempFiles2";
    if (auto r = CreateFolderPath(secondWorkingFolder_); !r) throw StartupError(r.error());
    ExtractSecondPackage();
    CheckPackagePair(secondWorkingFolder_ + "/Config.ini");
  }
  bool watcherAllowed = true;
  InstanceCheckAndGuide(watcherAllowed);
  if (watcherAllowed && project::WatchesDevices(config_.projectType)) StartDeviceWatch();
  state_.Timer1Enabled = project::HasStartTimer(config_.projectType, config_.VariantSet());
  ApplyLayoutAdjustments();
  if (config_.options.bSwitchFastbootMode) StartXloadModeSwitch();
  deviceReady_ = false;
}

// The temporary folder, the working folder in it and today's device backup folder.
void TVorezUzeUiForm::PrepareFolders() {
  tempFolder_ = services_.paths.tempDir;
  if (tempFolder_.empty()) {
    services_.dialogs.MessageBox(kMsgNoTempFolder, kWarning, kMbOk);
    AskQuit();
  } else {
    if (tempFolder_.back() != '/') tempFolder_ += '/';
    // The libraries the tool loads are extracted here: nobody else may plant or swap files in
    // it, nor point it somewhere else.
    if (auto r = EnsurePrivateFolder(tempFolder_); !r) throw StartupError("The temporary folder " + r.error());
  }

  std::string date = services_.shortDate ? services_.shortDate() : TodayShortDate();
  for (char& ch : date) {
    if (ch == '/') ch = '_';
  }
  ChooseWorkingFolder();
  // Device backups are the only copy of what a device lost until its restore: they live in the
  // user's persistent state, private, where a reboot that empties the temporary folder leaves them.
  std::string stateFolder = services_.paths.stateDir.empty() ? tempFolder_ : services_.paths.stateDir;
  if (auto r = EnsurePrivateFolder(stateFolder); !r) throw StartupError("The device backup folder " + r.error());
  if (stateFolder.back() != '/') stateFolder += '/';
  backupFolder_ = stateFolder + "Backup/" + date;
  for (const std::string& folder : {workingFolder_, backupFolder_}) {
    if (auto r = CreateFolderPath(folder); !r) throw StartupError(r.error());
  }
  services_.clock.SleepMs(kSettleMs);
}

void TVorezUzeUiForm::WriteConfigFile() {
  ExtractionContext ctx{services_.payload, config_, workingFolder_, services_.dialogs, services_.clock,
                        [this] { AskQuit(); }, "", services_.diag, {}, {}};
  WriteResource(ctx, "ConfigFile", "INI", workingFolder_ + "/Config.ini");
  filesWritten_.insert(filesWritten_.end(), ctx.written.begin(), ctx.written.end());
}

// The window as the configuration asks for it, with the payload written and the ports found.
void TVorezUzeUiForm::SetUpWindow() {
  LoadConfig(workingFolder_ + "/Config.ini");
  state_.width = kWindowWidth;
  state_.height = kWindowHeight;
  state_.caption = config_.caption;
  state_.Label_title.text = config_.caption;
  state_.compactLayout = project::UsesCompactWindow(config_.projectType);
  slots_ = {};
  slots_[0].boundToControls = true;
  slots_[0].gauge = state_.compactLayout ? "CGauge1" : "ProgressBar";
  diagPortBusy_.clear();
  atPortBusy_.clear();
  state_.StopButton.enabled = false;
  ExtractPayload();
  state_.ImageFolderEdit = workingFolder_;
  DiscoverPorts();
  RestoreSettings();
  state_.StartButton.enabled = false;
  state_.StopButton.enabled = false;
  RefreshStartPictures();
  state_.StatusBar = kWelcomeText;
  imageFolder_ = state_.ImageFolderEdit;
  BuildSettingsSummary();
  if (project::UsesJapaneseLayout(config_.projectType)) {
    state_.Label_status = LabelState{kNotReadyJapanese, true, true, kJapaneseFont, kShiftJisCharset};
  } else {
    state_.Label_status.text = "Not Ready";
  }
}

void TVorezUzeUiForm::InstanceCheckAndGuide(bool& watcherAllowed) {
  const int pt = config_.projectType;
  auto showTitle = [&] {
    state_.applicationTitle = config_.caption;
    state_.Label_title.visible = true;
    state_.Label_about1.visible = true;
    state_.Label_about.visible = true;
    state_.Image_warning.visible = true;
    state_.Label_warning.visible = true;
  };
  auto guide = [&](const char* name) {
    if (RunGuide(name)) return true;
    AskQuit();
    watcherAllowed = false;
    return false;
  };
  if (project::IsOperatorBuild(pt, config_.VariantSet())) {
    for (const char* name : {"Mutex_EM_0_Modem", "Tovrix3G_Pellwave_ShowModem", "VXTUSBModem_Mutex"}) {
      bool existed = false;
      auto mutex = NamedMutex::Create(name, existed, services_.paths.runtimeDir);
      if (existed) {
        services_.dialogs.MessageBox(kMsgUtilityRunningJapanese, kWarning, kMbOk);
        AskQuit();
      } else if (mutex) {
        instanceMutexes_.push_back(std::move(mutex));
      }
    }
    state_.japaneseLayout = true;
    guide("TFormGuide2");
    return;
  }
  if (project::UsesGuide(pt)) {
    state_.Label_title.visible = state_.Label_about1.visible = state_.Label_about.visible = false;
    state_.Label_warning.visible = state_.Image_warning.visible = false;
    guide("TFormGuide");
    return;
  }
  if (project::UsesGuide1(pt)) {
    if (guide("TFormGuide1")) showTitle();
    return;
  }
  if (project::UsesGuide3(pt)) {
    if (guide("TFormGuide3")) PressStartAfterGuide();
    return;
  }
  // The operator builds have returned above; the retail product's licence comes before the
  // instance check.
  if (project::UsesGuide2(pt, config_.VariantSet()) && !guide("TFormGuide2")) return;
  if (CheckOtherInstances()) {
    services_.dialogs.MessageBox(kMsgOtherInstance, kWarning, kMbOk);
    AskQuit();
    watcherAllowed = false;
  }
  showTitle();
}

bool TVorezUzeUiForm::CheckOtherInstances() {
  for (const char* name : {"Mutex_EM_0_Modem", "Tovrix3G_Pellwave_ShowModem", "VXTUSBModem_Mutex", "inno setup tovrix sw"}) {
    bool existed = false;
    auto mutex = NamedMutex::Create(name, existed, services_.paths.runtimeDir);
    if (existed) return true;
    if (mutex) {
      instanceMutexes_.push_back(std::move(mutex));
    } else {
      Diag(fmt::format("cannot create the mutex {}", name));
    }
  }
  return false;
}

void TVorezUzeUiForm::LoadConfig(const std::string& path) { upwend::LoadConfig(config_, path, services_.dialogs); }

void TVorezUzeUiForm::ClearDownloadOptions() { upwend::ClearDownloadOptions(config_); }

void TVorezUzeUiForm::CheckPackagePair(const std::string& path) {
  if (!upwend::CheckPackagePair(config_, path, services_.dialogs)) AskQuit();
}

void TVorezUzeUiForm::BuildSettingsSummary() {
  state_.settingsSummary.text = BuildSettingsSummaryText(config_);
  VerifyImageFolder(imageFolder_);
}

void TVorezUzeUiForm::ExtractPayload() {
  ExtractionContext ctx{services_.payload, config_, workingFolder_, services_.dialogs, services_.clock,
                        [this] { AskQuit(); }, services_.executableFolder, services_.diag, {}, {}};
  try {
    upwend::ExtractPayload(ctx);
  } catch (...) {
    filesWritten_.insert(filesWritten_.end(), ctx.written.begin(), ctx.written.end());
    throw;
  }
  filesWritten_.insert(filesWritten_.end(), ctx.written.begin(), ctx.written.end());
  helperFolder_ = ctx.helperFolder;
}

void TVorezUzeUiForm::ExtractSecondPackage() {
  ExtractionContext ctx{services_.payload, config_, secondWorkingFolder_, services_.dialogs, services_.clock,
                        [this] { AskQuit(); }, services_.executableFolder, services_.diag, {}, {}};
  upwend::ExtractSecondPackage(ctx);
  filesWritten_.insert(filesWritten_.end(), ctx.written.begin(), ctx.written.end());
}

void TVorezUzeUiForm::RestoreSettings() {
  auto key = OpenSettingsKey(RegistryRoot::CurrentUser, kSettingsKeyPath, true, services_.paths.configDir);
  if (!key) {
    Diag("the settings store cannot be opened: saved settings are not restored");
    return;
  }
  std::string status;
  if (auto s = key->ReadString("DownloadStatus")) {
    status = *s;
  } else {
    key->WriteString("DownloadStatus", "");
  }
  state_.Reupdate1.visible = !(status.empty() || status == "Start succssfully" || status == "PASS");
  key->WriteString(SettingsKey::kDefaultValue, "temp");
  auto restorePort = [&](const char* value, ComboBoxState& box) {
    int64_t port = 1;
    if (!key->ValueExists(value)) {
      key->WriteInteger(value, 1);
    } else if (auto n = key->ReadInteger(value)) {
      port = *n;
    }
    box.SelectOrFirst(fmt::format("COM{}", port));
  };
  restorePort("COMM Port", state_.PortCBox);
  restorePort("SerialCOMM Port", state_.SerialPortCBox);
}

void TVorezUzeUiForm::SaveSettings() {
  auto key = OpenSettingsKey(RegistryRoot::CurrentUser, kSettingsKeyPath, true, services_.paths.configDir);
  if (!key) {
    Diag("the settings store cannot be opened: settings are not saved");
    return;
  }
  key->WriteString("Image File Folder", imageFolder_);
  key->WriteInteger("COMM Port", SavedPortNumber(state_.PortCBox.text));
  key->WriteInteger("SerialCOMM Port", SavedPortNumber(state_.SerialPortCBox.text));
}

void TVorezUzeUiForm::Destroy() {
  if (destroyed_ || !created_) return;
  destroyed_ = true;
  for (WorkerSlot& slot : slots_) {
    if (slot.worker) slot.worker->RequestStop();
  }
  SaveSettings();
  if (!workingFolder_.empty()) DeleteFolderTree(workingFolder_);
  // Whether start-up made the second working folder, not what the configuration says now: the
  // switch to the second package loads that package's own file.
  if (!secondWorkingFolder_.empty()) DeleteFolderTree(secondWorkingFolder_);
  workingFolderLock_.reset();
}

// Hook points: the parts of the shell that fill them in come later.

void TVorezUzeUiForm::DiscoverPorts() { Diag("port discovery is not built yet: no ports listed"); }

void TVorezUzeUiForm::VerifyImageFolder(const std::string& folder) {
  const std::string& backup = resuming_ && !resumeFolder_.empty() ? resumeFolder_ : backupFolder_;
  VerificationContext ctx{config_, workingFolder_, backup, resuming_, services_.dialogs, config_.caption};
  imageSet_ = upwend::VerifyImageFolder(ctx, folder, state_.lvFileList);
  state_.imageCheckFailed = imageSet_.failed;
}

void TVorezUzeUiForm::ImageFolderBrowseButtonClick() {
  auto chosen = services_.dialogs.ChooseFolder(kBrowseCaption, imageFolder_);
  if (!chosen) return;
  std::string folder = *chosen;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  state_.lvFileList.clear();
  state_.ImageFolderEdit = folder;
  imageFolder_ = folder;
  VerifyImageFolder(imageFolder_);
}

void TVorezUzeUiForm::StartDeviceWatch() { Diag("the device watcher is not built yet: not started"); }

void TVorezUzeUiForm::RefreshStartPictures() {
  state_.startPicture = state_.StartButton.enabled ? StartPicture::Normal : StartPicture::Disabled;
  if (state_.CloseButton.enabled) state_.finishPicture = StartPicture::Normal;
}

bool TVorezUzeUiForm::RunGuide(const std::string& guideName) {
  GuideEnvironment env;
  env.ask = [this](const QuitQuestion& question) {
    return services_.dialogs.MessageBox(question.text, question.caption, kMbYesNo) == kIdYes;
  };
  env.portCheck = [this] { return GuidePortCheck(); };
  auto wizard = MakeGuide(GuideKindNamed(guideName), config_, std::move(env));
  if (!wizard) return true;
  return services_.dialogs.ShowGuide(*wizard) == kGuideOk;
}

bool TVorezUzeUiForm::GuidePortCheck() {
  state_.PortCBox = {};
  state_.SerialPortCBox = {};
  DiscoverPorts();
  return !state_.PortCBox.items.empty() || !state_.SerialPortCBox.items.empty();
}

void TVorezUzeUiForm::PressStartAfterGuide() { Diag("the start-up form has no run control: Start is not pressed"); }

void TVorezUzeUiForm::ApplyLayoutAdjustments() {
  state_.japaneseLayout = state_.japaneseLayout || config_.layout == LayoutLanguage::Japanese;
  ApplyVariantSetup(state_, config_);
}

void TVorezUzeUiForm::StartXloadModeSwitch() { Diag("the xload mode switch is not built yet: not started"); }

}  // namespace upwend
