#pragma once
// What the AT channel needs from the main window, beyond what the reset commands need. The
// worker's implementation carries every call out on the UI thread and waits for it, so the
// answers reflect the window as the call left it.
#include "engine/diag/reconnect_window.h"

namespace upwend {

class SerialPort;

class DeviceWindow : public ReconnectWindow {
public:
  // Re-runs port discovery, refilling the port boxes; returns when it has finished.
  virtual void CheckForComPorts() = 0;
  // Set once discovery has sent the disk-mode switch to this device.
  virtual bool DiskModeSwitched() = 0;
  // Queries "AT+CGMR" on the given AT port through the window's AT query and shows
  // "Version:" + the result in the version label.
  virtual void ShowDeviceVersion(SerialPort* atPort) = 0;
};

}  // namespace upwend
