// The USB boot device's pipe through the real libusb against a device that umockdev emulates:
// PIPE01 is the bulk OUT endpoint 0x01, each write one transfer, and a device that stops taking
// data makes the write fail after the time-out instead of hanging the xload thread.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>

#include "platform/clock.h"
#include "platform/usb_boot_pipe.h"
#include "platform/usb_device_path.h"
#include "usb_fastboot_device.h"

namespace upwend {
namespace {

using testing::UsbFastbootDevice;

TEST(UsbBootUmockdevTest, PipeOneIsTheBulkOutEndpointAndAStalledDeviceTimesOut) {
  std::string reason;
  auto device = UsbFastbootDevice::Create(reason);
  if (!device) GTEST_SKIP() << reason;
  ScaledClock clock(1.0);
  auto port = CreateUsbBootPort(clock, 300);
  const std::string path =
      UsbBootDevicePath(UsbFastbootDevice::kVendor, UsbFastbootDevice::kProduct, UsbFastbootDevice::kBus,
                        UsbFastbootDevice::kAddress);
  int error = 0;
  EXPECT_TRUE(port->ProbeDevice(path, error)) << error;
  auto pipe = port->OpenPipe(path + "\\PIPE01", error);
  ASSERT_TRUE(pipe) << error;

  const uint8_t length[4] = {100, 0, 0, 0};
  const std::string image(100, 'x');
  size_t written = 0;
  EXPECT_TRUE(pipe->Write(length, sizeof length, written));
  EXPECT_EQ(written, 4u);
  EXPECT_TRUE(pipe->Write(reinterpret_cast<const uint8_t*>(image.data()), image.size(), written));
  EXPECT_EQ(written, 100u);
  auto counts = device->counts();
  ASSERT_EQ(counts.commands.size(), 2u);
  EXPECT_EQ(counts.commands[0], std::string("\x64\0\0\0", 4));
  EXPECT_EQ(counts.commands[1], image);

  device->SetStalled(true);
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(pipe->Write(length, sizeof length, written));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250));
  pipe.reset();
  device->SetStalled(false);

  // Another device at that address (other IDs), or a pipe that is no endpoint, is not opened.
  EXPECT_FALSE(port->OpenPipe(UsbBootDevicePath(0x0451, 0xD00E, UsbFastbootDevice::kBus, UsbFastbootDevice::kAddress) +
                                  "\\PIPE01",
                              error));
  EXPECT_EQ(error, ENODEV);
  EXPECT_FALSE(port->OpenPipe(path + "\\PIPE1G", error));
  EXPECT_FALSE(port->OpenPipe(path, error));
}

}  // namespace
}  // namespace upwend
