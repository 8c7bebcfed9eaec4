#include "app/console/device_list.h"

#include <fmt/format.h>

#include "platform/device_backend.h"
#include "platform/ini_file.h"

namespace upwend {

namespace {

// "VID_05C6&PID_9025" -> "05c6:9025"; "" when the text carries no IDs.
std::string UsbIds(const std::string& text) {
  std::string lower = AsciiLower(text);
  size_t v = lower.find("vid_");
  size_t p = lower.find("pid_");
  if (v == std::string::npos || p == std::string::npos || v + 8 > lower.size() || p + 8 > lower.size()) return {};
  return lower.substr(v + 4, 4) + ":" + lower.substr(p + 4, 4);
}

// A fastboot interface of a composite device is the device still in its normal mode.
const char* AdbMode(const std::string& path) {
  return AsciiLower(path).find("mi_0") != std::string::npos ? "normal" : "fastboot";
}

}  // namespace

std::string DeviceListing(DeviceBackend& devices) {
  std::string out;
  auto ports = devices.ListComPorts();
  auto map = devices.SerialPortMap();
  auto adb = devices.ListAdbInterfaces();
  auto boot = devices.ListUsbBootDevices();
  if (ports.empty() && map.empty() && adb.empty() && boot.empty()) return "no devices\n";
  for (const ComPortInfo& p : ports) {
    out += fmt::format("port    {:<7} {:<14} {:<10} normal    {}\n", p.portName, p.deviceNode, UsbIds(p.hardwareId),
                       p.friendlyName);
  }
  for (const SerialMapEntry& m : map) {
    bool listed = false;
    for (const ComPortInfo& p : ports) listed = listed || p.portName == m.portName;
    if (!listed) out += fmt::format("modem   {:<7} {:<14} (AT probe candidate)\n", m.portName, m.valueName);
  }
  for (const AdbInterfaceInfo& a : adb)
    out += fmt::format("adb     {:<10} {:<9} {}\n", UsbIds(a.devicePath), AdbMode(a.devicePath), a.devicePath);
  for (const UsbBootInfo& b : boot)
    out += fmt::format("boot    {:<10} usb-boot  {}\n", UsbIds(b.devicePath), b.devicePath);
  return out;
}

}  // namespace upwend
