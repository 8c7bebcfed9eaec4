#pragma once
// TVorezUzeUiForm: the application shell behind the main window. It owns the configuration, the
// window state, the folders, the worker slots and the settings, and runs start-up (Create) and
// the clean-up at the end (Destroy). Port discovery, image verification, the device watcher and
// the guides are reached through the virtual hook points below, which the later parts of the
// shell fill in; until then they do nothing and say so in the diagnostic output.
#include <array>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/config/configuration.h"
#include "app/images/image_verification.h"
#include "app/shell/window_state.h"
#include "platform/paths.h"

namespace upwend {

class Clock;
class Dialogs;
class NamedMutex;
class PayloadArchive;
class UiThread;

// Exit codes of the program: a normal end, an error that ended start-up, and a quit that
// start-up asked for (another copy runs, a copy failed, a guide was not confirmed).
constexpr int kExitOk = 0;
constexpr int kExitStartupError = 1;
constexpr int kExitRefused = 2;

inline constexpr const char* kSettingsKeyPath = "\\Software\\Hovrel7\\Upwend_QCOMM";
inline constexpr const char* kMsgOtherInstance = "upgrading is running,please exit the upgrade tool!";
inline constexpr const char* kMsgNoTempFolder = "Could not get dir path";
inline constexpr const char* kWelcomeText = "Welcome to Upwend_QCOMM!!";

// A running update worker, as far as the window needs it at the end: the stop request.
class SlotWorker {
public:
  virtual ~SlotWorker() = default;
  // Writes the stop code 210 into the worker's error code.
  virtual void RequestStop() = 0;
};

struct WorkerSlot {
  std::shared_ptr<SlotWorker> worker;
  bool boundToControls = false;  // slot 0: port lists, gauge, Start and Stop
  std::string gauge;             // the bound progress gauge: "ProgressBar", or "CGauge1" (compact layout)
};

struct FormServices {
  Clock& clock;
  UiThread& ui;
  Dialogs& dialogs;
  const PayloadArchive& payload;
  ToolPaths paths;
  std::string executableFolder;                  // ends with "/"; empty: none
  std::function<void(const std::string&)> diag;  // diagnostic lines; may be empty
  std::function<std::string()> shortDate;        // today in the short date format; empty: yyyy/MM/dd
};

class TVorezUzeUiForm {
public:
  static constexpr int kWorkerSlots = 8;
  static constexpr int kWindowWidth = 513;
  static constexpr int kWindowHeight = 343;

  explicit TVorezUzeUiForm(FormServices services);
  virtual ~TVorezUzeUiForm();
  TVorezUzeUiForm(const TVorezUzeUiForm&) = delete;
  TVorezUzeUiForm& operator=(const TVorezUzeUiForm&) = delete;

  // Main window construction, in the tool's fixed order. Throws StartupError for an error that
  // ends start-up; Destroy still cleans up after it.
  void Create();
  // Window destruction: stop requests to the workers, the settings saved, the working folders
  // deleted. Runs once.
  void Destroy();

  void LoadConfig(const std::string& path);
  void ClearDownloadOptions();
  void CheckPackagePair(const std::string& path);
  void BuildSettingsSummary();
  void ExtractPayload();
  void ExtractSecondPackage();
  // Creates the connection utility's mutexes in turn; true as soon as one already existed.
  bool CheckOtherInstances();
  // Posts the quit request; construction goes on, the program ends when the loop sees it.
  void AskQuit();

  // Hook points for the parts of the shell built later.
  virtual void DiscoverPorts();
  virtual void VerifyImageFolder(const std::string& folder);
  virtual void StartDeviceWatch();
  virtual void RefreshStartPictures();
  // Shows the guide window `guideName` ("TFormGuide" ... "TFormGuide3") with this build's texts
  // through the Dialogs; true when it closed with OK.
  virtual bool RunGuide(const std::string& guideName);
  // TFormGuide3's Start: empties the DIAG and AT port lists and scans; true when one of the
  // device's ports was found.
  bool GuidePortCheck();
  // Project type 41 presses Start as soon as its guide is finished.
  virtual void PressStartAfterGuide();
  virtual void ApplyLayoutAdjustments();
  virtual void StartXloadModeSwitch();

  // Browse: the folder chooser; a confirmed folder becomes the image folder and is verified.
  void ImageFolderBrowseButtonClick();
  void ImageFolderEditClick() { ImageFolderBrowseButtonClick(); }
  // Set by the run control while a re-update runs: the backup files are then looked up in the
  // backup folder instead of the image folder.
  // A Re-update takes its backup files from the device backup folder of the failed run (when it
  // is known), else from the backup folder.
  void SetResuming(bool on, std::string deviceBackupFolder = {}) {
    resuming_ = on;
    resumeFolder_ = std::move(deviceBackupFolder);
  }
  bool resuming() const { return resuming_; }
  // What the last verification collected; copy it into the worker with CopyImageSetInto.
  const ImageSet& imageSet() const { return imageSet_; }

  WindowState& state() { return state_; }
  const WindowState& state() const { return state_; }
  ProductConfig& config() { return config_; }
  const ProductConfig& config() const { return config_; }
  const std::string& workingFolder() const { return workingFolder_; }
  const std::string& secondWorkingFolder() const { return secondWorkingFolder_; }
  const std::string& backupFolder() const { return backupFolder_; }
  const std::string& imageFolder() const { return imageFolder_; }
  const std::string& helperFolder() const { return helperFolder_; }
  // The folder of the running executable (ends with "/"; empty when unknown).
  const std::string& executableFolder() const { return services_.executableFolder; }
  const std::string& settingsSummary() const { return state_.settingsSummary.text; }
  const std::vector<std::string>& filesWritten() const { return filesWritten_; }
  bool quitRequested() const { return quitRequested_; }
  bool deviceReady() const { return deviceReady_; }
  std::array<WorkerSlot, kWorkerSlots>& slots() { return slots_; }

protected:
  void Diag(const std::string& text) const;
  // Makes `folder` the image folder (the switch to a build's second package).
  void SetImageFolder(const std::string& folder) { imageFolder_ = folder; }

private:
  void PrepareFolders();
  void ChooseWorkingFolder();
  void WriteConfigFile();
  void SetUpWindow();
  void RestoreSettings();
  void SaveSettings();
  void InstanceCheckAndGuide(bool& watcherAllowed);

  FormServices services_;
  WindowState state_;
  ProductConfig config_;
  std::string tempFolder_;
  std::string workingFolder_;
  std::string secondWorkingFolder_;
  std::string backupFolder_;
  std::string imageFolder_;
  std::string helperFolder_;
  std::vector<std::string> filesWritten_;
  ImageSet imageSet_;
  std::string resumeFolder_;
  bool resuming_ = false;
  std::array<WorkerSlot, kWorkerSlots> slots_;
  std::set<int> diagPortBusy_;
  std::set<int> atPortBusy_;
  bool runLogOpen_ = false;
  bool quitRequested_ = false;
  bool deviceReady_ = false;
  bool created_ = false;
  bool destroyed_ = false;
  std::unique_ptr<NamedMutex> workingFolderLock_;
  std::vector<std::unique_ptr<NamedMutex>> instanceMutexes_;
};

// The port number saved for a port field: the two characters after "COM" ("COM123" -> 12,
// "COM5" -> 5); 1 when the field is empty or holds no number there.
int SavedPortNumber(const std::string& portField);

}  // namespace upwend
