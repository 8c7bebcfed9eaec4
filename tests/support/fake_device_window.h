#pragma once
// The window as the AT channel sees it: ports named by the test, a disk switch the test sets,
// and a count of the port discoveries asked for; no device change is ever seen.
#include <string>

#include "engine/at/device_window.h"

namespace upwend::testing {

struct FakeDeviceWindow final : DeviceWindow {
  void ClearDeviceFlags() override {}
  bool DeviceChangeSeen() override { return false; }
  bool DeviceArrivalSeen() override { return false; }
  bool CheckDiagPortSame(int) override { return true; }
  bool DiskModeSwitched() override { return diskSwitched; }
  void CheckForComPorts() override { ++discoveries; }
  std::string PortText() override { return diag; }
  std::string SerialPortText() override { return at; }
  void ShowDeviceVersion(SerialPort*) override {}
  bool diskSwitched = false;
  int discoveries = 0;
  std::string diag, at;
};

}  // namespace upwend::testing
