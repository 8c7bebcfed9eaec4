#pragma once
// The main window's side of an update run: Start and Re-update with their checks, the creation
// and start of the update worker in slot 0, Stop, the close query, the report handlers that turn
// the worker's reports into run log lines, status colours, the saved milestone and the result,
// and the finish handler.
#include <atomic>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "app/run/run_log.h"
#include "engine/worker/run_parameters.h"
#include "engine/worker/worker_context.h"
#include "engine/worker/worker_layers.h"

namespace upwend {

class Clock;
class Dialogs;
class SerialPort;
class SettingsKey;
class TVorezUzeUiForm;
class UiThread;

// The status bar panel's state, which chooses its text colour.
enum StatusBarState : int {
  kStatusBarPlain = 0,     // black
  kStatusBarFailure = 1,   // red
  kStatusBarStepDone = 2,  // black: a step was done
  kStatusBarSuccess = 3,   // green
};

// A worker as the run control drives it.
class RunWorker {
public:
  virtual ~RunWorker() = default;
  // Starts the thread; onTerminate runs on the worker's thread once its body has returned.
  virtual void Resume(std::function<void()> onTerminate) = 0;
  virtual void RequestStop() = 0;
  virtual void Join() = 0;
};

// Creates a worker for a run; `link` is the worker's view of the window.
using RunWorkerFactory = std::function<std::shared_ptr<RunWorker>(RunParameters params, WindowLink& link)>;

// What other parts of the shell provide to a run. Every member may be empty.
struct RunHooks {
  std::function<void()> discoverPorts;   // CheckForComPorts
  // CheckForComPorts from another thread: searches on the calling thread and returns the step
  // that shows the result, for the UI thread.
  std::function<std::function<void()>()> findComPorts;
  std::function<void()> endDeviceWatch;  // ends the device watcher thread
  std::function<bool()> probeHandleOpen;
  std::function<bool()> closeProbeHandle;
  std::function<bool()> deviceVersionIsCurrent;
  std::function<bool()> selectPackageForDevice;
  std::function<int(int index, std::string& path)> findAdbInterface;
  std::function<bool(int portNumber)> checkDiagPortSame;
  std::function<bool()> diskModeSwitched;
  std::function<std::string(SerialPort* atPort)> queryDeviceVersion;  // AT+CGMR on the worker's port
  std::function<void()> shiftDevice;                                   // the mode-switch program
  // Runs on the worker's thread (it waits up to 24 s); raises through the worker.
  std::function<bool(const std::function<void(const std::string&)>& raise)> runResetModem;
  // Where the device backup of the last run that made one lives (kept across runs).
  std::function<void(const std::string& folder)> rememberDeviceBackupFolder;
  std::function<std::string()> lastDeviceBackupFolder;
  // Runs on the UI thread when a run's worker has finished; `passed` after "PASS".
  std::function<void(bool passed)> runFinished;
  // Every line written to the log view, for the headless front end.
  std::function<void(const std::string& line, int type)> logLine;
  // The gauge of slot 0 changed.
  std::function<void(uint64_t position, uint64_t maximum)> gaugeChanged;
  // Bytes sent to the device so far in the run (worker's thread; must not touch window state).
  std::function<void(uint64_t total)> sentBytes;
  // Lets pending window messages run (the result page shows before the next step).
  std::function<void()> processEvents;
};

enum class LogViewColour { Window, Red, Lime };

class RunControl {
public:
  static constexpr int kSlots = 8;
  static constexpr int kMaxPortNumber = 998;

  RunControl(TVorezUzeUiForm& form, Dialogs& dialogs, UiThread& ui, Clock& clock, std::string logFolder,
             std::function<std::unique_ptr<SettingsKey>()> openSettings, RunWorkerFactory factory, RunHooks hooks);
  ~RunControl();

  void StartClick();
  void Reupdate1Click();
  void StopClick() { StopRun(0); }
  bool FormCloseQuery();
  // The window closes after the user confirmed it elsewhere: what the close query does on Yes.
  void NoteCloseConfirmed();

  bool StartRun(int slot);
  bool CheckImagesAndPorts(int slot);
  bool CheckPorts(int slot);
  void PrepareRun(int slot);
  void CreateWorker(int slot);
  void LaunchWorker(int slot);
  void StopRun(int slot);

  // Report handlers; called on the worker's thread, carried out on the UI thread.
  void OnWorkerReport(int status, const std::string& text, int index, int type);
  void OnWorkerError(const std::string& text, int index);
  void OnWorkerProgress(uint64_t position, int index, uint64_t maximum);
  void OnWorkerFinished(int slot);

  // `type` is the line's MESSAGE_TYPE (kMsgPlain .. kMsgLineOnly).
  void LogMessage(const std::string& text, int type);
  // A line without date and time, into the run log file while it is open (UI thread).
  void AppendRunLog(const std::string& text);
  void OpenRunLog();
  void CloseRunLog();

  // The window procedure's device-change flags (set on the UI thread, polled by the worker).
  void NoteDeviceChange() { deviceChangeSeen_ = true; }
  void NoteDeviceArrival() { deviceArrivalSeen_ = true; }
  bool DeviceChangeSeen() const { return deviceChangeSeen_; }
  bool DeviceArrivalSeen() const { return deviceArrivalSeen_; }
  void ClearDeviceFlags() {
    deviceChangeSeen_ = false;
    deviceArrivalSeen_ = false;
  }

  bool running() const;
  bool backupDone() const { return backupDone_; }
  bool resuming() const { return resume_; }
  int statusState() const { return statusState_; }
  LogViewColour logViewColour() const { return logViewColour_; }
  const RunLog& runLog() const { return runLog_; }
  RunLog& runLog() { return runLog_; }
  uint64_t gaugePosition() const { return gaugePosition_; }
  uint64_t gaugeMaximum() const { return gaugeMaximum_; }
  bool statusLabelRed() const { return statusRed_; }
  bool diagPortBusy(int port) const { return diagBusy_.count(port) > 0; }
  bool atPortBusy(int port) const { return atBusy_.count(port) > 0; }
  const RunHooks& hooks() const { return hooks_; }
  // The folder that stands for "C:\Program Files\": types 27 and 28 log into a folder below it.
  void SetProgramsFolder(std::string folder) { programsFolder_ = std::move(folder); }
  TVorezUzeUiForm& form() { return form_; }
  Dialogs& dialogs() { return dialogs_; }

private:
  class Link;
  struct Slot {
    std::shared_ptr<RunWorker> worker;
    int diagPort = 0;
    int appPort = 0;
    int atPort = 0;
  };

  void RefuseStart();
  // A Re-update whose device shows only its fastboot interface, with the failed run's device
  // backup present: the run goes on without serial ports. True when it may.
  bool ResumeInBootLoader(int slot);
  void ShowBusy(bool busy);
  void ShowFinishedPictures();
  // The guided layout's result page, and type 41's completion or failure panel.
  void ShowResultPage(bool success);
  void ShowCompactResult(bool success);
  // StartRun(0) and the window's answer to it: the running status, or Start back on.
  void StartAndShow();
  void ReleaseProbeHandle(const char* suffix);
  void ShowStartedPictures();
  bool VersionGate();
  void EndBeforeStart();
  RunParameters BuildRunParameters(int slot) const;
  void WriteMilestone(const std::string& text);
  std::string ReadMilestone();
  void FailureAdvice();

  TVorezUzeUiForm& form_;
  Dialogs& dialogs_;
  UiThread& ui_;
  Clock& clock_;
  RunLog runLog_;
  std::string programsFolder_;
  std::function<std::unique_ptr<SettingsKey>()> openSettings_;
  RunWorkerFactory factory_;
  RunHooks hooks_;
  std::unique_ptr<Link> link_;
  Slot slots_[kSlots];
  std::set<int> diagBusy_;
  std::set<int> atBusy_;
  bool backupDone_ = false;
  bool resume_ = false;
  bool passed_ = false;
  bool statusRed_ = false;
  int statusState_ = kStatusBarPlain;
  LogViewColour logViewColour_ = LogViewColour::Window;
  uint64_t gaugePosition_ = 0;
  uint64_t gaugeMaximum_ = 100;
  std::atomic<bool> deviceChangeSeen_{false};
  std::atomic<bool> deviceArrivalSeen_{false};
};

// The port number in a port field: 3 digits after "COM" when the field is 6 characters long,
// else up to 2; 0 when there is no number.
int PortNumberOfField(const std::string& field);

}  // namespace upwend
