// The libusb backend of AdbWinApi.dll through the real libusb against a fastboot device that
// umockdev emulates at the usbdevfs level: the claim, the endpoint discovery from the
// descriptors, command and reply transfers, a download gathered into large transfers with its
// zero-length packet, and the time-outs of a device that stops answering.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "tools/adbwinapi/transport.h"
#include "usb_fastboot_device.h"

namespace upwend::adb {
namespace {

using testing::UsbFastbootDevice;

class UsbUmockdevTest : public ::testing::Test {
protected:
  void SetUp() override {
    std::string reason;
    device = UsbFastbootDevice::Create(reason);
    if (!device) GTEST_SKIP() << reason;
    UsbPath path;
    path.bus = UsbFastbootDevice::kBus;
    path.address = UsbFastbootDevice::kAddress;
    path.vendorId = UsbFastbootDevice::kVendor;
    path.productId = UsbFastbootDevice::kProduct;
    auto opened = OpenLibusbTransport(path);
    ASSERT_TRUE(opened) << opened.error().text;
    transport = *opened;
  }

  bool Command(const std::string& text, unsigned long timeoutMs = 500) {
    auto r = transport->Write(reinterpret_cast<const uint8_t*>(text.data()), text.size(), timeoutMs);
    return r && *r == text.size();
  }
  std::string Reply(unsigned long timeoutMs = 2000) {
    uint8_t buffer[64] = {};
    auto r = transport->Read(buffer, sizeof buffer, timeoutMs);
    if (!r) return "error: " + r.error().error.text;
    return std::string(reinterpret_cast<char*>(buffer), *r);
  }

  std::unique_ptr<UsbFastbootDevice> device;
  std::shared_ptr<Transport> transport;
};

TEST_F(UsbUmockdevTest, TheInterfaceAndItsEndpointsComeFromTheDescriptors) {
  const auto d = transport->InterfaceDescriptor();
  EXPECT_EQ(d.bInterfaceClass, 0xFF);
  EXPECT_EQ(d.bInterfaceSubClass, 0x42);
  EXPECT_EQ(d.bInterfaceProtocol, 0x03);
  EXPECT_EQ(transport->ReadEndpointInfo().endpoint_address, 0x81);
  EXPECT_EQ(transport->WriteEndpointInfo().endpoint_address, 0x01);
  EXPECT_EQ(transport->WriteEndpointInfo().max_packet_size, 512u);
  ASSERT_TRUE(Command("getvar:version"));
  EXPECT_EQ(Reply(), "OKAY0.4");
}

TEST_F(UsbUmockdevTest, ADownloadGoesInLargeTransfersInOrderWithItsZeroLengthPacket) {
  constexpr uint32_t kLength = 32u << 20;  // a multiple of the packet size
  char command[32];
  std::snprintf(command, sizeof command, "download:%08x", kLength);
  ASSERT_TRUE(Command(command));
  EXPECT_EQ(Reply(), "DATA02000000");
  std::vector<uint8_t> block(4096);
  uint64_t sum = 0;
  for (uint32_t at = 0; at < kLength; at += 4096) {
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>((at + i) * 13 + (at >> 12));
    sum = UsbFastbootDevice::Checksum(sum, block.data(), block.size());
    auto r = transport->Write(block.data(), block.size(), 120000);
    ASSERT_TRUE(r) << at << ": " << r.error().error.text;
  }
  EXPECT_EQ(Reply(), "OKAY");
  ASSERT_TRUE(Command("flash:system"));
  EXPECT_EQ(Reply(), "OKAY");

  const auto c = device->counts();
  EXPECT_EQ(c.dataBytes, kLength);
  EXPECT_EQ(c.dataChecksum, sum);
  EXPECT_LE(c.dataUrbs, kLength / (256 * 1024));
  EXPECT_GE(c.largestDataUrb, 256u * 1024);
  EXPECT_EQ(c.dataZeroPackets, 1u);
  EXPECT_TRUE(c.lastDataUrbZeroPacket);
  EXPECT_EQ(c.commands, (std::vector<std::string>{command, "flash:system"}));
}

TEST_F(UsbUmockdevTest, ASilentDeviceTimesOutReadsAndTheDownloadsLastBlock) {
  ASSERT_TRUE(Command("getvar:version"));
  device->SetStalled(true);
  auto t0 = std::chrono::steady_clock::now();
  uint8_t buffer[64];
  auto r = transport->Read(buffer, sizeof buffer, 300);
  ASSERT_FALSE(r);
  EXPECT_EQ(r.error().error.code, ETIMEDOUT);
  EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(290));
  device->SetStalled(false);
  EXPECT_EQ(Reply(), "OKAY0.4");

  ASSERT_TRUE(Command("download:00003000"));
  EXPECT_EQ(Reply(), "DATA00003000");
  device->SetStalled(true);
  std::vector<uint8_t> block(4096, 0x5A);
  EXPECT_TRUE(transport->Write(block.data(), block.size(), 300));
  EXPECT_TRUE(transport->Write(block.data(), block.size(), 300));
  t0 = std::chrono::steady_clock::now();
  auto last = transport->Write(block.data(), block.size(), 300);
  ASSERT_FALSE(last);
  EXPECT_EQ(last.error().error.code, ETIMEDOUT);
  EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(290));
  device->SetStalled(false);
  // The connection is usable for the next command.
  ASSERT_TRUE(Command("getvar:version"));
}

}  // namespace
}  // namespace upwend::adb
