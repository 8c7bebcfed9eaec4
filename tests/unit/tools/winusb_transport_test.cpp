// The WinUSB backend of AdbWinUsbApi.dll against a fake WinUSB (fake_winusb.h): the cases every
// USB backend passes (usb_fastboot_cases.h), then what is WinUSB's own: finding the device
// interface, the pipes of an alternate setting, the pipe policies, recovery after a failed
// transfer, the error texts and letting the device go.
#include <gtest/gtest.h>

#include <cerrno>

#include "fake_winusb.h"
#include "tests/support/usb_fastboot_cases.h"
#include "tools/adbwinapi/winusb_bulk_io.h"
#include "tools/adbwinapi/winusb_transport.h"
#include "usb_config_samples.h"

namespace upwend::testing {
namespace {

adb::UsbPath SystemPath(const std::string& text) {
  auto parsed = adb::ParseDevicePath(text);
  EXPECT_TRUE(parsed) << parsed.error();
  return parsed ? std::get<adb::UsbPath>(*parsed) : adb::UsbPath{};
}

struct FakeWinUsbBench {
  bool Start(std::string&) {
    fake.configuration = adb::kBootLoaderConfig;
    auto opened = adb::OpenWinUsbTransport(SystemPath(FakeWinUsb::kPath), FakeWinUsb::Functions());
    EXPECT_TRUE(opened) << opened.error().text;
    if (opened) transport = *opened;
    return true;
  }
  UsbFastbootCounts counts() { return fake.model.counts; }
  void SetStalled(bool stalled) { fake.SetStalled(stalled); }
  std::chrono::milliseconds Now() { return fake.now; }

  FakeWinUsb fake;
  std::shared_ptr<adb::Transport> transport;
};

INSTANTIATE_TYPED_TEST_SUITE_P(WinUsb, UsbFastbootCases, ::testing::Types<FakeWinUsbBench>);

class WinUsbTest : public ::testing::Test {
protected:
  Expected<std::shared_ptr<adb::Transport>, OsError> Open(const std::string& path) {
    auto parsed = adb::ParseDevicePath(path);
    if (!parsed) return Unexpected(OsError{EINVAL, parsed.error()});
    return adb::OpenWinUsbTransport(std::get<adb::UsbPath>(*parsed), FakeWinUsb::Functions());
  }
  bool Command(adb::Transport& t, const std::string& text, unsigned long timeoutMs = 500) {
    return static_cast<bool>(t.Write(reinterpret_cast<const uint8_t*>(text.data()), text.size(), timeoutMs));
  }

  FakeWinUsb fake;
};

TEST_F(WinUsbTest, TheDeviceInterfaceIsFoundByItsPathOrItsIds) {
  fake.configuration = adb::kBootLoaderConfig;
  const std::string other = "\\\\?\\usb#vid_05c6&pid_9025&mi_01#6&1a&0&1#{f72fe0d4-cbcb-407d-8814-9ed673d0dd6b}";
  fake.listed = {other, FakeWinUsb::kPath};
  {
    auto t = Open(FakeWinUsb::kPath);
    ASSERT_TRUE(t) << t.error().text;
    EXPECT_EQ(fake.openedPath, FakeWinUsb::kPath);
    EXPECT_EQ(fake.openAccess, static_cast<DWORD>(GENERIC_READ | GENERIC_WRITE));
    EXPECT_NE(fake.openFlags & FILE_FLAG_OVERLAPPED, 0u);
  }
  // A "usb:" path: bus and address mean nothing here; the IDs choose among the listed interfaces.
  fake.openedPath.clear();
  ASSERT_TRUE(Open("usb:001:002:0:18d1:d00d"));
  EXPECT_EQ(fake.openedPath, FakeWinUsb::kPath);

  auto absent = Open("usb:001:002:0:1234:5678");
  ASSERT_FALSE(absent);
  EXPECT_EQ(absent.error().code, ENODEV);
  EXPECT_NE(absent.error().text.find("no ADB interface of 1234:5678"), std::string::npos) << absent.error().text;
  fake.listed.push_back("\\\\?\\usb#vid_18d1&pid_d00d#fedcba9876543210#{f72fe0d4-cbcb-407d-8814-9ed673d0dd6b}");
  auto twice = Open("usb:001:002:0:18d1:d00d");
  ASSERT_FALSE(twice);
  EXPECT_NE(twice.error().text.find("2 ADB interfaces"), std::string::npos) << twice.error().text;
}

TEST_F(WinUsbTest, FailedOpensSayWhyAndLeaveNothingOpen) {
  fake.configuration = adb::kBootLoaderConfig;
  fake.openError = ERROR_FILE_NOT_FOUND;
  auto gone = Open(FakeWinUsb::kPath);
  ASSERT_FALSE(gone);
  EXPECT_EQ(gone.error().code, ENODEV);
  EXPECT_NE(gone.error().text.find("(Windows error 2)"), std::string::npos) << gone.error().text;

  fake.openError.reset();
  fake.initializeError = ERROR_NOT_SUPPORTED;
  auto foreign = Open(FakeWinUsb::kPath);
  ASSERT_FALSE(foreign);
  EXPECT_NE(foreign.error().text.find("is WinUSB its driver?"), std::string::npos) << foreign.error().text;
  EXPECT_EQ(fake.openFiles, 0);

  // The path's "mi_01" names another interface than the one WinUSB reaches.
  fake.initializeError.reset();
  fake.listed = {"\\\\?\\usb#vid_18d1&pid_d00d&mi_01#6&1a&0&1#{f72fe0d4-cbcb-407d-8814-9ed673d0dd6b}"};
  auto wrong = Open(fake.listed[0]);
  ASSERT_FALSE(wrong);
  EXPECT_NE(wrong.error().text.find("interface 0, not 1"), std::string::npos) << wrong.error().text;
  // An interface without a bulk pair.
  fake.configuration = {0x09, 0x02, 0x12, 0x00, 0x01, 0x01, 0x00, 0x80, 0xFA,
                        0x09, 0x04, 0x00, 0x00, 0x00, 0xFF, 0x42, 0x03, 0x00};
  auto bare = Open(FakeWinUsb::kPath);
  ASSERT_FALSE(bare);
  EXPECT_EQ(bare.error().code, ENODEV);
  EXPECT_EQ(fake.openFiles, 0);
  EXPECT_EQ(fake.openInterfaces, 0);
}

TEST_F(WinUsbTest, TheBulkPairMayBeInALaterAlternateSetting) {
  fake.configuration = adb::kCompositeConfig;
  fake.interfaceNumber = 1;
  auto t = Open("\\\\?\\USB#VID_05C6&PID_9025&MI_01#6&1a&0&2#{F72FE0D4-CBCB-407D-8814-9ED673D0DD6B}");
  ASSERT_TRUE(t) << t.error().text;
  EXPECT_EQ(fake.alternateSetting, 1);
  EXPECT_EQ((*t)->InterfaceDescriptor().bAlternateSetting, 1);
  EXPECT_EQ((*t)->ReadEndpointInfo().endpoint_address, 0x84);
  EXPECT_EQ((*t)->WriteEndpointInfo().endpoint_address, 0x02);
}

TEST_F(WinUsbTest, TimeOutsAndZeroLengthPacketsAreThePipesPolicies) {
  fake.configuration = adb::kBootLoaderConfig;
  auto t = Open(FakeWinUsb::kPath);
  ASSERT_TRUE(t);
  ASSERT_TRUE(Command(**t, "download:00300000", 700));
  EXPECT_EQ(fake.policies[UsbFastbootModel::kOut].timeoutMs, 700u);
  uint8_t reply[64];
  ASSERT_TRUE((*t)->Read(reply, sizeof reply, 2500));
  EXPECT_EQ(fake.policies[UsbFastbootModel::kIn].timeoutMs, 2500u);
  // 3 MiB in 4 KiB blocks: three 1 MiB transfers, more than one in flight, a zero-length
  // packet after the last only (the fake fails a policy changed under a transfer).
  std::vector<uint8_t> block(4096, 0x11);
  for (int i = 0; i < 768; ++i) ASSERT_TRUE((*t)->Write(block.data(), block.size(), 80000)) << i;
  EXPECT_EQ(fake.policies[UsbFastbootModel::kOut].timeoutMs, 80000u);
  EXPECT_EQ(fake.model.counts.dataUrbs, 3u);
  EXPECT_EQ(fake.model.counts.dataZeroPackets, 1u);
  EXPECT_TRUE(fake.model.counts.lastDataUrbZeroPacket);
  EXPECT_GE(fake.maxWritesInFlight, 2);
}

TEST_F(WinUsbTest, AFailedTransferResetsItsPipeAndTheNextOneGoesOut) {
  fake.configuration = adb::kBootLoaderConfig;
  auto t = Open(FakeWinUsb::kPath);
  ASSERT_TRUE(t);
  fake.failWriteAt = 1;  // a stall
  auto stalled = (*t)->Write(reinterpret_cast<const uint8_t*>("getvar:version"), 14, 500);
  ASSERT_FALSE(stalled);
  EXPECT_EQ(stalled.error().error.code, EPIPE);
  EXPECT_NE(stalled.error().error.text.find("bulk write: "), std::string::npos);
  EXPECT_NE(stalled.error().error.text.find("(Windows error 31)"), std::string::npos) << stalled.error().error.text;
  EXPECT_EQ(fake.aborts[UsbFastbootModel::kOut], 1);
  EXPECT_EQ(fake.resets[UsbFastbootModel::kOut], 1);
  ASSERT_TRUE(Command(**t, "getvar:version"));

  // A command the device took only part of is not reported as written.
  fake.shortWriteAt = 3;
  fake.shortBy = 2;
  auto cut = (*t)->Write(reinterpret_cast<const uint8_t*>("getvar:product"), 14, 500);
  ASSERT_FALSE(cut);
  EXPECT_EQ(cut.error().bytesDone, 12u);

  // A read that times out leaves its pipe reset too; a reply after it still arrives.
  fake.model.replies.clear();
  uint8_t reply[64];
  auto silent = (*t)->Read(reply, sizeof reply, 300);
  ASSERT_FALSE(silent);
  EXPECT_EQ(silent.error().error.code, ETIMEDOUT);
  EXPECT_EQ(fake.resets[UsbFastbootModel::kIn], 1);
  ASSERT_TRUE(Command(**t, "getvar:version"));
  auto next = (*t)->Read(reply, sizeof reply, 300);
  ASSERT_TRUE(next);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(reply), *next), "OKAY0.4");
}

TEST_F(WinUsbTest, ClosingEndsTheTransfersInFlightBeforeLettingTheDeviceGo) {
  fake.configuration = adb::kBootLoaderConfig;
  auto t = Open(FakeWinUsb::kPath);
  ASSERT_TRUE(t);
  ASSERT_TRUE(Command(**t, "download:00200000"));
  uint8_t reply[64];
  ASSERT_TRUE((*t)->Read(reply, sizeof reply, 500));
  fake.SetStalled(true);
  std::vector<uint8_t> block(4096);
  for (int i = 0; i < 300; ++i) ASSERT_TRUE((*t)->Write(block.data(), block.size(), 80000));
  EXPECT_EQ(fake.openInterfaces, 1);
  t->reset();
  // Free found nothing in flight (the fake checks), and both handles are closed.
  EXPECT_GE(fake.cancels, 1);
  EXPECT_EQ(fake.openInterfaces, 0);
  EXPECT_EQ(fake.openFiles, 0);
}

TEST(WinUsbErrorTest, ErrorsCarryTheErrnoValueAndTheSystemsText) {
  const OsError timeout = adb::WinUsbError(ERROR_SEM_TIMEOUT, "bulk read");
  EXPECT_EQ(timeout.code, ETIMEDOUT);
  EXPECT_TRUE(timeout.text.starts_with("bulk read: ")) << timeout.text;
  EXPECT_TRUE(timeout.text.ends_with(" (Windows error 121)")) << timeout.text;
  EXPECT_GT(timeout.text.size(), std::string("bulk read:  (Windows error 121)").size());
  EXPECT_EQ(adb::WinUsbError(ERROR_ACCESS_DENIED, "open").code, EACCES);
  EXPECT_EQ(adb::WinUsbError(ERROR_DEVICE_NOT_CONNECTED, "open").code, ENODEV);
  EXPECT_EQ(adb::WinUsbError(ERROR_CRC, "bulk write").code, EIO);
}

}  // namespace
}  // namespace upwend::testing
