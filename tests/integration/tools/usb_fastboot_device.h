#pragma once
// A USB fastboot device in umockdev's testbed: its sysfs entry and descriptors, and a handler of
// the usbdevfs ioctls that libusb makes on its node (submit, reap, discard), answering as
// usb_fastboot_model.h does. Every URB is counted, so tests see the transfers as the bus would.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tests/support/usb_fastboot_model.h"

namespace upwend::testing {

class UsbFastbootDevice {
public:
  static constexpr uint16_t kVendor = UsbFastbootModel::kVendor, kProduct = UsbFastbootModel::kProduct;
  static constexpr uint8_t kBus = 1, kAddress = 2;

  using Counts = UsbFastbootCounts;

  // Creates the testbed and the device; false (with the reason) outside umockdev's wrapper.
  static std::unique_ptr<UsbFastbootDevice> Create(std::string& reason);
  ~UsbFastbootDevice();

  Counts counts();
  // While set, OUT URBs are taken but never completed (a device that stopped reading), and IN
  // URBs are never answered.
  void SetStalled(bool stalled);

  struct State;

private:
  UsbFastbootDevice() = default;
  std::shared_ptr<State> state_;
  void* testbed_ = nullptr;
  void* handler_ = nullptr;
};

}  // namespace upwend::testing
