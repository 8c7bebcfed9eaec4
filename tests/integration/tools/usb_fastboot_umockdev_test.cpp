// The libusb backend of AdbWinApi.dll through the real libusb against a fastboot device that
// umockdev emulates at the usbdevfs level, in the cases every USB backend passes
// (usb_fastboot_cases.h).
#include <gtest/gtest.h>

#include <chrono>

#include "tests/support/usb_fastboot_cases.h"
#include "tools/adbwinapi/transport.h"
#include "usb_fastboot_device.h"

namespace upwend::testing {
namespace {

struct UmockdevBench {
  bool Start(std::string& reason) {
    device = UsbFastbootDevice::Create(reason);
    if (!device) return false;
    adb::UsbPath path;
    path.bus = UsbFastbootDevice::kBus;
    path.address = UsbFastbootDevice::kAddress;
    path.vendorId = UsbFastbootDevice::kVendor;
    path.productId = UsbFastbootDevice::kProduct;
    auto opened = adb::OpenSystemUsbTransport(path);
    EXPECT_TRUE(opened) << opened.error().text;
    if (opened) transport = *opened;
    return true;
  }
  UsbFastbootCounts counts() { return device->counts(); }
  void SetStalled(bool stalled) { device->SetStalled(stalled); }
  // libusb's time-outs are real time.
  std::chrono::milliseconds Now() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch());
  }

  std::unique_ptr<UsbFastbootDevice> device;
  std::shared_ptr<adb::Transport> transport;
};

INSTANTIATE_TYPED_TEST_SUITE_P(Libusb, UsbFastbootCases, ::testing::Types<UmockdevBench>);

}  // namespace
}  // namespace upwend::testing
