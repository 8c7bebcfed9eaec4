// The sysfs device backend against devices emulated with umockdev: the real /sys, /dev and
// udev database paths, redirected by umockdev-wrapper into a testbed. Exits 77 (skipped) when
// it does not run inside umockdev.
#include <sys/stat.h>
#include <sys/wait.h>
#include <fmt/format.h>
#include <umockdev.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "platform/device_selector.h"
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

// One of two modems of the same product at `port` ("1-6"), told apart by place and serial
// number; its DIAG port is ttyUSB<tty>.
std::string TwinModem(const std::string& port, int devnum, const std::string& serial, int tty) {
  std::string dir = "/devices/pci0000:00/0000:00:14.0/usb1/" + port;
  std::string node = fmt::format("bus/usb/001/{:03d}", devnum);
  return fmt::format(R"(P: {0}
N: {1}
E: SUBSYSTEM=usb
E: DEVTYPE=usb_device
E: DEVNAME=/dev/{1}
A: idVendor=05c6
A: idProduct=9025
A: busnum=1
A: devnum={2}
A: bNumInterfaces= 5
A: product=Modem
A: serial={3}

P: {0}/{4}:1.0
E: SUBSYSTEM=usb
E: DEVTYPE=usb_interface
A: bInterfaceNumber=00
A: bInterfaceClass=ff
A: bInterfaceSubClass=ff
A: bInterfaceProtocol=ff
L: driver=../../../../../../bus/usb/drivers/option

P: {0}/{4}:1.0/ttyUSB{5}/tty/ttyUSB{5}
N: ttyUSB{5}
E: SUBSYSTEM=tty
E: DEVNAME=/dev/ttyUSB{5}
A: dev=188:{5}
)",
                     dir, node, devnum, serial, port, tty);
}

// The boot loader's interface, as the device shows it after the reboot to fastboot.
std::string FastbootInterfaceOf(const std::string& port) {
  return fmt::format(R"(P: /devices/pci0000:00/0000:00:14.0/usb1/{0}/{0}:1.1
E: SUBSYSTEM=usb
E: DEVTYPE=usb_interface
A: bInterfaceNumber=01
A: bInterfaceClass=ff
A: bInterfaceSubClass=42
A: bInterfaceProtocol=03
)",
                     port);
}

// A device in its disk mode: one mass-storage interface.
constexpr const char* kDisk = R"(P: /devices/pci0000:00/0000:00:14.0/usb1/1-8
N: bus/usb/001/020
E: SUBSYSTEM=usb
E: DEVTYPE=usb_device
A: idVendor=05c6
A: idProduct=f000
A: busnum=1
A: devnum=20
A: bNumInterfaces= 1
A: product=USB Storage

P: /devices/pci0000:00/0000:00:14.0/usb1/1-8/1-8:1.0
E: SUBSYSTEM=usb
E: DEVTYPE=usb_interface
A: bInterfaceNumber=00
A: bInterfaceClass=08
A: bInterfaceSubClass=06
A: bInterfaceProtocol=50
)";

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

class TwoModemsTest : public UmockdevDiscoveryTest {
protected:
  void SetUp() override {
    UmockdevDiscoveryTest::SetUp();
    Add(TwinModem("1-6", 12, "SER-A", 10));
    Add(TwinModem("1-7", 13, "SER-B", 11));
  }
  void Add(const std::string& description) {
    GError* error = nullptr;
    ASSERT_TRUE(umockdev_testbed_add_from_string(testbed_, description.c_str(), &error))
        << (error != nullptr ? error->message : "");
  }
  static std::vector<std::string> Nodes(const SysfsSnapshot& s) {
    std::vector<std::string> nodes;
    for (const auto& p : s.comPorts) nodes.push_back(p.deviceNode);
    for (const auto& a : s.adbInterfaces) nodes.push_back(a.devicePath);
    return nodes;
  }
  static const UsbDeviceInfo* Device(const SysfsSnapshot& s, const std::string& path) {
    auto it = std::find_if(s.devices.begin(), s.devices.end(), [&](const UsbDeviceInfo& d) { return d.path == path; });
    return it == s.devices.end() ? nullptr : &*it;
  }
};

TEST_F(TwoModemsTest, EachModemIsChosenByItsPathItsDevicePathOrItsSerialNumber) {
  SysfsSnapshot all = Scan();
  const UsbDeviceInfo* second = Device(all, "1-7");
  ASSERT_TRUE(second != nullptr && Device(all, "1-5") != nullptr && Device(all, "1-3") != nullptr);
  EXPECT_EQ(second->serial, "SER-B");
  EXPECT_EQ(second->mode, "normal");
  EXPECT_EQ(second->devpath, "/devices/pci0000:00/0000:00:14.0/usb1/1-7");
  EXPECT_EQ(Device(all, "1-5")->mode, "fastboot");
  EXPECT_EQ(Device(all, "1-3")->mode, "normal");  // the serial adapter has a port
  struct Case {
    const char* value;
    const char* node;
    const char* other;
  };
  for (const Case& c : {Case{"1-6", "/dev/ttyUSB10", "/dev/ttyUSB11"}, Case{"SER-A", "/dev/ttyUSB10", "/dev/ttyUSB11"},
                        Case{"1-7", "/dev/ttyUSB11", "/dev/ttyUSB10"}, Case{"SER-B", "/dev/ttyUSB11", "/dev/ttyUSB10"},
                        Case{"/sys/devices/pci0000:00/0000:00:14.0/usb1/1-7", "/dev/ttyUSB11", "/dev/ttyUSB10"}}) {
    SCOPED_TRACE(c.value);
    DeviceSelector selector(c.value);
    SysfsSnapshot one = ScanSysfs("/sys", "/dev", UsbNameTable::BuiltIn(), true, &selector);
    ASSERT_EQ(one.devices.size(), 1u);
    EXPECT_EQ(Nodes(one), std::vector<std::string>{c.node});
    for (const auto& m : one.serialMap) EXPECT_NE(m.valueName, c.other);
    EXPECT_TRUE(DescribeDeviceChoice(all.devices, c.value).empty());
  }
  EXPECT_NE(DescribeDeviceChoice(all.devices, "1-9").find("no such device"), std::string::npos);
}

TEST_F(TwoModemsTest, AModemChosenBySerialStaysChosenInFastbootModeWithoutIt) {
  SysfsBackendOptions options;
  options.useUdev = false;
  options.selector = std::make_shared<DeviceSelector>("SER-B");
  auto backend = CreateSysfsBackend(options);
  ASSERT_EQ(backend->ListUsbDevices().size(), 1u);
  // The reboot: at 1-7 the modem's ports go and the boot loader comes, with no serial number
  // (umockdev cannot add a device again where one was, so the same device changes its face).
  const std::string dir = "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-7";
  umockdev_testbed_remove_device(testbed_, (dir + "/1-7:1.0/ttyUSB11/tty/ttyUSB11").c_str());
  umockdev_testbed_remove_device(testbed_, (dir + "/1-7:1.0").c_str());
  for (auto [name, value] : {std::pair{"serial", ""}, {"idVendor", "18d1"}, {"idProduct", "d00d"}, {"devnum", "14"},
                             {"bNumInterfaces", " 1"}})
    umockdev_testbed_set_attribute(testbed_, dir.c_str(), name, value);
  Add(FastbootInterfaceOf("1-7"));
  auto adb = backend->ListAdbInterfaces();
  // The other fastboot device (1-5) stays hidden.
  ASSERT_EQ(adb.size(), 1u);
  EXPECT_NE(adb[0].devicePath.find("vid_18d1&pid_d00d#bus_001&dev_014"), std::string::npos) << adb[0].devicePath;
  EXPECT_TRUE(backend->ListComPorts().empty());
  auto devices = backend->ListUsbDevices();
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0].mode, "fastboot");
}

TEST_F(TwoModemsTest, ADiskModeDeviceOfTheProductsVendorIsListedAsDisk) {
  Add(kDisk);
  SysfsSnapshot all = Scan();
  const UsbDeviceInfo* disk = Device(all, "1-8");
  ASSERT_NE(disk, nullptr);
  EXPECT_EQ(disk->mode, "disk");
  EXPECT_EQ(disk->vendorId, 0x05c6);
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
