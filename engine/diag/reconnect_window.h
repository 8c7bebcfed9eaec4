#pragma once
// What the DIAG reset commands need from the main window. The worker's implementation carries
// every call out on the UI thread and waits for it, so the answers reflect the window as the
// call left it.
#include <string>

namespace upwend {

class ReconnectWindow {
public:
  virtual ~ReconnectWindow() = default;
  // The device-change flags: set by the window, cleared and polled by the worker.
  virtual void ClearDeviceFlags() = 0;
  virtual bool DeviceChangeSeen() = 0;
  virtual bool DeviceArrivalSeen() = 0;
  // Whether the first DIAG port found now has this number.
  virtual bool CheckDiagPortSame(int portNumber) = 0;
  // The selected texts of the DIAG and AT port boxes ("COM5"; empty when none).
  virtual std::string PortText() = 0;
  virtual std::string SerialPortText() = 0;
};

}  // namespace upwend
