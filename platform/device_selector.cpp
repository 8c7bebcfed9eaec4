#include "platform/device_selector.h"

#include <fmt/format.h>

#include <cstdlib>

namespace upwend {

namespace {

constexpr size_t kMaxValueLength = 512;

bool NamesDevice(const UsbDeviceInfo& d, const std::string& value) {
  if (value == d.path) return true;
  if (!d.devpath.empty() && (value == d.devpath || value == "/sys" + d.devpath)) return true;
  return !d.serial.empty() && value == d.serial;
}

}  // namespace

DeviceSelector::DeviceSelector(std::string value) : value_(std::move(value)) {}

bool DeviceSelector::Matches(const UsbDeviceInfo& device) {
  std::lock_guard lock(mutex_);
  if (NamesDevice(device, value_)) {
    followedPaths_.insert(device.path);
    return true;
  }
  return followedPaths_.contains(device.path);
}

std::shared_ptr<DeviceSelector> SelectorFromEnvironment() {
  const char* value = std::getenv("UPWEND_DEVICE");
  if (value == nullptr || *value == '\0') return nullptr;
  return std::make_shared<DeviceSelector>(value);
}

std::string CheckDeviceValue(const std::string& value) {
  if (value.empty()) return "a USB path (1-1.2), a device path or a serial number";
  if (value.size() > kMaxValueLength) return "at most " + std::to_string(kMaxValueLength) + " characters";
  for (unsigned char c : value) {
    if (c <= 0x20 || c == 0x7F) return "a USB path, a device path or a serial number, without blanks or control characters";
  }
  return {};
}

std::string UsbIdText(const UsbDeviceInfo& d) {
  if (d.vendorId == 0 && d.productId == 0) return "----:----";
  return fmt::format("{:04x}:{:04x}", d.vendorId, d.productId);
}

std::string DeviceSummary(const UsbDeviceInfo& d) {
  std::string text = fmt::format("{} {} {}", d.path, UsbIdText(d), d.mode);
  if (!d.serial.empty()) text += " serial " + d.serial;
  return text;
}

std::string DescribeDeviceChoice(const std::vector<UsbDeviceInfo>& devices, const std::string& value) {
  std::vector<const UsbDeviceInfo*> named;
  for (const auto& d : devices)
    if (NamesDevice(d, value)) named.push_back(&d);
  if (named.size() == 1) return {};
  std::string attached;
  for (const auto& d : devices) attached += (attached.empty() ? "" : ", ") + DeviceSummary(d);
  if (named.empty()) {
    return fmt::format("--device {}: no such device is attached ({})", value,
                       attached.empty() ? "none is" : "attached: " + attached);
  }
  return fmt::format("--device {}: {} devices have that serial number; choose one by its USB path ({})", value,
                     named.size(), attached);
}

}  // namespace upwend
