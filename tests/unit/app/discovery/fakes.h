#pragma once
// A scripted device backend and serial ports for the discovery tests: each port name has a
// script that says whether it opens and what it answers to each command written.
#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/device_backend.h"
#include "platform/port_names.h"
#include "platform/serial_port.h"

namespace upwend::testing {

struct PortScript {
  bool opens = true;
  bool configures = true;
  bool writes = true;
  bool readFails = false;
  int closeFailures = 0;  // Close() fails this many times first
  // What the device sends back for a written command (by default: nothing).
  std::function<std::string(const std::string& command)> answer;
};

struct FakePorts {
  std::map<std::string, PortScript> scripts;  // by port name without the "\\.\" prefix
  std::vector<std::string> opened;            // every Open() call's name, as given
  std::vector<std::string> written;           // "COM5:ATI\r\n"
  int openNow = 0;
};

class FakeSerialPort final : public SerialPort {
public:
  explicit FakeSerialPort(FakePorts& ports) : ports_(ports) {}
  bool Open(const std::string& name) override {
    ports_.opened.push_back(name);
    name_ = StripPortPrefix(name).empty() ? name : StripPortPrefix(name);
    auto it = ports_.scripts.find(name_);
    if (it == ports_.scripts.end() || !it->second.opens) return false;
    script_ = &it->second;
    open_ = true;
    ++ports_.openNow;
    return true;
  }
  bool IsOpen() const override { return open_; }
  bool GetState(CommState& state) override { return open_ && script_->configures; }
  bool SetState(const CommState& state) override {
    state_ = state;
    return open_ && script_->configures;
  }
  bool SetupQueues(uint32_t, uint32_t) override { return open_; }
  bool SetTimeouts(const CommTimeouts& t) override {
    timeouts_ = t;
    return open_ && script_->configures;
  }
  bool Purge(uint32_t) override { return open_; }
  bool ClearError(CommErrors& errors) override {
    errors = {};
    errors.inQueue = static_cast<uint32_t>(pending_.size());
    return open_;
  }
  bool Read(uint8_t* buffer, uint32_t len, uint32_t& done) override {
    done = 0;
    if (!open_ || script_->readFails) return false;
    done = static_cast<uint32_t>(std::min<size_t>(len, pending_.size()));
    std::copy(pending_.begin(), pending_.begin() + done, buffer);
    pending_.erase(0, done);
    return true;
  }
  bool Write(const uint8_t* buffer, uint32_t len, uint32_t& done) override {
    done = 0;
    if (!open_ || !script_->writes) return false;
    std::string text(reinterpret_cast<const char*>(buffer), len);
    ports_.written.push_back(name_ + ":" + text);
    if (script_->answer) pending_ += script_->answer(text);
    done = len;
    return true;
  }
  bool Close() override {
    if (!open_) return false;
    if (script_->closeFailures > 0) {
      --script_->closeFailures;
      return false;
    }
    open_ = false;
    --ports_.openNow;
    return true;
  }
  uint32_t LastError() const override { return 0; }

  CommState state_;
  CommTimeouts timeouts_;

private:
  FakePorts& ports_;
  PortScript* script_ = nullptr;
  std::string name_;
  std::string pending_;
  bool open_ = false;
};

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
