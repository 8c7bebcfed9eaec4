// The pieces of AdbWinApi.dll that need no device: device paths, USB descriptor selection and
// the TCP reply framing.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tools/adbwinapi/device_path.h"
#include "tools/adbwinapi/fastboot_tcp_framing.h"
#include "tools/adbwinapi/usb_descriptors.h"
#include "usb_config_samples.h"

namespace upwend::adb {
namespace {

TEST(AdbDevicePathTest, TcpAndUsbFormsParse) {
  auto tcp = ParseDevicePath("tcp:127.0.0.1:40123");
  ASSERT_TRUE(tcp) << tcp.error();
  EXPECT_EQ(std::get<TcpPath>(*tcp).host, "127.0.0.1");
  EXPECT_EQ(std::get<TcpPath>(*tcp).port, 40123);
  auto v6 = ParseDevicePath("tcp:[::1]:7");
  ASSERT_TRUE(v6) << v6.error();
  EXPECT_EQ(std::get<TcpPath>(*v6).host, "::1");
  EXPECT_EQ(std::get<TcpPath>(*ParseDevicePath("tcp:router.local")).port, kDefaultFastbootTcpPort);

  auto usb = ParseDevicePath("usb:001:012:0:18D1:d00d");
  ASSERT_TRUE(usb) << usb.error();
  const auto& u = std::get<UsbPath>(*usb);
  EXPECT_EQ(u.bus, 1);
  EXPECT_EQ(u.address, 12);
  EXPECT_EQ(u.interfaceNumber, 0);
  EXPECT_EQ(u.vendorId, 0x18d1);
  EXPECT_EQ(u.productId, 0xd00d);
  EXPECT_FALSE(u.composite);
  EXPECT_EQ(FormatUsbPath(u), "usb:001:012:0:18d1:d00d");

  // A composite device's interface carries the marker the worker uses to refuse it.
  auto composite = ParseDevicePath("usb:2:5:3:05c6:9025:MI_03");
  ASSERT_TRUE(composite) << composite.error();
  EXPECT_TRUE(std::get<UsbPath>(*composite).composite);
  EXPECT_EQ(FormatUsbPath(std::get<UsbPath>(*composite)), "usb:002:005:3:05c6:9025:MI_03");
  EXPECT_NE(FormatUsbPath(std::get<UsbPath>(*composite)).find("MI_0"), std::string::npos);
}

TEST(AdbDevicePathTest, DeviceBackendInterfacePathsParse) {
  // The simulator's fastboot entry names its loopback endpoint.
  auto sim = ParseDevicePath(
      "\\\\?\\USB#VID_18D1&PID_D00D#tcp:127.0.0.1:40123#{f72fe0d4-cbcb-407d-8814-9ed673d0dd6b}");
  ASSERT_TRUE(sim) << sim.error();
  EXPECT_EQ(std::get<TcpPath>(*sim).port, 40123);
  // The sysfs backend's interface of a boot loader and of a composite device.
  auto single = ParseDevicePath(
      "\\\\?\\usb#vid_18d1&pid_d00d#bus_001&dev_007&if_00#{f72fe0d4-cbcb-407d-8814-9ed673d0dd6b}");
  ASSERT_TRUE(single) << single.error();
  EXPECT_EQ(std::get<UsbPath>(*single).address, 7);
  EXPECT_FALSE(std::get<UsbPath>(*single).composite);
  auto composite = ParseDevicePath(
      "\\\\?\\usb#vid_05c6&pid_9025&mi_01#bus_001&dev_005&if_01#{f72fe0d4-cbcb-407d-8814-9ed673d0dd6b}");
  ASSERT_TRUE(composite) << composite.error();
  EXPECT_TRUE(std::get<UsbPath>(*composite).composite);
  EXPECT_EQ(std::get<UsbPath>(*composite).interfaceNumber, 1);
  EXPECT_FALSE(ParseDevicePath("\\\\?\\usb#vid_05c6&pid_9025#bus_001&dev_200&if_01#{x}"));

  // Windows' own paths: the instance part means nothing to us, the path is kept to be opened.
  const std::string windows = "\\\\?\\USB#VID_18D1&PID_D00D#0123456789ABCDEF#{F72FE0D4-CBCB-407D-8814-9ED673D0DD6B}";
  auto system = ParseDevicePath(windows);
  ASSERT_TRUE(system) << system.error();
  const auto& s = std::get<UsbPath>(*system);
  EXPECT_EQ(s.vendorId, 0x18d1);
  EXPECT_EQ(s.productId, 0xd00d);
  EXPECT_FALSE(s.composite);
  EXPECT_EQ(FormatUsbPath(s), windows);
  auto function = ParseDevicePath("\\\\?\\usb#vid_05c6&pid_9025&mi_03#6&1a2b&0&3#{f72fe0d4-cbcb-407d-8814-9ed673d0dd6b}");
  ASSERT_TRUE(function) << function.error();
  EXPECT_TRUE(std::get<UsbPath>(*function).composite);
  EXPECT_EQ(std::get<UsbPath>(*function).interfaceNumber, 3);
  for (const char* bad : {"\\\\?\\usb#vid_18d1&pid_d00d#0123#{00873fdf-61a8-11d1-aa5e-00c04fb1728b}",
                          "\\\\?\\usb#vid_18d1&pid_d00d##{f72fe0d4-cbcb-407d-8814-9ed673d0dd6b}",
                          "\\\\?\\usb#vid_18d1&pid_d00d&mi_3#0123#{f72fe0d4-cbcb-407d-8814-9ed673d0dd6b}",
                          "\\\\?\\usb#vid_18d1#0123#{f72fe0d4-cbcb-407d-8814-9ed673d0dd6b}"}) {
    EXPECT_FALSE(ParseDevicePath(bad)) << bad;
  }
}

TEST(AdbDevicePathTest, MalformedPathsAreRefused) {
  for (const char* bad :
       {"", "tcp", "tcp:", "tcp::5554", "tcp:host:", "tcp:host:0", "tcp:host:65536", "tcp:host:12x", "tcp:[::1",
        "tcp:[::1]5554", "tcp:a b:1", "udp:host:1", "usb:", "usb:1:2:3:18d1", "usb:0:2:0:18d1:d00d",
        "usb:1:128:0:18d1:d00d", "usb:1:2:256:18d1:d00d", "usb:1:2:0:18d:d00d", "usb:1:2:0:18d1:d00g",
        "usb:1:2:0:18d1:d00d:MI_04", "usb:1:2:0:18d1:d00d:XX_00", "usb:1:2:0:18d1:d00d:MI_00:x", "usb:-1:2:0:18d1:d00d",
        "usb:+1:2:0:18d1:d00d"}) {
    EXPECT_FALSE(ParseDevicePath(bad)) << bad;
  }
  EXPECT_FALSE(ParseDevicePath(std::string(2000, 'a')));
  EXPECT_FALSE(NarrowDevicePath(L"tcp:h\u00e9st:1"));
  EXPECT_EQ(*NarrowDevicePath(L"tcp:host:1"), "tcp:host:1");
}

TEST(UsbDescriptorTest, SelectsTheBulkPairOfTheRequestedInterface) {
  auto boot = ParseConfigDescriptor(kBootLoaderConfig);
  ASSERT_TRUE(boot) << boot.error();
  auto pipes = SelectBulkInterface(*boot, 0);
  ASSERT_TRUE(pipes) << pipes.error();
  EXPECT_EQ(pipes->descriptor.bInterfaceClass, 0xFF);
  EXPECT_EQ(pipes->descriptor.bInterfaceSubClass, 0x42);
  EXPECT_EQ(pipes->in.address, 0x81);
  EXPECT_EQ(pipes->out.address, 0x01);
  EXPECT_EQ(pipes->in.maxPacketSize, 512);
  AdbEndpointInformation info = EndpointInformation(pipes->in, 0, 4096);
  EXPECT_EQ(info.endpoint_type, AdbEndpointTypeBulk);
  EXPECT_EQ(info.max_packet_size, 512u);

  auto composite = ParseConfigDescriptor(kCompositeConfig);
  ASSERT_TRUE(composite) << composite.error();
  EXPECT_EQ(composite->configurationValue, 3);
  auto second = SelectBulkInterface(*composite, 1);
  ASSERT_TRUE(second) << second.error();
  EXPECT_EQ(second->descriptor.bAlternateSetting, 1);
  EXPECT_EQ(second->in.address, 0x84);
  EXPECT_EQ(second->out.address, 0x02);

  auto control = SelectBulkInterface(*composite, 0);
  ASSERT_FALSE(control);
  EXPECT_NE(control.error().find("no bulk"), std::string::npos);
  auto missing = SelectBulkInterface(*composite, 7);
  ASSERT_FALSE(missing);
  EXPECT_NE(missing.error().find("no interface 7"), std::string::npos);
}

TEST(UsbDescriptorTest, DamagedDescriptorsAreRejectedNotOverread) {
  auto truncated = kBootLoaderConfig;
  truncated.resize(28);  // claims 32 bytes
  EXPECT_FALSE(ParseConfigDescriptor(truncated));
  auto zeroLength = kBootLoaderConfig;
  zeroLength[18] = 0;  // first endpoint's bLength
  EXPECT_FALSE(ParseConfigDescriptor(zeroLength));
  auto overlong = kBootLoaderConfig;
  overlong[25] = 0x20;  // second endpoint runs past the end
  EXPECT_FALSE(ParseConfigDescriptor(overlong));
  auto shortInterface = kBootLoaderConfig;
  shortInterface[9] = 0x05;
  EXPECT_FALSE(ParseConfigDescriptor(shortInterface));
  std::vector<uint8_t> endpointFirst = {0x09, 0x02, 0x10, 0x00, 0x01, 0x01, 0x00, 0x80, 0xFA,
                                        0x07, 0x05, 0x81, 0x02, 0x00, 0x02, 0x00};
  EXPECT_FALSE(ParseConfigDescriptor(endpointFirst));
  EXPECT_FALSE(ParseConfigDescriptor(std::vector<uint8_t>{0x09, 0x01, 0x12, 0x00}));
}

std::vector<uint8_t> Frame(const std::string& text) {
  auto h = EncodeFrameHeader(text.size());
  std::vector<uint8_t> out(h.size() + text.size());
  std::memcpy(out.data(), h.data(), h.size());
  if (!text.empty()) std::memcpy(out.data() + h.size(), text.data(), text.size());
  return out;
}

TEST(FastbootTcpFramingTest, RepliesSurviveAnySplitOfTheStream) {
  std::vector<uint8_t> stream = Frame("INFOerasing");
  for (const char* r : {"", "OKAY", "FAILno such partition"}) {
    for (uint8_t b : Frame(r)) stream.push_back(b);
  }
  for (size_t cut = 0; cut <= stream.size(); ++cut) {
    ReplyAssembler a;
    a.Feed(stream.data(), cut);
    a.Feed(stream.data() + cut, stream.size() - cut);
    std::vector<std::string> got;
    while (a.HasReply()) got.push_back(a.TakeReply());
    EXPECT_EQ(got, (std::vector<std::string>{"INFOerasing", "", "OKAY", "FAILno such partition"})) << "cut " << cut;
    EXPECT_FALSE(a.InFrame());
  }
  ReplyAssembler bytewise;
  for (uint8_t b : stream) bytewise.Feed(&b, 1);
  EXPECT_EQ(bytewise.TakeReply(), "INFOerasing");
}

TEST(FastbootTcpFramingTest, ImplausibleLengthStopsTheStream) {
  ReplyAssembler a;
  std::vector<uint8_t> huge = {0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 'O', 'K'};
  a.Feed(huge.data(), huge.size());
  EXPECT_TRUE(a.Failed());
  EXPECT_FALSE(a.HasReply());
  auto ok = Frame("OKAY");
  a.Feed(ok.data(), ok.size());
  EXPECT_FALSE(a.HasReply());
}

TEST(FastbootTcpFramingTest, DownloadCommandsAreRecognisedStrictly) {
  EXPECT_EQ(DownloadLength("download:001a2b3c"), 0x1a2b3cu);
  EXPECT_EQ(DownloadLength("download:FFFFFFFF"), 0xFFFFFFFFu);
  EXPECT_EQ(DownloadLength("download:0"), 0u);
  EXPECT_FALSE(DownloadLength("download:"));
  EXPECT_FALSE(DownloadLength("download:123456789"));
  EXPECT_FALSE(DownloadLength("download:12 4"));
  EXPECT_FALSE(DownloadLength("Download:10"));
  EXPECT_FALSE(DownloadLength("flash:download"));
}

TEST(FastbootTcpFramingTest, ReplyBeforeTheDataIsCompleteBreaksTheStream) {
  DownloadTracker t;
  OsError error;
  std::string cmd = "download:00000010";
  auto plan = t.PlanWrite(reinterpret_cast<const uint8_t*>(cmd.data()), cmd.size(), error);
  ASSERT_TRUE(plan);
  t.WriteDone(*plan, reinterpret_cast<const uint8_t*>(cmd.data()), cmd.size(), true, cmd.size());
  t.OnReply("DATA00000010");
  ASSERT_TRUE(t.InDataPhase());
  uint8_t half[8] = {};
  plan = t.PlanWrite(half, 8, error);
  ASSERT_TRUE(plan);
  EXPECT_TRUE(plan->sendHeader);
  EXPECT_EQ(plan->header, EncodeFrameHeader(16));
  t.WriteDone(*plan, half, 8, true, 8);
  EXPECT_EQ(t.DataRemaining(), 8u);
  t.OnReply("FAILaborted");
  EXPECT_TRUE(t.Broken());
  EXPECT_FALSE(t.PlanWrite(half, 8, error));
  EXPECT_EQ(error.code, EPROTO);

  // A command cut short leaves the peer mid-frame as well.
  DownloadTracker cut;
  plan = cut.PlanWrite(half, 8, error);
  ASSERT_TRUE(plan);
  cut.WriteDone(*plan, half, 8, true, 3);
  EXPECT_TRUE(cut.Broken());
}

}  // namespace
}  // namespace upwend::adb
