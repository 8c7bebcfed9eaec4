// The sysfs device backend against devices emulated with umockdev: the real /sys, /dev and
// udev database paths, redirected by umockdev-wrapper into a testbed. Exits 77 (skipped) when
// it does not run inside umockdev.
#include <sys/stat.h>
#include <sys/wait.h>
#include <umockdev.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "platform/node_access.h"
#include "platform/posix/sysfs_scan.h"
#include "platform/sysfs_backend.h"
#include "platform/usb_names.h"

namespace upwend {
namespace {

// A modem in normal mode (05c6:9025) on the option driver: DIAG on interface 0, the modem on 2.
constexpr const char* kModem = R"(P: /devices/pci0000:00/0000:00:14.0/usb1/1-2
N: bus/usb/001/005
E: SUBSYSTEM=usb
E: DEVTYPE=usb_device
E: DEVNAME=/dev/bus/usb/001/005
A: idVendor=05c6
A: idProduct=9025
A: bcdDevice=0318
A: busnum=1
A: devnum=5
A: bNumInterfaces= 5
A: product=Modem

P: /devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0
E: SUBSYSTEM=usb
E: DEVTYPE=usb_interface
A: bInterfaceNumber=00
A: bInterfaceClass=ff
A: bInterfaceSubClass=ff
A: bInterfaceProtocol=ff
L: driver=../../../../../../bus/usb/drivers/option

P: /devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/ttyUSB0/tty/ttyUSB0
N: ttyUSB0
E: SUBSYSTEM=tty
E: DEVNAME=/dev/ttyUSB0
A: dev=188:0

P: /devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.2
E: SUBSYSTEM=usb
E: DEVTYPE=usb_interface
A: bInterfaceNumber=02
A: bInterfaceClass=ff
A: bInterfaceSubClass=ff
A: bInterfaceProtocol=ff
L: driver=../../../../../../bus/usb/drivers/option

P: /devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.2/ttyUSB1/tty/ttyUSB1
N: ttyUSB1
E: SUBSYSTEM=tty
E: DEVNAME=/dev/ttyUSB1
A: dev=188:1
)";

// An unrelated USB serial adapter (ftdi_sio): listed, but never an AT probe candidate.
constexpr const char* kAdapter = R"(P: /devices/pci0000:00/0000:00:14.0/usb1/1-3
N: bus/usb/001/006
E: SUBSYSTEM=usb
E: DEVTYPE=usb_device
A: idVendor=0403
A: idProduct=6001
A: busnum=1
A: devnum=6
A: bNumInterfaces= 1
A: product=FT232R USB UART

P: /devices/pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.0
E: SUBSYSTEM=usb
E: DEVTYPE=usb_interface
A: bInterfaceNumber=00
A: bInterfaceClass=ff
A: bInterfaceSubClass=ff
A: bInterfaceProtocol=ff
L: driver=../../../../../../bus/usb/drivers/ftdi_sio

P: /devices/pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.0/ttyUSB2/tty/ttyUSB2
N: ttyUSB2
E: SUBSYSTEM=tty
E: DEVNAME=/dev/ttyUSB2
A: dev=188:2
)";

// A modem the name table does not know; ModemManager's rules typed its ports.
constexpr const char* kTypedModem = R"(P: /devices/pci0000:00/0000:00:14.0/usb1/1-4
N: bus/usb/001/007
E: SUBSYSTEM=usb
E: DEVTYPE=usb_device
A: idVendor=1234
A: idProduct=5678
A: busnum=1
A: devnum=7
A: bNumInterfaces= 2
A: product=Other Modem

P: /devices/pci0000:00/0000:00:14.0/usb1/1-4/1-4:1.0
E: SUBSYSTEM=usb
E: DEVTYPE=usb_interface
A: bInterfaceNumber=00
A: bInterfaceClass=ff
A: bInterfaceSubClass=ff
A: bInterfaceProtocol=ff
L: driver=../../../../../../bus/usb/drivers/option

P: /devices/pci0000:00/0000:00:14.0/usb1/1-4/1-4:1.0/ttyUSB3/tty/ttyUSB3
N: ttyUSB3
E: SUBSYSTEM=tty
E: DEVNAME=/dev/ttyUSB3
E: ID_MM_PORT_TYPE_QCDM=1
A: dev=188:3

P: /devices/pci0000:00/0000:00:14.0/usb1/1-4/1-4:1.1
E: SUBSYSTEM=usb
E: DEVTYPE=usb_interface
A: bInterfaceNumber=01
A: bInterfaceClass=ff
A: bInterfaceSubClass=ff
A: bInterfaceProtocol=ff
L: driver=../../../../../../bus/usb/drivers/option

P: /devices/pci0000:00/0000:00:14.0/usb1/1-4/1-4:1.1/ttyUSB4/tty/ttyUSB4
N: ttyUSB4
E: SUBSYSTEM=tty
E: DEVNAME=/dev/ttyUSB4
E: ID_MM_PORT_TYPE_AT_PRIMARY=1
A: dev=188:4
)";

// The same product in fastboot mode: one interface ff/42/03, no serial ports.
constexpr const char* kFastboot = R"(P: /devices/pci0000:00/0000:00:14.0/usb1/1-5
N: bus/usb/001/009
E: SUBSYSTEM=usb
E: DEVTYPE=usb_device
E: DEVNAME=/dev/bus/usb/001/009
A: idVendor=18d1
A: idProduct=d00d
A: busnum=1
A: devnum=9
A: bNumInterfaces= 1
A: product=Android

P: /devices/pci0000:00/0000:00:14.0/usb1/1-5/1-5:1.0
E: SUBSYSTEM=usb
E: DEVTYPE=usb_interface
A: bInterfaceNumber=00
A: bInterfaceClass=ff
A: bInterfaceSubClass=42
A: bInterfaceProtocol=03
)";

class UmockdevDiscoveryTest : public ::testing::Test {
protected:
  void SetUp() override {
    testbed_ = umockdev_testbed_new();
    for (const char* description : {kModem, kAdapter, kTypedModem, kFastboot}) {
      GError* error = nullptr;
      ASSERT_TRUE(umockdev_testbed_add_from_string(testbed_, description, &error))
          << (error != nullptr ? error->message : "");
    }
  }
  void TearDown() override { g_object_unref(testbed_); }

  static SysfsSnapshot Scan() { return ScanSysfs("/sys", "/dev", UsbNameTable::BuiltIn(), true); }

  UMockdevTestbed* testbed_ = nullptr;
};

bool Has(const std::vector<SerialMapEntry>& map, const std::string& node) {
  return std::any_of(map.begin(), map.end(), [&](const SerialMapEntry& e) { return e.valueName == node; });
}

TEST_F(UmockdevDiscoveryTest, ModemPortsAreNamedAndOnlyModemTtysAreProbeCandidates) {
  SysfsSnapshot s = Scan();
  std::vector<std::string> names;
  for (const auto& p : s.comPorts) names.push_back(p.friendlyName + " = " + p.deviceNode);
  auto listed = [&](const std::string& text) {
    return std::any_of(names.begin(), names.end(), [&](const std::string& n) { return n.find(text) != std::string::npos; });
  };
  EXPECT_TRUE(listed("Qualcomm HS-USB Diagnostics 9025 (COM")) << ::testing::PrintToString(names);
  // The modem interface is left to the AT probe, as on Windows.
  EXPECT_FALSE(listed("/dev/ttyUSB1"));
  EXPECT_TRUE(Has(s.serialMap, "/dev/ttyUSB1"));
  // The serial adapter is listed as a port but never offered to the probe.
  EXPECT_TRUE(listed("FT232R USB UART Interface 0"));
  EXPECT_FALSE(Has(s.serialMap, "/dev/ttyUSB2"));
  // ModemManager's types: the QCDM port reads as a DIAG port, the primary AT port as a modem.
  EXPECT_TRUE(listed("Other Modem Diagnostics Interface 0")) << ::testing::PrintToString(names);
  EXPECT_FALSE(listed("/dev/ttyUSB4"));
  EXPECT_TRUE(Has(s.serialMap, "/dev/ttyUSB4"));
}

TEST_F(UmockdevDiscoveryTest, TheFastbootModeShowsOneAdbInterfaceOfASingleInterfaceDevice) {
  auto backend = CreateSysfsBackend();
  auto adb = backend->ListAdbInterfaces();
  ASSERT_EQ(adb.size(), 1u);
  EXPECT_NE(adb[0].devicePath.find("vid_18d1&pid_d00d#bus_001&dev_009"), std::string::npos) << adb[0].devicePath;
  EXPECT_EQ(adb[0].devicePath.find("mi_0"), std::string::npos);
}

TEST_F(UmockdevDiscoveryTest, ANodeTheUserMayNotOpenIsNamedWithItsFix) {
  gchar* root = umockdev_testbed_get_root_dir(testbed_);
  std::string dev = std::string(root) + "/dev";
  g_free(root);
  // The testbed folder is private to its creator; the unprivileged child must reach it.
  ASSERT_EQ(::chmod((dev + "/..").c_str(), 0755), 0);
  ASSERT_EQ(::chmod((dev + "/ttyUSB0").c_str(), 0), 0);
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Root may open any node, so the child gives that up first.
    if (::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
    SysfsSnapshot s = ScanSysfs("/sys", "/dev", UsbNameTable::BuiltIn(), false);
    std::string text;
    for (const auto& [node, error] : s.blockedNodes)
      if (node == "/dev/ttyUSB0") text = DescribeNodeProblem(node, error);
    [[maybe_unused]] auto n = ::write(pipeFds[1], text.data(), text.size());
    ::_exit(0);
  }
  ::close(pipeFds[1]);
  std::string text;
  char buf[1024];
  for (ssize_t n; (n = ::read(pipeFds[0], buf, sizeof buf)) > 0;) text.append(buf, static_cast<size_t>(n));
  ::close(pipeFds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(text.rfind("cannot open /dev/ttyUSB0: Permission denied; install 70-upwend.rules", 0), 0u) << text;
}

}  // namespace
}  // namespace upwend

int main(int argc, char** argv) {
  // The testbed must exist before the check, which caches its first answer.
  UMockdevTestbed* probe = umockdev_testbed_new();
  bool mocked = umockdev_in_mock_environment();
  g_object_unref(probe);
  if (!mocked) {
    std::puts("not running under umockdev-wrapper: skipped");
    return 77;
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
