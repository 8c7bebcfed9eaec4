#pragma once
// The whole application shell: the start-up form with run control, the device backend and the
// update worker of the engine. Port discovery and the device watcher plug in through the form's
// hooks; the front ends (headless now, the Qt window later) drive it and read its state.
#include <functional>
#include <memory>
#include <string>

#include "app/discovery/device_check.h"
#include "app/helpers/helper_programs.h"
#include "app/shell/main_window.h"
#include "app/run/run_control.h"
#include "engine/worker/worker_assembly.h"

namespace upwend {

class DeviceBackend;
class DeviceWatcher;
class HelperPrograms;
class UsbBootPort;
class XloadSwitch;
class PortDiscovery;
struct DeviceEvent;

struct ShellOptions {
  std::string devices;  // "sysfs" or "sim:DIR"; empty: UPWEND_DEVICES, else sysfs
  // What the headless front end shows of a run.
  std::function<void(const std::string& line, int type)> logLine;
  std::function<void(uint64_t position, uint64_t maximum)> gaugeChanged;
  std::function<void(uint64_t total)> sentBytes;
  std::function<void(bool passed)> runFinished;
  // Start pressed by project type 41's guide was refused (a front end without a window ends then).
  std::function<void()> guideStartRefused;
  // Each new text of the status label that the device check shows ("Ready", "Not Ready").
  std::function<void(const std::string& text)> statusChanged;
  // Lets pending window messages run; empty without a window.
  std::function<void()> processEvents;
  // How helper programs are started; empty: hidden, through the Processes seam.
  ProgramStarter startProgram;
  // The NV and EFS layers of the worker.
  ExtraLayerFactories extraLayers;
};

class UpdateShell : public TVorezUzeUiForm {
public:
  static constexpr uint32_t kTimer1IntervalMs = 20000;

  UpdateShell(FormServices services, ShellOptions options);
  ~UpdateShell() override;

  RunControl& runControl() { return *runControl_; }
  Dialogs& dialogs() { return services_.dialogs; }
  Clock& clock() { return services_.clock; }
  UiThread& ui() { return services_.ui; }
  DeviceBackend* devices() { return devices_.get(); }
  const std::string& deviceError() const { return deviceError_; }

  // The user closing the window (or SIGINT): a running update is stopped first and the program
  // ends when its worker has finished.
  void CloseRequested();
  // Whether Start waits for the device check to say Ready (the device watcher was started).
  virtual bool WaitsForReady() const;
  // Start, pressed by the loop as soon as it runs.
  void PressStartAfterGuide() override;
  bool StartPressedByGuide() const { return startPressedByGuide_; }

  // Port discovery: refills the three port boxes; true when a DIAG port was found.
  bool CheckForComPorts();
  void DiscoverPorts() override { CheckForComPorts(); }
  // Empties the DIAG and application boxes and tells whether a DIAG port exists.
  bool HasDiagPort();
  // Ends a running device watcher, waits 500 ms and starts a new one.
  void StartDeviceWatch() override;
  void EndDeviceWatch();
  bool DeviceWatchRunning() const;
  // The version tests and the package choice of Start.
  bool DeviceVersionIsCurrent();
  bool ReleaseKindDiffers();
  bool SelectPackageForDevice();
  // The window procedure's part of a device-change notification (UI thread).
  void OnDeviceChange(const DeviceEvent& event);

  PortDiscovery& discovery() { return *discovery_; }
  HelperPrograms& helpers() { return *helpers_; }
  // The xload mode switch: starts the USB boot thread when the image folder holds xload.bin.
  void StartXloadModeSwitch() override;
  XloadSwitch* xloadSwitch() { return xload_.get(); }

  // The 20-second device timer of types 42 and 3 with a variant: started with the window, it
  // ends the program when no device has made Start available by its first tick; Start
  // switches it off.
  void ApplyLayoutAdjustments() override;
  void Timer1Timer();

protected:
  // The helper programs the device check starts (mode switch, driver installation).
  virtual void ShiftDevice();
  virtual void ClearUninstallAnswer();
  // The driver installation: started, then its answer read 3 s later (true: usable).
  virtual void StartDriverInstall();
  virtual bool DriverInstallAnswer();

  RunHooks MakeRunHooks();
  DiscoverySettings CurrentDiscoverySettings() const;
  DeviceCheckSettings CurrentCheckSettings() const;
  void ShowPorts(const DiscoveredPorts& ports);
  // Tells the front end when the status label shows a new text.
  void NoteStatusLabel();
  void LogFromAnyThread(const std::string& text);
  void SwitchToSecondPackage();
  FormServices services_;
  ShellOptions options_;
  std::unique_ptr<DeviceBackend> devices_;
  std::string deviceError_;
  std::unique_ptr<RunControl> runControl_;
  bool closing_ = false;
  bool startPressedByGuide_ = false;
  bool watchStarted_ = false;
  int timer1_ = 0;
  std::string lastStatus_;
  std::unique_ptr<PortDiscovery> discovery_;
  std::unique_ptr<DeviceWatcher> watcher_;
  std::unique_ptr<HelperPrograms> helpers_;
  std::unique_ptr<UsbBootPort> usbBoot_;
  std::unique_ptr<XloadSwitch> xload_;

private:
  class CheckHost;
};

// The engine's worker behind the run control.
RunWorkerFactory EngineWorkerFactory(Clock& clock, std::function<PortResolver()> resolver, ExtraLayerFactories extra);

}  // namespace upwend
