#pragma once
// A scripted device backend for the discovery tests, and the scripting of its ports.
#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/device_backend.h"
#include "platform/port_names.h"
#include "platform/serial_port.h"
#include "tests/support/scripted_port.h"

namespace upwend::testing {

// A port the discovery may open: it takes any write, and `answer` says what the device sends
// back for it (nothing: silence).
inline test::ScriptedLine& ScriptPort(test::ScriptedBus& ports, const std::string& name,
                                      std::function<std::string(const std::string& command)> answer = nullptr) {
  test::ScriptedLine& line = ports.Line(name);
  line.strictWrites = false;
  line.AnswerText(std::move(answer));
  return line;
}

// A port that opens but refuses its line settings and time-outs.
inline void RefuseConfiguration(test::ScriptedLine& line) {
  line.failGetState = true;
  line.failSetState = true;
  line.failTimeouts = true;
}

class FakeBackend final : public DeviceBackend {
public:
  std::vector<ComPortInfo> comPorts;
  std::vector<SerialMapEntry> serialMap;
  std::vector<AdbInterfaceInfo> adb;
  std::vector<ComPortInfo> ListComPorts() override { return comPorts; }
  std::vector<SerialMapEntry> SerialPortMap() override { return serialMap; }
  std::vector<AdbInterfaceInfo> ListAdbInterfaces() override { return adb; }
  std::vector<UsbBootInfo> ListUsbBootDevices() override { return {}; }
  std::optional<std::string> DeviceNodeForPort(const std::string&) override { return std::nullopt; }
  void Watch(std::function<void(const DeviceEvent&)>) override {}
  void Unwatch() override {}
};

inline ComPortInfo ComPort(const std::string& friendly, const std::string& hardwareId = "USB\\VID_05C6&PID_9025&MI_00") {
  return ComPortInfo{friendly, "description", hardwareId, "", ""};
}

// The shipped device's answers: ATI with a revision, the version queries answered OK.
inline std::string ModemAnswer(const std::string& command) {
  std::string echo = command;
  if (command == "ATI\r\n") {
    return echo + "\r\nManufacturer: SIMULATED\r\nModel: MDM9607\r\nRevision: VXT_MDM9607_v2.0.3\r\nIMEI: 1\r\n\r\nOK\r\n";
  }
  if (command.rfind("AT+VXTSW", 0) == 0) return echo + "\r\n+VXTSW: SWVD004.3.0012\r\n\r\nOK\r\n";
  if (command.rfind("at+vxtinf", 0) == 0) return echo + "\r\n+VXTINF: \"SWYF007\"\r\n\r\nOK\r\n";
  if (command.rfind("AT+PMU", 0) == 0) return echo + "\r\n+PMU: GMT 65930\r\n\r\nOK\r\n";
  return echo + "\r\nOK\r\n";
}

}  // namespace upwend::testing
