#include "platform/posix/sysfs_scan.h"

#include <fmt/format.h>

#include <libudev.h>

#include <algorithm>
#include <map>
#include <set>
#include <string_view>
#include <filesystem>
#include <fstream>
#include <optional>
#include <tuple>

#include "platform/device_selector.h"
#include "platform/digits.h"
#include "platform/node_access.h"
#include "platform/port_names.h"
#include "platform/usb_device_path.h"

namespace upwend {

namespace fs = std::filesystem;

namespace {

constexpr size_t kMaxAttrBytes = 4096;
constexpr size_t kMaxProductLength = 128;
constexpr int kMaxParentDepth = 16;
constexpr uint8_t kAdbClass = 0xFF;
constexpr uint8_t kAdbSubClass = 0x42;
constexpr uint8_t kFastbootProtocol = 0x03;
constexpr uint8_t kMassStorageClass = 0x08;
constexpr const char* kFallbackProduct = "USB Serial Device";

// A sysfs attribute without its trailing newline; nullopt when it cannot be read.
std::optional<std::string> ReadAttr(const fs::path& dir, const char* name) {
  std::ifstream f(dir / name, std::ios::binary);
  if (!f) return std::nullopt;
  std::string text(kMaxAttrBytes, '\0');
  f.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<size_t>(f.gcount()));
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ' || text.back() == '\r')) text.pop_back();
  return text;
}

std::optional<uint32_t> ReadNumberAttr(const fs::path& dir, const char* name, int base, size_t maxDigits) {
  auto text = ReadAttr(dir, name);
  if (!text) return std::nullopt;
  size_t start = text->find_first_not_of(' ');  // "%2d" pads with a blank
  if (start == std::string::npos) return std::nullopt;
  auto v = ParseDigits(std::string_view(*text).substr(start), base, maxDigits);
  if (!v) return std::nullopt;
  return static_cast<uint32_t>(*v);
}

struct UsbDevice {
  std::string sysName;  // "1-2"
  std::string devpath;  // below the sysfs root: "/devices/.../1-2"
  std::string serial;
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  uint16_t revision = 0;
  int bus = 0;
  int address = 0;
  int interfaceCount = 1;
  std::string product;
};

struct UsbInterface {
  uint8_t number = 0;
  uint8_t cls = 0;
  uint8_t subClass = 0;
  uint8_t protocol = 0;
};

std::optional<UsbDevice> ReadUsbDevice(const fs::path& dir) {
  auto vid = ReadNumberAttr(dir, "idVendor", 16, 4);
  auto pid = ReadNumberAttr(dir, "idProduct", 16, 4);
  auto bus = ReadNumberAttr(dir, "busnum", 10, 3);
  auto dev = ReadNumberAttr(dir, "devnum", 10, 3);
  if (!vid || !pid || !bus || !dev) return std::nullopt;
  UsbDevice d;
  d.sysName = dir.filename().string();
  d.vendorId = static_cast<uint16_t>(*vid);
  d.productId = static_cast<uint16_t>(*pid);
  d.revision = static_cast<uint16_t>(ReadNumberAttr(dir, "bcdDevice", 16, 4).value_or(0));
  d.bus = static_cast<int>(*bus);
  d.address = static_cast<int>(*dev);
  d.interfaceCount = static_cast<int>(ReadNumberAttr(dir, "bNumInterfaces", 10, 3).value_or(1));
  d.product = ReadAttr(dir, "product").value_or("");
  d.serial = ReadAttr(dir, "serial").value_or("");
  return d;
}

std::optional<UsbInterface> ReadUsbInterface(const fs::path& dir) {
  auto number = ReadNumberAttr(dir, "bInterfaceNumber", 16, 2);
  auto cls = ReadNumberAttr(dir, "bInterfaceClass", 16, 2);
  auto sub = ReadNumberAttr(dir, "bInterfaceSubClass", 16, 2);
  auto proto = ReadNumberAttr(dir, "bInterfaceProtocol", 16, 2);
  if (!number || !cls || !sub || !proto) return std::nullopt;
  return UsbInterface{static_cast<uint8_t>(*number), static_cast<uint8_t>(*cls), static_cast<uint8_t>(*sub),
                      static_cast<uint8_t>(*proto)};
}

bool IsBelow(const fs::path& dir, const std::string& root) {
  const std::string& s = dir.native();
  return s.size() > root.size() && s.compare(0, root.size(), root) == 0 && s[root.size()] == '/';
}

// The USB interface folder above a tty's device folder (ttyUSB: <intf>/ttyUSB0/tty/ttyUSB0,
// ttyACM: <intf>/tty/ttyACM0); empty when the tty has no USB parent.
fs::path FindUsbInterfaceDir(fs::path dir, const std::string& devicesRoot) {
  std::error_code ec;
  for (int depth = 0; depth < kMaxParentDepth && IsBelow(dir, devicesRoot); ++depth, dir = dir.parent_path()) {
    if (fs::exists(dir / "bInterfaceNumber", ec) && fs::exists(dir.parent_path() / "idVendor", ec)) return dir;
  }
  return {};
}

// Product strings come from the device: keep them printable and free of the parentheses that
// the port-name rule looks for.
std::string FallbackName(const std::string& product, uint8_t interfaceNumber) {
  std::string clean;
  for (unsigned char c : product) {
    if (c < 0x20 || c == 0x7F) continue;
    clean += c == '(' ? '[' : c == ')' ? ']' : static_cast<char>(c);
    if (clean.size() >= kMaxProductLength) break;
  }
  while (!clean.empty() && clean.back() == ' ') clean.pop_back();
  size_t start = clean.find_first_not_of(' ');
  clean = start == std::string::npos ? std::string(kFallbackProduct) : clean.substr(start);
  return fmt::format("{} Interface {}", clean, interfaceNumber);
}

std::string HardwareId(const UsbDevice& d, const UsbInterface& i) {
  std::string id = fmt::format("USB\\VID_{:04X}&PID_{:04X}&REV_{:04X}", d.vendorId, d.productId, d.revision);
  if (d.interfaceCount > 1) id += fmt::format("&MI_{:02X}", i.number);
  return id;
}

// Drivers of USB modems' serial functions. A tty bound to any other driver (a USB-serial
// adapter, a GPS, a console cable) is never sent an AT probe.
bool IsModemDriver(const std::string& driver) {
  static const std::set<std::string> kModemDrivers = {"option", "qcserial", "qcaux", "cdc_acm", "sierra", "GobiSerial"};
  return driver.empty() || kModemDrivers.contains(driver);
}

std::string DriverOf(const fs::path& intfDir) {
  std::error_code ec;
  fs::path target = fs::read_symlink(intfDir / "driver", ec);
  return ec ? std::string() : target.filename().string();
}

// ModemManager's port typing from udev (ID_MM_PORT_TYPE_*), for ports the name table does not know.
enum class MmPortType { None, Qcdm, AtPrimary };

class UdevProperties {
public:
  explicit UdevProperties(bool use) : udev_(use ? udev_new() : nullptr) {}
  ~UdevProperties() {
    if (udev_ != nullptr) udev_unref(udev_);
  }
  UdevProperties(const UdevProperties&) = delete;
  UdevProperties& operator=(const UdevProperties&) = delete;

  MmPortType PortType(const std::string& ttyName) const {
    if (udev_ == nullptr) return MmPortType::None;
    udev_device* d = udev_device_new_from_subsystem_sysname(udev_, "tty", ttyName.c_str());
    if (d == nullptr) return MmPortType::None;
    auto set = [d](const char* key) {
      const char* v = udev_device_get_property_value(d, key);
      return v != nullptr && std::string_view(v) == "1";
    };
    MmPortType type = set("ID_MM_PORT_TYPE_QCDM")         ? MmPortType::Qcdm
                      : set("ID_MM_PORT_TYPE_AT_PRIMARY") ? MmPortType::AtPrimary
                                                          : MmPortType::None;
    udev_device_unref(d);
    return type;
  }

private:
  udev* udev_;
};

std::string Identity(const UsbDevice& d) { return fmt::format("{}#{}", d.sysName, d.address); }

// What one scan learns about whole devices, and which devices it may look at.
class DeviceTally {
public:
  DeviceTally(const std::string& root, DeviceSelector* selector) : root_(root), selector_(selector) {}

  // Whether the device is the chosen one (every device when none is chosen).
  bool Keep(UsbDevice& d, const fs::path& dir) {
    if (d.devpath.empty() && dir.native().size() > root_.size()) d.devpath = dir.native().substr(root_.size());
    return selector_ == nullptr || selector_->Matches(Info(d));
  }
  void NotePort(const UsbDevice& d, const std::string& portName) { Of(d).info.ports.push_back(portName); }
  void NoteAdb(const UsbDevice& d, const std::string& path) {
    Of(d).info.interfaces.push_back(path);
    Of(d).adb = true;
  }
  void NoteBoot(const UsbDevice& d, const std::string& path) {
    Of(d).info.interfaces.push_back(path);
    Of(d).boot = true;
  }
  void NoteMassStorage(const UsbDevice& d) { Of(d).massStorage = true; }

  // Devices with something the tool looks for, their mode named; a mass-storage device only
  // when its vendor is one the name table knows (the product's disk mode, not any USB stick).
  std::vector<UsbDeviceInfo> Devices(const UsbNameTable& names) const {
    std::vector<UsbDeviceInfo> out;
    for (const auto& [name, seen] : devices_) {
      UsbDeviceInfo d = seen.info;
      if (seen.boot) {
        d.mode = "usb-boot";
      } else if (!d.ports.empty() || (seen.adb && seen.composite)) {
        d.mode = "normal";
      } else if (seen.adb) {
        d.mode = "fastboot";
      } else if (seen.massStorage && names.KnowsVendor(d.vendorId)) {
        d.mode = "disk";
      } else {
        continue;
      }
      out.push_back(std::move(d));
    }
    return out;
  }

private:
  static UsbDeviceInfo Info(const UsbDevice& d) {
    UsbDeviceInfo i;
    i.path = d.sysName;
    i.devpath = d.devpath;
    i.serial = d.serial;
    i.vendorId = d.vendorId;
    i.productId = d.productId;
    i.product = d.product;
    return i;
  }

  struct Seen {
    UsbDeviceInfo info;
    bool composite = false;
    bool adb = false;
    bool boot = false;
    bool massStorage = false;
  };
  Seen& Of(const UsbDevice& d) {
    auto [it, added] = devices_.try_emplace(d.sysName);
    if (added) {
      it->second.info = Info(d);
      it->second.composite = d.interfaceCount > 1;
    }
    return it->second;
  }

  std::string root_;
  DeviceSelector* selector_;
  std::map<std::string, Seen> devices_;
};

void ScanTtys(const fs::path& root, const std::string& devicesRoot, const std::string& devRoot,
              const UsbNameTable& names, const UdevProperties& udev, DeviceTally& tally, SysfsSnapshot& out) {
  std::error_code ec;
  std::vector<std::pair<int, ComPortInfo>> ports;
  std::vector<std::pair<int, SerialMapEntry>> map;
  for (const auto& entry : fs::directory_iterator(root / "class" / "tty", ec)) {
    std::string ttyName = entry.path().filename().string();
    auto number = PortNumberForTty(ttyName);
    if (!number) continue;
    fs::path real = fs::canonical(entry.path(), ec);
    if (ec) continue;
    fs::path intfDir = FindUsbInterfaceDir(real.parent_path(), devicesRoot);
    if (intfDir.empty()) continue;
    auto device = ReadUsbDevice(intfDir.parent_path());
    auto intf = ReadUsbInterface(intfDir);
    std::string node = devRoot + "/" + ttyName;
    if (!device || !intf || !fs::exists(node, ec)) continue;
    if (!tally.Keep(*device, intfDir.parent_path())) continue;
    if (int error = NodeAccessError(node); error != 0) out.blockedNodes.emplace_back(node, error);
    std::string portName = fmt::format("COM{}", *number);
    tally.NotePort(*device, portName);
    if (IsModemDriver(DriverOf(intfDir))) map.emplace_back(*number, SerialMapEntry{node, portName});
    out.present.push_back({DeviceType::Port, portName, portName + "@" + Identity(*device)});
    const UsbNameEntry* named = names.Find(device->vendorId, device->productId, intf->number);
    if (named != nullptr && named->role == UsbRole::Modem) continue;
    MmPortType mmType = named != nullptr ? MmPortType::None : udev.PortType(ttyName);
    if (mmType == MmPortType::AtPrimary) continue;  // a modem port: left to the AT probe
    std::string text = named != nullptr              ? named->name
                       : mmType == MmPortType::Qcdm ? FallbackName(device->product + " Diagnostics", intf->number)
                                                    : FallbackName(device->product, intf->number);
    ports.emplace_back(*number,
                       ComPortInfo{fmt::format("{} ({})", text, portName), text, HardwareId(*device, *intf), portName, node});
  }
  std::sort(ports.begin(), ports.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::sort(map.begin(), map.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  for (auto& p : ports) out.comPorts.push_back(std::move(p.second));
  for (auto& m : map) out.serialMap.push_back(std::move(m.second));
}

void NoteBlockedUsbNode(const UsbDevice& device, const std::string& devRoot, SysfsSnapshot& out) {
  std::string node = UsbDeviceNode(device.bus, device.address, devRoot);
  std::error_code ec;
  if (!fs::exists(node, ec)) return;
  if (int error = NodeAccessError(node); error != 0) out.blockedNodes.emplace_back(node, error);
}

void ScanUsb(const fs::path& root, const std::string& devRoot, const UsbNameTable& names, DeviceTally& tally,
             SysfsSnapshot& out) {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(root / "bus" / "usb" / "devices", ec)) {
    fs::path real = fs::canonical(entry.path(), ec);
    if (ec) continue;
    if (fs::exists(real / "bInterfaceClass", ec)) {
      auto intf = ReadUsbInterface(real);
      if (!intf) continue;
      bool fastboot = intf->cls == kAdbClass && intf->subClass == kAdbSubClass && intf->protocol == kFastbootProtocol;
      if (!fastboot && intf->cls != kMassStorageClass) continue;
      auto device = ReadUsbDevice(real.parent_path());
      if (!device || !tally.Keep(*device, real.parent_path())) continue;
      if (!fastboot) {
        tally.NoteMassStorage(*device);
        continue;
      }
      std::string path = AdbInterfacePath(device->vendorId, device->productId, device->bus, device->address,
                                          intf->number, device->interfaceCount > 1);
      out.adbInterfaces.push_back({path});
      tally.NoteAdb(*device, path);
      NoteBlockedUsbNode(*device, devRoot, out);
      out.present.push_back({DeviceType::Interface, path, path});
      continue;
    }
    auto device = ReadUsbDevice(real);
    if (!device || !tally.Keep(*device, real)) continue;
    std::string path = UsbDevicePath(device->vendorId, device->productId, device->bus, device->address);
    out.present.push_back({DeviceType::Other, path, path});
    if (names.IsBootDevice(device->vendorId, device->productId)) {
      std::string bootPath = UsbBootDevicePath(device->vendorId, device->productId, device->bus, device->address);
      out.usbBootDevices.push_back({bootPath});
      tally.NoteBoot(*device, bootPath);
      NoteBlockedUsbNode(*device, devRoot, out);
      out.present.push_back({DeviceType::Interface, bootPath, bootPath});
    }
  }
  auto byPath = [](const auto& a, const auto& b) { return a.devicePath < b.devicePath; };
  std::sort(out.adbInterfaces.begin(), out.adbInterfaces.end(), byPath);
  std::sort(out.usbBootDevices.begin(), out.usbBootDevices.end(), byPath);
}

int RemovalRank(DeviceType t) { return t == DeviceType::Port ? 0 : t == DeviceType::Interface ? 1 : 2; }

}  // namespace

SysfsSnapshot ScanSysfs(const std::string& sysfsRoot, const std::string& devRoot, const UsbNameTable& names,
                        bool udevProperties, DeviceSelector* selector) {
  SysfsSnapshot out;
  std::error_code ec;
  fs::path root = fs::canonical(sysfsRoot, ec);
  if (ec) return out;
  std::string devicesRoot = (root / "devices").native();
  UdevProperties udev(udevProperties);
  DeviceTally tally(root.native(), selector);
  ScanTtys(root, devicesRoot, devRoot, names, udev, tally, out);
  ScanUsb(root, devRoot, names, tally, out);
  out.devices = tally.Devices(names);
  std::sort(out.present.begin(), out.present.end(), [](const PresentItem& a, const PresentItem& b) {
    return std::tuple(RemovalRank(a.type), a.name, a.identity) < std::tuple(RemovalRank(b.type), b.name, b.identity);
  });
  return out;
}

std::vector<DeviceEvent> DiffSnapshots(const SysfsSnapshot& before, const SysfsSnapshot& after) {
  auto contains = [](const std::vector<PresentItem>& list, const PresentItem& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
  };
  std::vector<DeviceEvent> events;
  for (const auto& item : before.present)  // ports first: `present` is in removal order
    if (!contains(after.present, item)) events.push_back({DeviceEventKind::RemoveComplete, item.type, item.name});
  std::vector<PresentItem> arrived;
  for (const auto& item : after.present)
    if (!contains(before.present, item)) arrived.push_back(item);
  std::stable_sort(arrived.begin(), arrived.end(),
                   [](const PresentItem& a, const PresentItem& b) { return RemovalRank(a.type) > RemovalRank(b.type); });
  for (const auto& item : arrived) events.push_back({DeviceEventKind::Arrival, item.type, item.name});
  return events;
}

}  // namespace upwend
