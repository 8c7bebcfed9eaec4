#include "platform/port_names.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <string_view>

namespace upwend {

namespace {

constexpr std::string_view kPrefix = "\\\\.\\";
constexpr int kMaxPortDigits = 6;
// More digits than an int holds are never read from a field.
constexpr size_t kMaxFieldDigits = 9;

// One block of port numbers per tty driver; minor 0 is the block's first port.
struct TtyRange {
  std::string_view stem;
  int firstPort;
  int count;
};
constexpr std::array<TtyRange, 3> kRanges{{
    {"ttyS", kFirstUartPort, kFirstUsbSerialPort - kFirstUartPort},
    {"ttyUSB", kFirstUsbSerialPort, kPortsPerDriver},
    {"ttyACM", kFirstAcmPort, kPortsPerDriver},
}};

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

// Decimal digits without a leading zero; nullopt otherwise.
std::optional<int> ParseNumber(std::string_view digits) {
  if (digits.empty() || digits.size() > kMaxPortDigits) return std::nullopt;
  if (digits[0] == '0' && digits.size() > 1) return std::nullopt;
  int n = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
  }
  return n;
}

}  // namespace

std::optional<int> ParsePortName(const std::string& name) {
  std::string_view text = name;
  if (text.starts_with(kPrefix)) text.remove_prefix(kPrefix.size());
  if (text.size() < 4 || !EqualsIgnoreCase(text.substr(0, 3), "COM")) return std::nullopt;
  auto n = ParseNumber(text.substr(3));
  if (!n || *n == 0) return std::nullopt;
  return n;
}

std::optional<int> PortFieldDigits(std::string_view afterCom, size_t width, PortDigits rule) {
  std::string_view window = afterCom.substr(0, std::min(width, afterCom.size()));
  if (rule == PortDigits::kLeading) {
    size_t end = 0;
    while (end < window.size() && window[end] >= '0' && window[end] <= '9') ++end;
    window = window.substr(0, end);
  }
  if (window.empty() || window.size() > kMaxFieldDigits) return std::nullopt;
  int n = 0;
  for (char c : window) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
  }
  return n;
}

std::string PortDeviceName(int portNumber) {
  constexpr int kFirstPrefixedPort = 10;
  return fmt::format("{}COM{}", portNumber >= kFirstPrefixedPort ? kPrefix : "", portNumber);
}

std::string StripPortPrefix(const std::string& deviceName) {
  auto n = ParsePortName(deviceName);
  return n ? fmt::format("COM{}", *n) : std::string();
}

std::optional<std::string> TtyNameForPortNumber(int portNumber) {
  for (const auto& r : kRanges) {
    if (portNumber >= r.firstPort && portNumber < r.firstPort + r.count)
      return fmt::format("{}{}", r.stem, portNumber - r.firstPort);
  }
  return std::nullopt;
}

std::optional<int> PortNumberForTty(const std::string& ttyNameOrPath) {
  std::string_view name = ttyNameOrPath;
  if (auto slash = name.rfind('/'); slash != std::string_view::npos) name.remove_prefix(slash + 1);
  for (const auto& r : kRanges) {
    if (!name.starts_with(r.stem)) continue;
    auto minor = ParseNumber(name.substr(r.stem.size()));
    if (!minor || *minor >= r.count) return std::nullopt;
    return r.firstPort + *minor;
  }
  return std::nullopt;
}

std::optional<std::string> DeviceNodeForPortName(const std::string& portName, const std::string& devRoot) {
  auto n = ParsePortName(portName);
  if (!n) return std::nullopt;
  auto tty = TtyNameForPortNumber(*n);
  if (!tty) return std::nullopt;
  return devRoot + "/" + *tty;
}

std::string DescribePortName(const std::string& portName, const std::string& devRoot) {
  auto node = DeviceNodeForPortName(portName, devRoot);
  return fmt::format("{} = {}", portName, node ? *node : std::string("(no device node)"));
}

PortResolver ArithmeticPortResolver(const std::string& devRoot) {
  return [devRoot](const std::string& portName) { return DeviceNodeForPortName(portName, devRoot); };
}

}  // namespace upwend
