#include "sim/sim_device.h"

#include <algorithm>
#include <chrono>
#include <random>

#include <fmt/format.h>

#include "sim/at_engine.h"
#include "sim/diag_engine.h"
#include "sim/fastboot_server.h"
#include "sim/pty_port.h"
#include "sim/waits.h"

namespace upwend::sim {
namespace {

constexpr size_t kKeptEvents = 256;
// A reboot starts a moment after the command that asked for it, so its acknowledgement still
// reaches the host before the ports vanish.
constexpr uint64_t kSettleMs = 1000;
constexpr const char* kAdbClass = "{f72fe0d4-cbcb-407d-8814-9ed673d0dd6b}";

struct PortRole {
  const char* kind;      // as announced: DIAG, AT, APP
  const char* friendly;  // friendly name before " (COMn)"
  const char* mi;        // interface number in the hardware ID
};

constexpr PortRole kDiagRole{"DIAG", "Simulated MDM9607 Diagnostics Port", "00"};
constexpr PortRole kAtRole{"AT", "Simulated MDM9607 AT Port", "02"};
constexpr PortRole kAppRole{"APP", "Simulated MDM9607 Application Terminal Port", "01"};

std::string ComName(int n) { return fmt::format("COM{}", n); }

}  // namespace

SimDevice::SimDevice(SimOptions options, Clock& clock, std::function<void(const std::string&)> announce)
    : options_(std::move(options)), clock_(clock), announce_(std::move(announce)) {}

SimDevice::~SimDevice() { Stop(); }

SimDevice::Mode SimDevice::CurrentMode() {
  std::lock_guard lock(mutex_);
  return mode_;
}

bool SimDevice::Start(std::string& error) {
  if (!state_.Open(options_.stateDir, options_.seed, error)) return false;
  std::random_device rd;
  bus_.session = fmt::format("{:08x}{:08x}", rd(), static_cast<uint32_t>(
                                                     std::chrono::steady_clock::now().time_since_epoch().count()));
  Publish({});  // an empty device file first, so a reader knows the device and its session
  if (!BringUp(options_.startInFastboot ? Mode::Fastboot : Mode::Normal, error)) return false;
  controller_ = std::thread([this] { Controller(); });
  return true;
}

void SimDevice::Stop() {
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    stopping_ = true;
  }
  stopFlag_ = true;
  wake_.notify_all();
  if (controller_.joinable()) controller_.join();
  TearDown();
}

void SimDevice::OnAction(int action) {
  auto a = static_cast<DeviceAction>(action);
  if (a == DeviceAction::RebootBootloader) RequestMode(Mode::Fastboot);
  if (a == DeviceAction::RebootNormal) RequestMode(Mode::Normal);
}

void SimDevice::RequestMode(Mode target) {
  std::lock_guard lock(mutex_);
  requested_ = target;
  hasRequest_ = true;
  wake_.notify_all();
}

void SimDevice::Controller() {
  while (true) {
    Mode target;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [&] { return stopping_ || hasRequest_; });
      if (stopping_) return;
      target = requested_;
      hasRequest_ = false;
    }
    if (!WaitLogical(clock_, kSettleMs, stopFlag_)) return;
    Mode from = CurrentMode();
    TearDown();
    uint64_t delay = target == Mode::Fastboot ? options_.bootloaderDelayMs : options_.normalDelayMs;
    if (!WaitLogical(clock_, delay, stopFlag_)) return;
    if (target == Mode::Normal && from == Mode::Fastboot) {
      if (options_.faults.NoReturn()) continue;  // the device stays off the bus
      if (int step = options_.faults.RenumberStep(); step > 0) {
        options_.comDiag += step;
        options_.comAt += step;
        if (options_.comApp > 0) options_.comApp += step;
      }
    }
    {
      // Requests that came while the device was going down are void: once its ports are back,
      // whatever they hear next counts.
      std::lock_guard lock(mutex_);
      hasRequest_ = false;
    }
    std::string error;
    if (!BringUp(target, error)) announce_("error " + error);
  }
}

bool SimDevice::BringUp(Mode mode, std::string& error) {
  Published next;
  std::vector<std::string> lines;
  auto sink = [this](DeviceAction a) { OnAction(static_cast<int>(a)); };
  if (mode == Mode::Normal) {
    auto diag = std::make_shared<DiagEngine>(state_, options_.faults);
    struct Planned {
      PortRole role;
      int number;
      PtyPort::Handler handler;
    };
    std::vector<Planned> planned;
    planned.push_back({kDiagRole, options_.comDiag, [diag](const uint8_t* d, size_t n) { return diag->Feed(d, n); }});
    auto at = std::make_shared<AtEngine>(state_, options_.faults);
    planned.push_back({kAtRole, options_.comAt, [at](const uint8_t* d, size_t n) { return at->Feed(d, n); }});
    if (options_.comApp > 0) {
      auto app = std::make_shared<AtEngine>(state_, options_.faults);
      planned.push_back({kAppRole, options_.comApp, [app](const uint8_t* d, size_t n) { return app->Feed(d, n); }});
    }
    for (auto& p : planned) {
      auto port = std::make_unique<PtyPort>(clock_, p.handler, sink);
      if (!port->Open(error)) {
        ports_.clear();
        return false;
      }
      std::string com = ComName(p.number);
      next.com.push_back({fmt::format("{} ({})", p.role.friendly, com), p.role.friendly,
                          fmt::format("{}&MI_{}", options_.usbId, p.role.mi), com, port->SlavePath()});
      next.serial.push_back({fmt::format("\\Device\\SimUsbSer_{}_{}", com, p.role.mi), com});
      lines.push_back(fmt::format("published {} {} {}", p.role.kind, com, port->SlavePath()));
      port->Start();
      ports_.push_back(std::move(port));
    }
    if (options_.compositeAdb) {
      next.adb.push_back({fmt::format("\\\\?\\USB#VID_05C6&PID_9025&MI_04#sim-{}#{}", options_.deviceId, kAdbClass)});
    }
  } else {
    fastboot_ = std::make_unique<FastbootServer>(clock_, state_, options_.faults, options_.maxDownload, sink);
    if (!fastboot_->Open(options_.fastbootPort, error)) {
      fastboot_.reset();
      return false;
    }
    fastboot_->Start();
    std::string endpoint = fmt::format("tcp:127.0.0.1:{}", fastboot_->Port());
    next.adb.push_back({fmt::format("\\\\?\\USB#VID_18D1&PID_D00D#{}#{}", endpoint, kAdbClass)});
    lines.push_back("published FASTBOOT " + endpoint);
  }
  Publish(next);
  {
    std::lock_guard lock(mutex_);
    mode_ = mode;
  }
  for (auto& l : lines) announce_(l);
  return true;
}

void SimDevice::TearDown() {
  std::vector<std::string> lines;
  for (auto& c : published_.com) {
    const char* kind = c.friendlyName.rfind(kDiagRole.friendly, 0) == 0 ? "DIAG"
                       : c.friendlyName.rfind(kAtRole.friendly, 0) == 0 ? "AT"
                                                                         : "APP";
    lines.push_back(fmt::format("removed {} {}", kind, c.portName));
  }
  if (fastboot_) lines.push_back(fmt::format("removed FASTBOOT tcp:127.0.0.1:{}", fastboot_->Port()));
  // The ports vanish first, as a USB device does, and the bus tells about it afterwards.
  for (auto& p : ports_) p->Close();
  ports_.clear();
  if (fastboot_) fastboot_->Close();
  fastboot_.reset();
  Publish({});
  {
    std::lock_guard lock(mutex_);
    mode_ = Mode::Off;
  }
  for (auto& l : lines) announce_(l);
}

void SimDevice::Publish(const Published& next) {
  auto addEvent = [&](DeviceEventKind kind, DeviceType type, const std::string& name) {
    bus_.events.push_back({nextSeq_++, {kind, type, name}});
  };
  auto hasCom = [](const std::vector<ComPortInfo>& v, const ComPortInfo& c) {
    return std::any_of(v.begin(), v.end(), [&](const ComPortInfo& x) {
      return x.portName == c.portName && x.deviceNode == c.deviceNode;
    });
  };
  auto hasAdb = [](const std::vector<AdbInterfaceInfo>& v, const AdbInterfaceInfo& a) {
    return std::any_of(v.begin(), v.end(), [&](const AdbInterfaceInfo& x) { return x.devicePath == a.devicePath; });
  };
  for (auto& c : published_.com) {
    if (!hasCom(next.com, c)) addEvent(DeviceEventKind::RemoveComplete, DeviceType::Port, c.portName);
  }
  for (auto& a : published_.adb) {
    if (!hasAdb(next.adb, a)) addEvent(DeviceEventKind::RemoveComplete, DeviceType::Interface, a.devicePath);
  }
  for (auto& c : next.com) {
    if (!hasCom(published_.com, c)) addEvent(DeviceEventKind::Arrival, DeviceType::Port, c.portName);
  }
  for (auto& a : next.adb) {
    if (!hasAdb(published_.adb, a)) addEvent(DeviceEventKind::Arrival, DeviceType::Interface, a.devicePath);
  }
  if (bus_.events.size() > kKeptEvents) {
    bus_.events.erase(bus_.events.begin(), bus_.events.end() - static_cast<long>(kKeptEvents));
  }
  published_ = next;
  bus_.generation++;
  bus_.comPorts = next.com;
  bus_.serialMap = next.serial;
  bus_.adbInterfaces = next.adb;
  std::string error;
  if (!PublishBusSnapshot(fmt::format("{}/{}.bus", options_.busDir, options_.deviceId), bus_, error)) {
    announce_("error " + error);
  }
}

}  // namespace upwend::sim
