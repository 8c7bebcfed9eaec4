#pragma once
// The whole application shell: the start-up form with run control, the device backend and the
// update worker of the engine. Port discovery and the device watcher plug in through the form's
// hooks; the front ends (headless now, the Qt window later) drive it and read its state.
#include <functional>
#include <memory>
#include <string>

#include "app/main_window.h"
#include "app/run_control.h"
#include "engine/worker_assembly.h"

namespace upwend {

class DeviceBackend;

struct ShellOptions {
  std::string devices;  // "sysfs" or "sim:DIR"; empty: UPWEND_DEVICES, else sysfs
  // What the headless front end shows of a run.
  std::function<void(const std::string& line, int type)> logLine;
  std::function<void(uint64_t position, uint64_t maximum)> gaugeChanged;
  std::function<void(uint64_t total)> sentBytes;
  std::function<void(bool passed)> runFinished;
  // The NV and EFS layers of the worker.
  ExtraLayerFactories extraLayers;
};

class UpdateShell : public TVorezUzeUiForm {
public:
  UpdateShell(FormServices services, ShellOptions options);
  ~UpdateShell() override;

  RunControl& runControl() { return *runControl_; }
  DeviceBackend* devices() { return devices_.get(); }
  const std::string& deviceError() const { return deviceError_; }

  // The user closing the window (or SIGINT): a running update is stopped first and the program
  // ends when its worker has finished.
  void CloseRequested();
  // Whether Start waits for the device check to say Ready (the device watcher runs).
  virtual bool WaitsForReady() const { return false; }

protected:
  RunHooks MakeRunHooks();
  FormServices services_;
  ShellOptions options_;
  std::unique_ptr<DeviceBackend> devices_;
  std::string deviceError_;
  std::unique_ptr<RunControl> runControl_;
  bool closing_ = false;
};

// The engine's worker behind the run control.
RunWorkerFactory EngineWorkerFactory(Clock& clock, std::function<PortResolver()> resolver, ExtraLayerFactories extra);

}  // namespace upwend
