#pragma once
// One pass of the device check: port discovery, the configured checks of the device against
// the product build (project code, mainboard, memory), the driver precondition and readiness by
// project type. It runs on the device watcher's thread and reaches the window only through its
// host, which carries every display change and message box out on the UI thread and waits.
#include <functional>
#include <string>

#include "app/discovery/port_discovery.h"

namespace upwend {

struct WindowState;

// The configuration values the check reads, taken on the UI thread.
struct DeviceCheckSettings {
  int projectType = -1;
  std::string version;        // the package's software version
  std::string name;           // Name
  std::string secondVersion;  // the second package's software version
  bool bCheckProjectCode = false;
  bool bCheckMainboardType = false;
  bool bCheckDataCardMemory = false;
  bool bCheckRouterMemory = false;
  std::string flashSize;  // FlashSize of section MemoryType
};

// The two selected port texts and how many DIAG ports are listed.
struct SelectedPorts {
  std::string diag;
  std::string at;
  size_t diagCount = 0;
};

class DeviceCheckHost {
public:
  virtual ~DeviceCheckHost() = default;
  virtual DeviceCheckSettings Settings() = 0;
  virtual SelectedPorts Selected() = 0;
  // The mode-switch program (started, not waited for).
  virtual void ShiftDevice() = 0;
  // Port discovery; the boxes are refilled before it returns.
  virtual SelectedPorts DiscoverPorts() = 0;
  virtual DeviceIdentity Identity() = 0;
  virtual bool DiskModeSwitched() = 0;
  virtual void ClearUninstallAnswer() = 0;
  // The driver installation; true when it answered that the device is usable.
  virtual bool InstallDriver() = 0;
  virtual void Log(const std::string& text) = 0;
  // Runs `change` on the window state (UI thread, waits).
  virtual void Show(const std::function<void(WindowState&)>& change) = 0;
  virtual void RefreshStartPictures() = 0;
  // The warning box of a refusal (caption "Warning", one OK button); waits until it is closed.
  virtual void Warn(const std::string& text) = 0;
};

struct DevicePass {
  bool ok = true;           // false: refused, or a precondition failed
  bool endWatcher = false;  // the watcher ends after this pass
};

DevicePass CheckDevice(DeviceCheckHost& host);

}  // namespace upwend
