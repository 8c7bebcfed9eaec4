#pragma once
// The cases every USB backend of AdbWinUsbApi.dll passes against a fastboot device that answers
// as usb_fastboot_model.h does: the endpoints found from the descriptors, command and reply
// transfers, a download gathered into large transfers with its zero-length packet, and the
// time-outs of a device that stops answering. A backend's test instantiates them with a bench:
//
//   struct Bench {
//     bool Start(std::string& reason);   // opens `transport`; false skips, with the reason
//     std::shared_ptr<adb::Transport> transport;
//     UsbFastbootCounts counts();
//     void SetStalled(bool stalled);     // OUT transfers taken but not completed, IN not answered
//     std::chrono::milliseconds Now();   // the clock the transfers' time-outs run on
//   };
//   INSTANTIATE_TYPED_TEST_SUITE_P(Name, UsbFastbootCases, ::testing::Types<Bench>);
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/usb_fastboot_model.h"
#include "tools/adbwinapi/transport.h"

namespace upwend::testing {

template <class Bench>
class UsbFastbootCases : public ::testing::Test {
protected:
  void SetUp() override {
    std::string reason;
    if (!bench.Start(reason)) GTEST_SKIP() << reason;
    ASSERT_TRUE(bench.transport);
  }

  bool Command(const std::string& text, unsigned long timeoutMs = 500) {
    auto r = bench.transport->Write(reinterpret_cast<const uint8_t*>(text.data()), text.size(), timeoutMs);
    return r && *r == text.size();
  }
  std::string Reply(unsigned long timeoutMs = 2000) {
    uint8_t buffer[64] = {};
    auto r = bench.transport->Read(buffer, sizeof buffer, timeoutMs);
    if (!r) return "error: " + r.error().error.text;
    return std::string(reinterpret_cast<char*>(buffer), *r);
  }

  Bench bench;
};

TYPED_TEST_SUITE_P(UsbFastbootCases);

TYPED_TEST_P(UsbFastbootCases, TheInterfaceAndItsEndpointsComeFromTheDescriptors) {
  const auto& transport = this->bench.transport;
  const auto d = transport->InterfaceDescriptor();
  EXPECT_EQ(d.bInterfaceClass, 0xFF);
  EXPECT_EQ(d.bInterfaceSubClass, 0x42);
  EXPECT_EQ(d.bInterfaceProtocol, 0x03);
  EXPECT_EQ(transport->ReadEndpointInfo().endpoint_address, UsbFastbootModel::kIn);
  EXPECT_EQ(transport->WriteEndpointInfo().endpoint_address, UsbFastbootModel::kOut);
  EXPECT_EQ(transport->WriteEndpointInfo().max_packet_size, UsbFastbootModel::kPacketSize);
  ASSERT_TRUE(this->Command("getvar:version"));
  EXPECT_EQ(this->Reply(), "OKAY0.4");
}

TYPED_TEST_P(UsbFastbootCases, ADownloadGoesInLargeTransfersInOrderWithItsZeroLengthPacket) {
  constexpr uint32_t kLength = 32u << 20;  // a multiple of the packet size
  char command[32];
  std::snprintf(command, sizeof command, "download:%08x", kLength);
  ASSERT_TRUE(this->Command(command));
  EXPECT_EQ(this->Reply(), "DATA02000000");
  std::vector<uint8_t> block(4096);
  uint64_t sum = 0;
  for (uint32_t at = 0; at < kLength; at += 4096) {
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>((at + i) * 13 + (at >> 12));
    sum = UsbFastbootModel::Checksum(sum, block.data(), block.size());
    auto r = this->bench.transport->Write(block.data(), block.size(), 120000);
    ASSERT_TRUE(r) << at << ": " << r.error().error.text;
  }
  EXPECT_EQ(this->Reply(), "OKAY");
  ASSERT_TRUE(this->Command("flash:system"));
  EXPECT_EQ(this->Reply(), "OKAY");

  const auto c = this->bench.counts();
  EXPECT_EQ(c.dataBytes, kLength);
  EXPECT_EQ(c.dataChecksum, sum);
  EXPECT_LE(c.dataUrbs, kLength / (256 * 1024));
  EXPECT_GE(c.largestDataUrb, 256u * 1024);
  EXPECT_EQ(c.dataZeroPackets, 1u);
  EXPECT_TRUE(c.lastDataUrbZeroPacket);
  EXPECT_EQ(c.commands, (std::vector<std::string>{command, "flash:system"}));
}

TYPED_TEST_P(UsbFastbootCases, ASilentDeviceTimesOutReadsAndTheDownloadsLastBlock) {
  auto& device = this->bench;
  ASSERT_TRUE(this->Command("getvar:version"));
  device.SetStalled(true);
  auto t0 = device.Now();
  uint8_t buffer[64];
  auto r = device.transport->Read(buffer, sizeof buffer, 300);
  ASSERT_FALSE(r);
  EXPECT_EQ(r.error().error.code, ETIMEDOUT);
  EXPECT_GE(device.Now() - t0, std::chrono::milliseconds(290));
  device.SetStalled(false);
  EXPECT_EQ(this->Reply(), "OKAY0.4");

  ASSERT_TRUE(this->Command("download:00003000"));
  EXPECT_EQ(this->Reply(), "DATA00003000");
  device.SetStalled(true);
  std::vector<uint8_t> block(4096, 0x5A);
  EXPECT_TRUE(device.transport->Write(block.data(), block.size(), 300));
  EXPECT_TRUE(device.transport->Write(block.data(), block.size(), 300));
  t0 = device.Now();
  auto last = device.transport->Write(block.data(), block.size(), 300);
  ASSERT_FALSE(last);
  EXPECT_EQ(last.error().error.code, ETIMEDOUT);
  EXPECT_GE(device.Now() - t0, std::chrono::milliseconds(290));
  device.SetStalled(false);
  // The connection is usable for the next command.
  ASSERT_TRUE(this->Command("getvar:version"));
}

REGISTER_TYPED_TEST_SUITE_P(UsbFastbootCases, TheInterfaceAndItsEndpointsComeFromTheDescriptors,
                            ADownloadGoesInLargeTransfersInOrderWithItsZeroLengthPacket,
                            ASilentDeviceTimesOutReadsAndTheDownloadsLastBlock);

}  // namespace upwend::testing
