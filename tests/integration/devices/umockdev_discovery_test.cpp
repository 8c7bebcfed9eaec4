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

// The udev records of one USB device as umockdev reads them: the device, then each interface
// with the tty nodes below it.
class UsbRecords {
public:
  // `port` is the device's place on the bus ("1-2"); `node`: whether it has a /dev node.
  UsbRecords(const std::string& port, int devnum, const std::string& vendor, const std::string& product,
             int interfaces, const std::string& name, bool node = false, const std::string& bcdDevice = "")
      : port_(port) {
    const std::string devnumText = (devnum < 10 ? "00" : "0") + std::to_string(devnum);
    text_ = "P: " + Root() + "\nN: bus/usb/001/" + devnumText + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\n";
    if (node) text_ += "E: DEVNAME=/dev/bus/usb/001/" + devnumText + "\n";
    text_ += "A: idVendor=" + vendor + "\nA: idProduct=" + product + "\n";
    if (!bcdDevice.empty()) text_ += "A: bcdDevice=" + bcdDevice + "\n";
    text_ += "A: busnum=1\nA: devnum=" + std::to_string(devnum) + "\nA: bNumInterfaces= " + std::to_string(interfaces) +
             "\nA: product=" + name + "\n";
  }
  // An interface (class, subclass and protocol in hex) bound to `driver` (empty: none).
  UsbRecords& Interface(int number, const std::string& classes = "ff ff ff", const std::string& driver = "option") {
    interface_ = Root() + "/" + port_ + ":1." + std::to_string(number);
    text_ += "\nP: " + interface_ + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nA: bInterfaceNumber=0" +
             std::to_string(number) + "\nA: bInterfaceClass=" + classes.substr(0, 2) +
             "\nA: bInterfaceSubClass=" + classes.substr(3, 2) + "\nA: bInterfaceProtocol=" + classes.substr(6, 2) + "\n";
    if (!driver.empty()) text_ += "L: driver=../../../../../../bus/usb/drivers/" + driver + "\n";
    return *this;
  }
  // ttyUSB<index> below the last interface, with udev properties such as ModemManager's port type.
  UsbRecords& Tty(int index, const std::string& property = "") {
    const std::string tty = "ttyUSB" + std::to_string(index);
    text_ += "\nP: " + interface_ + "/" + tty + "/tty/" + tty + "\nN: " + tty + "\nE: SUBSYSTEM=tty\nE: DEVNAME=/dev/" +
             tty + "\n";
    if (!property.empty()) text_ += "E: " + property + "=1\n";
    text_ += "A: dev=188:" + std::to_string(index) + "\n";
    return *this;
  }
  const std::string& text() const { return text_; }

private:
  std::string Root() const { return "/devices/pci0000:00/0000:00:14.0/usb1/" + port_; }
  std::string port_;
  std::string interface_;
  std::string text_;
};

// A modem in normal mode (05c6:9025) on the option driver: DIAG on interface 0, the modem on 2.
std::string Modem() {
  return UsbRecords("1-2", 5, "05c6", "9025", 5, "Modem", true, "0318").Interface(0).Tty(0).Interface(2).Tty(1).text();
}

// An unrelated USB serial adapter (ftdi_sio): listed, but never an AT probe candidate.
std::string Adapter() {
  return UsbRecords("1-3", 6, "0403", "6001", 1, "FT232R USB UART").Interface(0, "ff ff ff", "ftdi_sio").Tty(2).text();
}

// A modem the name table does not know; ModemManager's rules typed its ports.
std::string TypedModem() {
  return UsbRecords("1-4", 7, "1234", "5678", 2, "Other Modem")
      .Interface(0)
      .Tty(3, "ID_MM_PORT_TYPE_QCDM")
      .Interface(1)
      .Tty(4, "ID_MM_PORT_TYPE_AT_PRIMARY")
      .text();
}

// The same product in fastboot mode: one interface ff/42/03, no serial ports.
std::string Fastboot() {
  return UsbRecords("1-5", 9, "18d1", "d00d", 1, "Android", true).Interface(0, "ff 42 03", "").text();
}

class UmockdevDiscoveryTest : public ::testing::Test {
protected:
  void SetUp() override {
    testbed_ = umockdev_testbed_new();
    for (const std::string& description : {Modem(), Adapter(), TypedModem(), Fastboot()}) {
      GError* error = nullptr;
      ASSERT_TRUE(umockdev_testbed_add_from_string(testbed_, description.c_str(), &error))
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
