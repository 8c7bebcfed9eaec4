#include "tools/adbwinapi/device_path.h"

#include "platform/ini_file.h"
#include "platform/usb_device_path.h"

#include <fmt/format.h>

#include <charconv>
#include <optional>
#include <vector>

namespace upwend::adb {

namespace {

std::vector<std::string_view> Split(std::string_view text, char sep) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (;;) {
    size_t pos = text.find(sep, start);
    parts.push_back(text.substr(start, pos == std::string_view::npos ? std::string_view::npos : pos - start));
    if (pos == std::string_view::npos) return parts;
    start = pos + 1;
  }
}

// Whole-field number in the given base within [low, high].
std::optional<unsigned> Number(std::string_view text, int base, unsigned low, unsigned high, size_t maxDigits) {
  if (text.empty() || text.size() > maxDigits) return std::nullopt;
  unsigned value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high) return std::nullopt;
  return value;
}

Expected<DevicePath, std::string> ParseTcp(std::string_view rest) {
  TcpPath path;
  std::string_view portText;
  if (!rest.empty() && rest.front() == '[') {
    size_t close = rest.find(']');
    if (close == std::string_view::npos) return Unexpected("unclosed '[' in the host");
    path.host = std::string(rest.substr(1, close - 1));
    rest.remove_prefix(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') return Unexpected("expected ':' after the bracketed host");
      portText = rest.substr(1);
      if (portText.empty()) return Unexpected("empty port");
    }
  } else {
    size_t colon = rest.find(':');
    path.host = std::string(rest.substr(0, colon));
    if (colon != std::string_view::npos) {
      portText = rest.substr(colon + 1);
      if (portText.empty()) return Unexpected("empty port");
    }
  }
  if (path.host.empty()) return Unexpected("empty host");
  if (!portText.empty()) {
    auto port = Number(portText, 10, 1, 65535, 5);
    if (!port) return Unexpected(fmt::format("bad port '{}'", portText));
    path.port = static_cast<uint16_t>(*port);
  }
  return path;
}

Expected<DevicePath, std::string> ParseUsb(std::string_view rest) {
  auto f = Split(rest, ':');
  if (f.size() != 5 && f.size() != 6) return Unexpected("expected usb:BUS:ADDR:IFACE:VID:PID[:MI_NN]");
  auto bus = Number(f[0], 10, 1, 255, 3);
  auto address = Number(f[1], 10, 1, 127, 3);
  auto iface = Number(f[2], 10, 0, 255, 3);
  auto vid = Number(f[3], 16, 0, 0xFFFF, 4);
  auto pid = Number(f[4], 16, 0, 0xFFFF, 4);
  if (!bus) return Unexpected(fmt::format("bad bus number '{}'", f[0]));
  if (!address) return Unexpected(fmt::format("bad device address '{}'", f[1]));
  if (!iface) return Unexpected(fmt::format("bad interface number '{}'", f[2]));
  if (!vid || f[3].size() != 4) return Unexpected(fmt::format("bad vendor ID '{}'", f[3]));
  if (!pid || f[4].size() != 4) return Unexpected(fmt::format("bad product ID '{}'", f[4]));
  UsbPath path{static_cast<uint8_t>(*bus), static_cast<uint8_t>(*address), static_cast<uint8_t>(*iface),
               static_cast<uint16_t>(*vid), static_cast<uint16_t>(*pid), false, {}};
  if (f.size() == 6) {
    std::string_view mi = f[5];
    if (mi.size() != 5 || (mi.substr(0, 3) != "MI_" && mi.substr(0, 3) != "mi_")) {
      return Unexpected(fmt::format("bad composite marker '{}'", mi));
    }
    auto n = Number(mi.substr(3), 16, 0, 255, 2);
    if (!n || *n != path.interfaceNumber) {
      return Unexpected(fmt::format("composite marker '{}' does not name interface {}", mi, path.interfaceNumber));
    }
    path.composite = true;
  }
  return path;
}

// "\\?\usb#vid_V&pid_P[&mi_NN]#INSTANCE#{ADB class}", letter case ignored; nullopt when the
// path is not of that shape.
std::optional<UsbPath> ParseSystemInterfacePath(std::string_view path) {
  constexpr std::string_view kPrefix = "\\\\?\\usb#";
  const std::string lower = AsciiLower(path);
  if (!std::string_view(lower).starts_with(kPrefix)) return std::nullopt;
  auto sections = Split(std::string_view(lower).substr(kPrefix.size()), '#');
  if (sections.size() != 3 || sections[1].empty() || sections[1].find('\\') != std::string_view::npos ||
      sections[2] != kAdbInterfaceClassGuid) {
    return std::nullopt;
  }
  auto ids = Split(sections[0], '&');
  if (ids.size() != 2 && ids.size() != 3) return std::nullopt;
  auto field = [](std::string_view part, std::string_view key) -> std::optional<unsigned> {
    if (!part.starts_with(key) || part.size() != key.size() + 4) return std::nullopt;
    return Number(part.substr(key.size()), 16, 0, 0xFFFF, 4);
  };
  auto vid = field(ids[0], "vid_");
  auto pid = field(ids[1], "pid_");
  if (!vid || !pid) return std::nullopt;
  UsbPath out;
  out.vendorId = static_cast<uint16_t>(*vid);
  out.productId = static_cast<uint16_t>(*pid);
  if (ids.size() == 3) {
    if (!ids[2].starts_with("mi_") || ids[2].size() != 5) return std::nullopt;
    auto mi = Number(ids[2].substr(3), 16, 0, 255, 2);
    if (!mi) return std::nullopt;
    out.interfaceNumber = static_cast<uint8_t>(*mi);
    out.composite = true;
  }
  out.systemPath = std::string(path);
  return out;
}

}  // namespace

Expected<DevicePath, std::string> ParseDevicePath(std::string_view path) {
  if (path.size() > kMaxDevicePathLength) return Unexpected("device path too long");
  for (char c : path) {
    if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7F) {
      return Unexpected("device path holds a blank or a non-ASCII character");
    }
  }
  if (path.starts_with("tcp:")) return ParseTcp(path.substr(4));
  if (path.starts_with("usb:")) return ParseUsb(path.substr(4));
  // A device-interface path that names a network endpoint ("...#tcp:HOST:PORT#{class}").
  if (size_t at = path.find("#tcp:"); at != std::string_view::npos) {
    std::string_view endpoint = path.substr(at + 5);
    return ParseTcp(endpoint.substr(0, endpoint.find('#')));
  }
  // The device backend's interface paths, shaped like Windows device-interface paths.
  if (auto usb = ParseUsbDevicePath(std::string(path)); usb && usb->interfaceNumber) {
    if (usb->busNumber < 1 || usb->busNumber > 255 || usb->deviceAddress < 1 || usb->deviceAddress > 127) {
      return Unexpected(fmt::format("bus or address out of range in '{}'", path));
    }
    UsbPath p;
    p.bus = static_cast<uint8_t>(usb->busNumber);
    p.address = static_cast<uint8_t>(usb->deviceAddress);
    p.interfaceNumber = *usb->interfaceNumber;
    p.vendorId = usb->vendorId;
    p.productId = usb->productId;
    p.composite = usb->composite;
    return DevicePath(p);
  }
  if (auto system = ParseSystemInterfacePath(path)) return DevicePath(*system);
  return Unexpected(fmt::format("unknown device path '{}' (expected tcp:... or usb:...)", path));
}

std::string FormatUsbPath(const UsbPath& path) {
  if (!path.systemPath.empty()) return path.systemPath;
  std::string text = fmt::format("usb:{:03}:{:03}:{}:{:04x}:{:04x}", path.bus, path.address, path.interfaceNumber,
                                 path.vendorId, path.productId);
  if (path.composite) text += fmt::format(":MI_{:02X}", path.interfaceNumber);
  return text;
}

Expected<std::string, std::string> NarrowDevicePath(const wchar_t* path) {
  if (path == nullptr) return Unexpected("no device path");
  std::string narrow;
  for (const wchar_t* p = path; *p != L'\0'; ++p) {
    if (narrow.size() >= kMaxDevicePathLength) return Unexpected("device path too long");
    if (static_cast<uint32_t>(*p) >= 0x80) return Unexpected("device path holds a non-ASCII character");
    narrow.push_back(static_cast<char>(*p));
  }
  return narrow;
}

}  // namespace upwend::adb
