#include "sim/sim_device.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <random>

#include <fmt/format.h>

#include "sim/at_engine.h"
#include "sim/diag_engine.h"
#include "sim/fastboot_server.h"
#include "sim/pty_port.h"
#include "sim/usb_socket.h"
#include "sim/waits.h"

namespace upwend::sim {
namespace {

constexpr size_t kKeptEvents = 256;
// A reboot starts a moment after the command that asked for it, so its acknowledgement still
// reaches the host before the ports vanish.
constexpr uint64_t kSettleMs = 1000;
constexpr const char* kAdbClass = "{f72fe0d4-cbcb-407d-8814-9ed673d0dd6b}";
constexpr const char* kUsbBootClass = "{00873fdf-61a8-11d1-aa5e-00c04fb1728b}";
// Bulk-only transport: a 31-byte command block wrapper, a 13-byte status wrapper.
constexpr size_t kCbwSize = 31, kCswSize = 13, kCbOffset = 15, kCbLengthOffset = 14, kMaxCb = 16;
constexpr uint8_t kCbwSignature[4] = {'U', 'S', 'B', 'C'};
constexpr uint8_t kCswSignature[4] = {'U', 'S', 'B', 'S'};
constexpr size_t kMaxBootImage = 1 << 20;

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
  // Every mode of the device keeps its place and its serial number.
  bus_.usbPath = options_.usbPath.empty() ? options_.deviceId : options_.usbPath;
  bus_.serial = options_.serial;
  bus_.session = fmt::format("{:08x}{:08x}", rd(), static_cast<uint32_t>(
                                                     std::chrono::steady_clock::now().time_since_epoch().count()));
  Publish({});  // an empty device file first, so a reader knows the device and its session
  Mode first = options_.startInDisk       ? Mode::Disk
               : options_.startInBoot     ? Mode::Boot
               : options_.startInFastboot ? Mode::Fastboot
                                          : Mode::Normal;
  if (!BringUp(first, error)) return false;
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
  bool up = false;
  switch (mode) {
    case Mode::Normal: up = BringUpNormal(next, lines, error); break;
    case Mode::Disk: up = BringUpDisk(next, lines, error); break;
    case Mode::Boot: up = BringUpBoot(next, lines, error); break;
    default: {
      auto sink = [this](DeviceAction a) { OnAction(static_cast<int>(a)); };
      fastboot_ = std::make_unique<FastbootServer>(clock_, state_, options_.faults, options_.maxDownload, sink);
      if (!fastboot_->Open(options_.fastbootPort, error)) {
        fastboot_.reset();
        return false;
      }
      fastboot_->Start();
      std::string endpoint = fmt::format("tcp:127.0.0.1:{}", fastboot_->Port());
      next.adb.push_back({fmt::format("\\\\?\\USB#VID_18D1&PID_D00D#{}#{}", endpoint, kAdbClass)});
      lines.push_back("published FASTBOOT " + endpoint);
      up = true;
    }
  }
  if (!up) return false;
  Publish(next);
  {
    std::lock_guard lock(mutex_);
    mode_ = mode;
  }
  for (auto& l : lines) announce_(l);
  return true;
}

bool SimDevice::BringUpNormal(Published& next, std::vector<std::string>& lines, std::string& error) {
  auto sink = [this](DeviceAction a) { OnAction(static_cast<int>(a)); };
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
  return true;
}

bool SimDevice::ServeUsbSocket(const char* role, UsbSocket::Handler handler, std::string& error) {
  usbSocket_ = std::make_unique<UsbSocket>();
  if (!usbSocket_->Open(fmt::format("upwend-sim-{}-{}-{}", bus_.session, options_.deviceId, role), error)) {
    usbSocket_.reset();
    return false;
  }
  usbSocket_->Start(std::move(handler));
  return true;
}

bool SimDevice::BringUpDisk(Published& next, std::vector<std::string>& lines, std::string& error) {
  auto serve = [this](int fd, const std::atomic<bool>& stop) {
    if (ServeDiskCommand(fd, stop)) RequestMode(Mode::Normal);
  };
  if (!ServeUsbSocket("disk", serve, error)) return false;
  next.disks.push_back({options_.diskName, usbSocket_->Endpoint()});
  lines.push_back("published DISK " + usbSocket_->Endpoint());
  return true;
}

bool SimDevice::BringUpBoot(Published& next, std::vector<std::string>& lines, std::string& error) {
  auto serve = [this](int fd, const std::atomic<bool>& stop) { ServeBootImage(fd, stop); };
  if (!ServeUsbSocket("boot", serve, error)) return false;
  next.boot.push_back({fmt::format("\\\\?\\usb#vid_0451&pid_d00e#{}#{}", usbSocket_->Endpoint(), kUsbBootClass)});
  lines.push_back("published BOOT " + usbSocket_->Endpoint());
  return true;
}

bool SimDevice::ServeDiskCommand(int fd, const std::atomic<bool>& stop) {
  uint8_t cbw[kCbwSize];
  while (UsbSocket::ReadFull(fd, cbw, sizeof cbw, stop)) {
    // A wrapper without its signature is not answered at all, as a real device stalls.
    if (!std::equal(kCbwSignature, kCbwSignature + 4, cbw)) return false;
    size_t cbLength = cbw[kCbLengthOffset] & 0x1F;
    const auto& want = options_.diskSwitchCdb;
    bool isSwitch = cbLength <= kMaxCb && cbLength == want.size() && std::equal(want.begin(), want.end(), cbw + kCbOffset);
    uint8_t csw[kCswSize] = {};
    std::copy(kCswSignature, kCswSignature + 4, csw);
    std::copy(cbw + 4, cbw + 8, csw + 4);  // the tag
    csw[12] = isSwitch ? 0 : 1;
    announce_(isSwitch ? "received DISK switch" : "received DISK other command");
    if (!UsbSocket::WriteFull(fd, csw, sizeof csw)) return isSwitch;
    if (isSwitch) return true;
  }
  return false;
}

void SimDevice::ServeBootImage(int fd, const std::atomic<bool>& stop) {
  uint8_t length[4];
  if (!UsbSocket::ReadFull(fd, length, sizeof length, stop)) return;
  uint32_t n = length[0] | (length[1] << 8) | (length[2] << 16) | (static_cast<uint32_t>(length[3]) << 24);
  if (options_.faults.BootStall()) {
    announce_("received BOOT length, stalled");
    UsbSocket::WaitForHangUp(fd, stop);
    return;
  }
  if (n > kMaxBootImage) return;
  std::string image(n, '\0');
  if (!UsbSocket::ReadFull(fd, reinterpret_cast<uint8_t*>(image.data()), n, stop)) return;
  std::ofstream(options_.stateDir + "/xload-received.bin", std::ios::binary | std::ios::trunc) << image;
  announce_(fmt::format("received BOOT {} bytes", n));
  RequestMode(options_.afterBootNormal ? Mode::Normal : Mode::Fastboot);
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
  if (usbSocket_) lines.push_back(fmt::format("removed {} {}", published_.disks.empty() ? "BOOT" : "DISK", usbSocket_->Endpoint()));
  // The ports vanish first, as a USB device does, and the bus tells about it afterwards.
  for (auto& p : ports_) p->Close();
  ports_.clear();
  if (fastboot_) fastboot_->Close();
  fastboot_.reset();
  if (usbSocket_) usbSocket_->Close();
  usbSocket_.reset();
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
  for (auto& d : published_.disks) addEvent(DeviceEventKind::RemoveComplete, DeviceType::Other, d.endpoint);
  for (auto& b : published_.boot) addEvent(DeviceEventKind::RemoveComplete, DeviceType::Interface, b.devicePath);
  for (auto& c : next.com) {
    if (!hasCom(published_.com, c)) addEvent(DeviceEventKind::Arrival, DeviceType::Port, c.portName);
  }
  for (auto& d : next.disks) addEvent(DeviceEventKind::Arrival, DeviceType::Other, d.endpoint);
  for (auto& b : next.boot) addEvent(DeviceEventKind::Arrival, DeviceType::Interface, b.devicePath);
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
  bus_.disks = next.disks;
  bus_.usbBootDevices = next.boot;
  std::string error;
  if (!PublishBusSnapshot(fmt::format("{}/{}.bus", options_.busDir, options_.deviceId), bus_, error)) {
    announce_("error " + error);
  }
}

}  // namespace upwend::sim
