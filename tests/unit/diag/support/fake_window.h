#pragma once
// The main window as the DIAG reconnect and the AT channel see it, scripted per test.
#include <functional>
#include <string>
#include <vector>

#include "engine/device_window.h"

namespace upwend::test {

class FakeWindow final : public DeviceWindow {
public:
  void ClearDeviceFlags() override {
    ++clears;
    changeSeen = false;
    arrivalSeen = false;
  }
  bool DeviceChangeSeen() override {
    if (onPoll) onPoll();
    return changeSeen;
  }
  bool DeviceArrivalSeen() override {
    if (onPoll) onPoll();
    return arrivalSeen;
  }
  bool CheckDiagPortSame(int portNumber) override {
    checkedPort = portNumber;
    return diagPortSame;
  }
  std::string PortText() override { return portText; }
  std::string SerialPortText() override { return serialPortText; }
  void CheckForComPorts() override {
    ++discoveries;
    if (onDiscovery) onDiscovery(discoveries);
  }
  bool DiskModeSwitched() override { return diskModeSwitched; }
  void ShowDeviceVersion(SerialPort* atPort) override { versionPorts.push_back(atPort); }

  bool changeSeen = false;
  bool arrivalSeen = false;
  bool diagPortSame = true;
  bool diskModeSwitched = false;
  std::string portText;
  std::string serialPortText;
  int clears = 0;
  int discoveries = 0;
  int checkedPort = -1;
  std::vector<SerialPort*> versionPorts;
  std::function<void()> onPoll;
  std::function<void(int)> onDiscovery;
};

}  // namespace upwend::test
