#include "platform/usb_device_path.h"

#include <fmt/format.h>

#include <string_view>
#include <vector>

namespace upwend {

namespace {

constexpr std::string_view kPathPrefix = "\\\\?\\usb#";
constexpr int kMaxBusOrAddress = 255;

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::vector<std::string_view> Split(std::string_view s, char sep) {
  std::vector<std::string_view> out;
  size_t start = 0;
  while (true) {
    size_t at = s.find(sep, start);
    out.push_back(s.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start));
    if (at == std::string_view::npos) return out;
    start = at + 1;
  }
}

// "key_value" with a value of exactly `digits` characters in the given base.
std::optional<uint32_t> Field(std::string_view part, std::string_view key, size_t minDigits, size_t maxDigits,
                              int base) {
  if (!part.starts_with(key) || part.size() <= key.size() || part[key.size()] != '_') return std::nullopt;
  std::string_view v = part.substr(key.size() + 1);
  if (v.size() < minDigits || v.size() > maxDigits) return std::nullopt;
  uint32_t n = 0;
  for (char c : v) {
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else return std::nullopt;
    n = n * static_cast<uint32_t>(base) + static_cast<uint32_t>(d);
  }
  return n;
}

std::string Ids(uint16_t vid, uint16_t pid) { return fmt::format("vid_{:04x}&pid_{:04x}", vid, pid); }
std::string Location(int bus, int address) { return fmt::format("bus_{:03d}&dev_{:03d}", bus, address); }

}  // namespace

std::string AdbInterfacePath(uint16_t vendorId, uint16_t productId, int bus, int address, uint8_t interfaceNumber,
                             bool composite) {
  std::string mi = composite ? fmt::format("&mi_{:02x}", interfaceNumber) : std::string();
  return fmt::format("{}{}{}#{}&if_{:02x}#{}", kPathPrefix, Ids(vendorId, productId), mi, Location(bus, address),
                     interfaceNumber, kAdbInterfaceClassGuid);
}

std::string UsbBootDevicePath(uint16_t vendorId, uint16_t productId, int bus, int address) {
  return fmt::format("{}{}#{}#{}", kPathPrefix, Ids(vendorId, productId), Location(bus, address), kUsbBootClassGuid);
}

std::string UsbDevicePath(uint16_t vendorId, uint16_t productId, int bus, int address) {
  return fmt::format("{}{}#{}", kPathPrefix, Ids(vendorId, productId), Location(bus, address));
}

std::optional<UsbDeviceAddress> ParseUsbDevicePath(const std::string& path) {
  std::string lower = Lower(path);
  if (!std::string_view(lower).starts_with(kPathPrefix)) return std::nullopt;
  UsbDeviceAddress out;
  std::string_view rest = std::string_view(lower).substr(kPathPrefix.size());
  if (size_t slash = rest.find('\\'); slash != std::string_view::npos) {
    out.pipe = path.substr(kPathPrefix.size() + slash + 1);
    rest = rest.substr(0, slash);
    if (out.pipe.empty() || out.pipe.find('\\') != std::string::npos) return std::nullopt;
  }
  auto sections = Split(rest, '#');
  if (sections.size() < 2 || sections.size() > 3) return std::nullopt;
  if (sections.size() == 3 && sections[2] != kAdbInterfaceClassGuid && sections[2] != kUsbBootClassGuid)
    return std::nullopt;

  auto ids = Split(sections[0], '&');
  if (ids.size() < 2 || ids.size() > 3) return std::nullopt;
  auto vid = Field(ids[0], "vid", 4, 4, 16);
  auto pid = Field(ids[1], "pid", 4, 4, 16);
  if (!vid || !pid) return std::nullopt;
  out.vendorId = static_cast<uint16_t>(*vid);
  out.productId = static_cast<uint16_t>(*pid);
  std::optional<uint32_t> mi;
  if (ids.size() == 3) {
    mi = Field(ids[2], "mi", 2, 2, 16);
    if (!mi) return std::nullopt;
    out.composite = true;
  }

  auto loc = Split(sections[1], '&');
  if (loc.size() < 2 || loc.size() > 3) return std::nullopt;
  auto bus = Field(loc[0], "bus", 1, 3, 10);
  auto dev = Field(loc[1], "dev", 1, 3, 10);
  if (!bus || !dev || *bus > kMaxBusOrAddress || *dev > kMaxBusOrAddress) return std::nullopt;
  out.busNumber = static_cast<int>(*bus);
  out.deviceAddress = static_cast<int>(*dev);
  if (loc.size() == 3) {
    auto in = Field(loc[2], "if", 2, 2, 16);
    if (!in) return std::nullopt;
    out.interfaceNumber = static_cast<uint8_t>(*in);
  }
  if (mi && out.interfaceNumber != mi) return std::nullopt;
  return out;
}

std::optional<std::pair<uint16_t, uint16_t>> UsbIdsInText(const std::string& text) {
  std::string lower = Lower(text);
  auto id = [&lower](const char* key) -> std::optional<uint16_t> {
    size_t at = lower.find(key);
    if (at == std::string::npos) return std::nullopt;
    auto v = Field(std::string_view(lower).substr(at, 8), std::string_view(key).substr(0, 3), 4, 4, 16);
    return v ? std::optional<uint16_t>(static_cast<uint16_t>(*v)) : std::nullopt;
  };
  auto vid = id("vid_");
  auto pid = id("pid_");
  if (!vid || !pid) return std::nullopt;
  return std::pair{*vid, *pid};
}

}  // namespace upwend
