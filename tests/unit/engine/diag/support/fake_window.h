#pragma once
// The main window as the DIAG reset commands see it, scripted per test.
#include <functional>
#include <string>

#include "engine/diag/reconnect_window.h"

namespace upwend::test {

class FakeWindow final : public ReconnectWindow {
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

  bool changeSeen = false;
  bool arrivalSeen = false;
  bool diagPortSame = true;
  std::string portText;
  std::string serialPortText;
  int clears = 0;
  int checkedPort = -1;
  std::function<void()> onPoll;
};

}  // namespace upwend::test
