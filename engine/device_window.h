#pragma once
// What the DIAG reconnect and the AT channel need from the main window. The worker's
// implementation carries every call out on the UI thread and waits for it, so the answers
// reflect the window as the call left it.
#include <string>

namespace upwend {

class SerialPort;

class DeviceWindow {
public:
  virtual ~DeviceWindow() = default;
  // The device-change flags: set by the window, cleared and polled by the worker.
  virtual void ClearDeviceFlags() = 0;
  virtual bool DeviceChangeSeen() = 0;
  virtual bool DeviceArrivalSeen() = 0;
  // Whether the first DIAG port found now has this number.
  virtual bool CheckDiagPortSame(int portNumber) = 0;
  // The selected texts of the DIAG and AT port boxes ("COM5"; empty when none).
  virtual std::string PortText() = 0;
  virtual std::string SerialPortText() = 0;
  // Re-runs port discovery, refilling the port boxes; returns when it has finished.
  virtual void CheckForComPorts() = 0;
  // Set once discovery has sent the disk-mode switch to this device.
  virtual bool DiskModeSwitched() = 0;
  // Queries "AT+CGMR" on the given AT port through the window's AT query and shows
  // "Version:" + the result in the version label.
  virtual void ShowDeviceVersion(SerialPort* atPort) = 0;
};

}  // namespace upwend
