#pragma once
// Which device a run uses when several are attached (upwend --device, UPWEND_DEVICE). The value
// names one USB device by its USB port path ("1-1.2"), its sysfs devpath ("/sys/devices/...",
// also without "/sys") or its serial number. A device chosen by serial number is followed to
// its port path, so it stays chosen when it comes back in another mode (fastboot, USB boot)
// with another serial number or none.
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/device_backend.h"

namespace upwend {

class DeviceSelector {
public:
  explicit DeviceSelector(std::string value);
  // Safe to call from the backend's watch thread and the caller's thread at once.
  bool Matches(const UsbDeviceInfo& device);
  const std::string& value() const { return value_; }

private:
  std::string value_;
  std::mutex mutex_;
  std::set<std::string> followedPaths_;
};

// The selector UPWEND_DEVICE asks for; nullptr when it is unset or empty.
std::shared_ptr<DeviceSelector> SelectorFromEnvironment();

// "" when `value` can name a device; else why not (for the command line).
std::string CheckDeviceValue(const std::string& value);

// "" when `value` names exactly one of `devices`; else one line that says what is wrong and
// lists what is attached.
std::string DescribeDeviceChoice(const std::vector<UsbDeviceInfo>& devices, const std::string& value);

// "05c6:9025"; "----:----" when the backend does not know them (a simulated disk).
std::string UsbIdText(const UsbDeviceInfo& device);
// "1-2 05c6:9025 normal serial ABC": a device in one short phrase.
std::string DeviceSummary(const UsbDeviceInfo& device);

}  // namespace upwend
