// The "sim" device backend: reads the simulator's bus folder (see platform/sim_bus.h).
#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>

#include "platform/device_selector.h"
#include "platform/folder_watch.h"
#include "platform/ini_file.h"
#include "platform/sim_bus.h"
#include "platform/usb_device_path.h"

namespace upwend {
namespace {

constexpr int kRescanMs = 200;  // real ms; a safety net beside inotify
constexpr int kTickMs = 20;

std::string StripDevicePrefix(const std::string& name) {
  if (name.rfind("\\\\.\\", 0) == 0) return name.substr(4);
  return name;
}

// One bus file as a whole device: where it sits, its IDs (from what it publishes) and its mode.
UsbDeviceInfo DeviceOfFile(const std::string& fileName, const BusSnapshot& s) {
  UsbDeviceInfo d;
  d.path = s.usbPath.empty() ? fileName.substr(0, fileName.size() - std::string(".bus").size()) : s.usbPath;
  d.serial = s.serial;
  for (const auto& c : s.comPorts) d.ports.push_back(c.portName);
  for (const auto& m : s.serialMap)
    if (std::find(d.ports.begin(), d.ports.end(), m.portName) == d.ports.end()) d.ports.push_back(m.portName);
  bool composite = false;
  for (const auto& a : s.adbInterfaces) {
    d.interfaces.push_back(a.devicePath);
    composite = composite || AsciiLower(a.devicePath).find("&mi_") != std::string::npos;
  }
  for (const auto& b : s.usbBootDevices) d.interfaces.push_back(b.devicePath);
  std::vector<std::string> texts;
  for (const auto& c : s.comPorts) texts.push_back(c.hardwareId);
  texts.insert(texts.end(), d.interfaces.begin(), d.interfaces.end());
  for (const auto& t : texts) {
    if (auto ids = UsbIdsInText(t)) {
      d.vendorId = ids->first;
      d.productId = ids->second;
      break;
    }
  }
  if (!s.usbBootDevices.empty()) {
    d.mode = "usb-boot";
  } else if (!d.ports.empty() || composite) {
    d.mode = "normal";
  } else if (!s.adbInterfaces.empty()) {
    d.mode = "fastboot";
  } else if (!s.disks.empty()) {
    d.mode = "disk";
    d.product = s.disks.front().name;
  }
  return d;
}

class SimBusBackend final : public DeviceBackend {
public:
  SimBusBackend(std::string busDir, std::shared_ptr<DeviceSelector> selector)
      : busDir_(std::move(busDir)), selector_(std::move(selector)) {}
  ~SimBusBackend() override { Unwatch(); }

  std::vector<UsbDeviceInfo> ListUsbDevices() override {
    std::vector<UsbDeviceInfo> out;
    for (auto& [name, s] : ReadAll()) {
      UsbDeviceInfo d = DeviceOfFile(name, s);
      if (!d.mode.empty()) out.push_back(std::move(d));
    }
    std::sort(out.begin(), out.end(), [](const UsbDeviceInfo& a, const UsbDeviceInfo& b) { return a.path < b.path; });
    return out;
  }

  std::vector<ComPortInfo> ListComPorts() override { return Gather(&BusSnapshot::comPorts); }
  std::vector<SerialMapEntry> SerialPortMap() override { return Gather(&BusSnapshot::serialMap); }
  std::vector<AdbInterfaceInfo> ListAdbInterfaces() override { return Gather(&BusSnapshot::adbInterfaces); }
  std::vector<UsbBootInfo> ListUsbBootDevices() override { return Gather(&BusSnapshot::usbBootDevices); }
  std::optional<std::string> DeviceNodeForPort(const std::string& portName) override {
    std::string wanted = StripDevicePrefix(portName);
    for (const auto& c : ListComPorts()) {
      if (c.portName == wanted && !c.deviceNode.empty()) return c.deviceNode;
    }
    return std::nullopt;
  }

  void Watch(std::function<void(const DeviceEvent&)> onEvent) override {
    // From inside a callback the watch that is running stays as it is.
    if (thread_.joinable() && thread_.get_id() == std::this_thread::get_id()) return;
    Unwatch();
    seen_.clear();
    // Only what happens from now on is news: remember where each present file stands.
    for (auto& [name, s] : ReadAll()) seen_[name] = {s.session, s.events.empty() ? 0 : s.events.back().seq};
    stop_ = false;
    thread_ = std::thread([this, cb = std::move(onEvent)] { Run(cb); });
  }

  void Unwatch() override {
    stop_ = true;
    // From inside a callback the thread cannot wait for itself: it ends after this delivery,
    // and the destructor (or the next Watch) joins it.
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
  }

private:
  struct Seen {
    std::string session;
    uint64_t lastSeq = 0;
  };

  // One list of every device on the bus, in bus file order.
  template <typename T>
  std::vector<T> Gather(std::vector<T> BusSnapshot::*list) {
    std::vector<T> out;
    for (auto& [name, s] : ReadAll()) out.insert(out.end(), (s.*list).begin(), (s.*list).end());
    return out;
  }

  std::map<std::string, BusSnapshot> ReadAll() {
    namespace fs = std::filesystem;
    std::map<std::string, BusSnapshot> out;
    std::error_code ec;
    for (fs::directory_iterator it(busDir_, ec), end; !ec && it != end; it.increment(ec)) {
      const auto& p = it->path();
      if (p.extension() != ".bus") continue;
      std::ifstream in(p, std::ios::binary);
      if (!in) continue;
      std::ostringstream text;
      text << in.rdbuf();
      std::string error;
      auto s = ParseBusSnapshot(text.str(), error);
      if (!s) continue;
      std::string name = p.filename().string();
      // Another device than the chosen one is not there at all, its events included.
      if (selector_ && !selector_->Matches(DeviceOfFile(name, *s))) continue;
      out.emplace(std::move(name), std::move(*s));
    }
    return out;
  }

  void Deliver(const std::function<void(const DeviceEvent&)>& cb) {
    for (auto& [name, s] : ReadAll()) {
      Seen& seen = seen_[name];
      if (seen.session != s.session) seen = {s.session, 0};
      for (const auto& e : s.events) {
        if (e.seq <= seen.lastSeq) continue;
        if (stop_) return;
        seen.lastSeq = e.seq;
        if (cb) cb(e.event);
      }
    }
  }

  void Run(const std::function<void(const DeviceEvent&)>& cb) {
    auto watch = WatchFolder(busDir_);
    bool dirty = true;
    int idleMs = 0;
    while (!stop_) {
      // Without a change notice the folder is still rescanned now and then (it may not have
      // existed when the watch began, or may have been replaced).
      if (dirty || idleMs >= kRescanMs) {
        Deliver(cb);
        dirty = false;
        idleMs = 0;
      }
      dirty = watch->WaitForChange(kTickMs);
      idleMs += kTickMs;
    }
  }

  std::string busDir_;
  std::shared_ptr<DeviceSelector> selector_;
  std::map<std::string, Seen> seen_;
  std::atomic<bool> stop_{true};
  std::thread thread_;
};

}  // namespace

std::unique_ptr<DeviceBackend> CreateSimBusBackend(const std::string& busDir, std::shared_ptr<DeviceSelector> selector) {
  return std::make_unique<SimBusBackend>(busDir, std::move(selector));
}

}  // namespace upwend
