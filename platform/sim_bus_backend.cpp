// The "sim" device backend: reads the simulator's bus folder (see platform/sim_bus.h).
#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>

#include "platform/folder_watch.h"
#include "platform/sim_bus.h"

namespace upwend {
namespace {

constexpr int kRescanMs = 200;  // real ms; a safety net beside inotify
constexpr int kTickMs = 20;

std::string StripDevicePrefix(const std::string& name) {
  if (name.rfind("\\\\.\\", 0) == 0) return name.substr(4);
  return name;
}

class SimBusBackend final : public DeviceBackend {
public:
  explicit SimBusBackend(std::string busDir) : busDir_(std::move(busDir)) {}
  ~SimBusBackend() override { Unwatch(); }

  std::vector<ComPortInfo> ListComPorts() override {
    std::vector<ComPortInfo> out;
    for (auto& [name, s] : ReadAll()) out.insert(out.end(), s.comPorts.begin(), s.comPorts.end());
    return out;
  }
  std::vector<SerialMapEntry> SerialPortMap() override {
    std::vector<SerialMapEntry> out;
    for (auto& [name, s] : ReadAll()) out.insert(out.end(), s.serialMap.begin(), s.serialMap.end());
    return out;
  }
  std::vector<AdbInterfaceInfo> ListAdbInterfaces() override {
    std::vector<AdbInterfaceInfo> out;
    for (auto& [name, s] : ReadAll()) out.insert(out.end(), s.adbInterfaces.begin(), s.adbInterfaces.end());
    return out;
  }
  std::vector<UsbBootInfo> ListUsbBootDevices() override {
    std::vector<UsbBootInfo> out;
    for (auto& [name, s] : ReadAll()) out.insert(out.end(), s.usbBootDevices.begin(), s.usbBootDevices.end());
    return out;
  }
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
      if (auto s = ParseBusSnapshot(text.str(), error)) out.emplace(p.filename().string(), std::move(*s));
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
  std::map<std::string, Seen> seen_;
  std::atomic<bool> stop_{true};
  std::thread thread_;
};

}  // namespace

std::unique_ptr<DeviceBackend> CreateSimBusBackend(const std::string& busDir) {
  return std::make_unique<SimBusBackend>(busDir);
}

}  // namespace upwend
