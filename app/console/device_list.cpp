#include "app/console/device_list.h"

#include <fmt/format.h>

#include <algorithm>
#include <functional>

#include "platform/device_backend.h"
#include "platform/device_selector.h"
#include "platform/ini_file.h"
#include "platform/usb_device_path.h"

namespace upwend {

namespace {

// "VID_05C6&PID_9025" -> "05c6:9025"; "" when the text carries no IDs.
std::string UsbIds(const std::string& text) {
  auto ids = UsbIdsInText(text);
  return ids ? fmt::format("{:04x}:{:04x}", ids->first, ids->second) : std::string();
}

// A fastboot interface of a composite device is the device still in its normal mode.
const char* AdbMode(const std::string& path) {
  return AsciiLower(path).find("mi_0") != std::string::npos ? "normal" : "fastboot";
}

bool Has(const std::vector<std::string>& list, const std::string& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

struct Lists {
  std::vector<ComPortInfo> ports;
  std::vector<SerialMapEntry> map;
  std::vector<AdbInterfaceInfo> adb;
  std::vector<UsbBootInfo> boot;
};

// The lines of every item `belongs` accepts (by port name or device path).
std::string ItemLines(const Lists& l, const std::function<bool(const std::string&)>& belongs) {
  std::string out;
  for (const ComPortInfo& p : l.ports) {
    if (!belongs(p.portName)) continue;
    out += fmt::format("port    {:<7} {:<14} {:<10} normal    {}\n", p.portName, p.deviceNode, UsbIds(p.hardwareId),
                       p.friendlyName);
  }
  for (const SerialMapEntry& m : l.map) {
    bool listed = std::any_of(l.ports.begin(), l.ports.end(), [&](const ComPortInfo& p) { return p.portName == m.portName; });
    if (!listed && belongs(m.portName))
      out += fmt::format("modem   {:<7} {:<14} (AT probe candidate)\n", m.portName, m.valueName);
  }
  for (const AdbInterfaceInfo& a : l.adb)
    if (belongs(a.devicePath))
      out += fmt::format("adb     {:<10} {:<9} {}\n", UsbIds(a.devicePath), AdbMode(a.devicePath), a.devicePath);
  for (const UsbBootInfo& b : l.boot)
    if (belongs(b.devicePath)) out += fmt::format("boot    {:<10} usb-boot  {}\n", UsbIds(b.devicePath), b.devicePath);
  return out;
}

}  // namespace

std::string DeviceListing(DeviceBackend& devices) {
  auto usb = devices.ListUsbDevices();
  Lists l{devices.ListComPorts(), devices.SerialPortMap(), devices.ListAdbInterfaces(), devices.ListUsbBootDevices()};
  if (usb.empty() && l.ports.empty() && l.map.empty() && l.adb.empty() && l.boot.empty()) return "no devices\n";
  std::string out;
  for (const UsbDeviceInfo& d : usb) {
    out += fmt::format("device  {:<10} {}  {:<9} serial {}{}\n", d.path, UsbIdText(d), d.mode,
                       d.serial.empty() ? "(none)" : d.serial, d.product.empty() ? "" : "  " + d.product);
    out += ItemLines(l, [&d](const std::string& name) { return Has(d.ports, name) || Has(d.interfaces, name); });
  }
  out += ItemLines(l, [&usb](const std::string& name) {
    return std::none_of(usb.begin(), usb.end(),
                        [&](const UsbDeviceInfo& d) { return Has(d.ports, name) || Has(d.interfaces, name); });
  });
  return out;
}

std::string ChosenDeviceProblem(const std::string& backend, const std::string& device) {
  std::string error;
  auto all = CreateUnfilteredDeviceBackend(backend, error);
  if (!all) return error;
  return DescribeDeviceChoice(all->ListUsbDevices(), device);
}

}  // namespace upwend
