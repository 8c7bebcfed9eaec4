// The "sysfs" device backend: lists from a scan of the sysfs tree, events from the difference
// between successive scans. udev only wakes the watcher early; the periodic scan keeps events
// coming where udev is absent (containers, tests on a fake tree).
#include "platform/sysfs_backend.h"

#include <libudev.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <set>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>

#include "platform/clock.h"
#include "platform/device_selector.h"
#include "platform/node_access.h"
#include "platform/paths.h"
#include "platform/port_names.h"
#include "platform/posix/sysfs_scan.h"

namespace upwend {

namespace {

// A udev monitor for tty and USB changes; inert when udev cannot be reached.
class UdevMonitor {
public:
  UdevMonitor() {
    udev_ = udev_new();
    if (udev_ == nullptr) return;
    monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
    if (monitor_ == nullptr) return;
    udev_monitor_filter_add_match_subsystem_devtype(monitor_, "tty", nullptr);
    udev_monitor_filter_add_match_subsystem_devtype(monitor_, "usb", nullptr);
    if (udev_monitor_enable_receiving(monitor_) < 0) {
      udev_monitor_unref(monitor_);
      monitor_ = nullptr;
    }
  }
  ~UdevMonitor() {
    if (monitor_ != nullptr) udev_monitor_unref(monitor_);
    if (udev_ != nullptr) udev_unref(udev_);
  }
  UdevMonitor(const UdevMonitor&) = delete;
  UdevMonitor& operator=(const UdevMonitor&) = delete;

  int Fd() const { return monitor_ != nullptr ? udev_monitor_get_fd(monitor_) : -1; }
  // The scan that follows reads the tree itself, so the messages only need to be consumed.
  void Drain() {
    if (monitor_ == nullptr) return;
    while (udev_device* d = udev_monitor_receive_device(monitor_)) udev_device_unref(d);
  }

private:
  udev* udev_ = nullptr;
  udev_monitor* monitor_ = nullptr;
};

class SysfsBackend final : public DeviceBackend {
public:
  SysfsBackend(SysfsBackendOptions options, UsbNameTable names)
      : options_(std::move(options)), names_(std::move(names)),
        clock_(options_.clock != nullptr ? *options_.clock : SystemClock()) {}
  ~SysfsBackend() override { Unwatch(); }

  std::vector<UsbDeviceInfo> ListUsbDevices() override { return Scan().devices; }
  std::vector<ComPortInfo> ListComPorts() override { return Scan().comPorts; }
  std::vector<SerialMapEntry> SerialPortMap() override { return Scan().serialMap; }
  std::vector<AdbInterfaceInfo> ListAdbInterfaces() override { return Scan().adbInterfaces; }
  std::vector<UsbBootInfo> ListUsbBootDevices() override { return Scan().usbBootDevices; }

  std::optional<std::string> DeviceNodeForPort(const std::string& portName) override {
    auto node = DeviceNodeForPortName(portName, options_.devRoot);
    std::error_code ec;
    if (!node || !std::filesystem::exists(*node, ec)) return std::nullopt;
    return node;
  }

  void Watch(std::function<void(const DeviceEvent&)> onEvent) override {
    Unwatch();
    stopFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    stop_ = false;
    // The baseline is taken before Watch returns, so a change right after it is reported.
    thread_ = std::thread(&SysfsBackend::Run, this, std::move(onEvent), Scan());
  }

  void Unwatch() override {
    if (!thread_.joinable()) return;
    stop_ = true;
    uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(stopFd_, &one, sizeof one);
    // Called from the event callback itself: the thread ends after the callback returns and
    // is joined by the next Watch, Unwatch or the destructor.
    if (thread_.get_id() == std::this_thread::get_id()) return;
    thread_.join();
    ::close(stopFd_);
    stopFd_ = -1;
  }

private:
  SysfsSnapshot Scan() {
    SysfsSnapshot snapshot =
        ScanSysfs(options_.sysfsRoot, options_.devRoot, names_, options_.useUdev, options_.selector.get());
    ReportBlockedNodes(snapshot);
    return snapshot;
  }

  // A user who may not open the nodes would otherwise only ever see "Not Ready".
  void ReportBlockedNodes(const SysfsSnapshot& snapshot) {
    std::lock_guard lock(reportedMutex_);
    for (const auto& [node, error] : snapshot.blockedNodes) {
      if (!reported_.insert(node).second) continue;
      std::string text = DescribeNodeProblem(node, error);
      if (options_.diag) {
        options_.diag(text);
      } else {
        std::fprintf(stderr, "upwend: %s\n", text.c_str());
      }
    }
  }

  void Run(std::function<void(const DeviceEvent&)> onEvent, SysfsSnapshot last) {
    std::unique_ptr<UdevMonitor> monitor;
    if (options_.useUdev) monitor = std::make_unique<UdevMonitor>();
    while (!stop_) {
      pollfd fds[2] = {{stopFd_, POLLIN, 0}, {monitor ? monitor->Fd() : -1, POLLIN, 0}};
      int r = ::poll(fds, 2, RealPollMs(clock_, static_cast<int64_t>(options_.rescanIntervalMs)));
      if (stop_ || (r > 0 && (fds[0].revents & POLLIN))) break;
      if (monitor) monitor->Drain();
      SysfsSnapshot now = Scan();
      for (const auto& event : DiffSnapshots(last, now)) {
        if (stop_) break;
        onEvent(event);
      }
      last = std::move(now);
    }
  }

  SysfsBackendOptions options_;
  UsbNameTable names_;
  Clock& clock_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::mutex reportedMutex_;
  std::set<std::string> reported_;
  int stopFd_ = -1;
};

}  // namespace

std::vector<std::string> DefaultUsbNameFiles() {
  std::vector<std::string> files;
  if (const char* list = std::getenv("UPWEND_USB_NAMES"); list != nullptr) {
    std::istringstream in(list);
    std::string item;
    while (std::getline(in, item, ':'))
      if (!item.empty()) files.push_back(item);
  }
  files.push_back(CurrentPaths().configDir + "/usb-names.txt");
  return files;
}

std::unique_ptr<DeviceBackend> CreateSysfsBackend(const SysfsBackendOptions& options) {
  UsbNameTable names = UsbNameTable::BuiltIn();
  std::vector<std::string> errors;
  // Later files are added first, so the first file listed ends up in front.
  for (auto it = options.nameFiles.rbegin(); it != options.nameFiles.rend(); ++it)
    names.AddLayer(LoadUsbNameFile(*it, errors));
  for (const auto& e : errors) std::fprintf(stderr, "upwend: USB name table %s\n", e.c_str());
  return std::make_unique<SysfsBackend>(options, std::move(names));
}

std::unique_ptr<DeviceBackend> CreateSysfsBackend(const std::string& sysfsRoot, const std::string& devRoot,
                                                  std::shared_ptr<DeviceSelector> selector) {
  SysfsBackendOptions options;
  options.selector = std::move(selector);
  options.sysfsRoot = sysfsRoot;
  options.devRoot = devRoot;
  options.nameFiles = DefaultUsbNameFiles();
  options.useUdev = sysfsRoot == "/sys";
  return CreateSysfsBackend(options);
}

}  // namespace upwend
