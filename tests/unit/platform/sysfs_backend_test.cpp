// The sysfs backend on a fake tree laid out like /sys: USB devices below a PCI host controller,
// interfaces below them, usb-serial ttys (<intf>/ttyUSBn/tty/ttyUSBn) and CDC-ACM ttys
// (<intf>/tty/ttyACMn), with the class/tty and bus/usb/devices links pointing into it.
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>

#include "platform/clock.h"
#include "platform/posix/sysfs_scan.h"
#include "platform/sysfs_backend.h"
#include "platform/usb_device_path.h"

namespace upwend {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class FakeSysfs {
public:
  explicit FakeSysfs(const fs::path& base) : sys_(base / "sys"), dev_(base / "dev") {
    fs::remove_all(base);
    fs::create_directories(sys_ / "class" / "tty");
    fs::create_directories(sys_ / "bus" / "usb" / "devices");
    fs::create_directories(dev_);
  }
  std::string Sys() const { return sys_.string(); }
  std::string Dev() const { return dev_.string(); }

  void AddDevice(const std::string& name, const std::string& vid, const std::string& pid, int interfaces,
                 const std::string& product = "", int devnum = 5) {
    fs::path dir = Host() / name;
    fs::create_directories(dir);
    Attr(dir, "idVendor", vid);
    Attr(dir, "idProduct", pid);
    Attr(dir, "bcdDevice", "0318");
    Attr(dir, "busnum", "1");
    Attr(dir, "devnum", std::to_string(devnum));
    Attr(dir, "bNumInterfaces", (interfaces < 10 ? " " : "") + std::to_string(interfaces));
    if (!product.empty()) Attr(dir, "product", product);
    Link(sys_ / "bus" / "usb" / "devices" / name, dir);
  }
  void AddInterface(const std::string& device, int number, const std::string& cls, const std::string& sub = "00",
                    const std::string& proto = "00") {
    fs::path dir = Intf(device, number);
    fs::create_directories(dir);
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02x", number);
    Attr(dir, "bInterfaceNumber", hex);
    Attr(dir, "bInterfaceClass", cls);
    Attr(dir, "bInterfaceSubClass", sub);
    Attr(dir, "bInterfaceProtocol", proto);
    Link(sys_ / "bus" / "usb" / "devices" / dir.filename(), dir);
  }
  // A serial interface with its tty: "ttyUSBn" the usb-serial way, "ttyACMn" the CDC-ACM way.
  void AddTty(const std::string& device, int number, const std::string& tty, bool withNode = true) {
    AddInterface(device, number, tty.starts_with("ttyACM") ? "02" : "ff");
    fs::path intf = Intf(device, number);
    fs::path dir = tty.starts_with("ttyACM") ? intf / "tty" / tty : intf / tty / "tty" / tty;
    fs::create_directories(dir);
    Attr(dir, "dev", "188:0");
    Link(sys_ / "class" / "tty" / tty, dir);
    if (withNode) std::ofstream(dev_ / tty).put('\0');
  }
  void AddPlatformTty(const std::string& tty) {
    fs::path dir = sys_ / "devices" / "platform" / "serial8250" / "tty" / tty;
    fs::create_directories(dir);
    Link(sys_ / "class" / "tty" / tty, dir);
    std::ofstream(dev_ / tty).put('\0');
  }
  void RemoveDevice(const std::string& name) {
    for (const char* dir : {"class/tty", "bus/usb/devices"}) {
      for (const auto& e : fs::directory_iterator(sys_ / dir)) {
        auto target = fs::read_symlink(e.path()).string();
        if (target.find("/" + name + "/") != std::string::npos || target.ends_with("/" + name)) {
          fs::remove(e.path());
          fs::remove(dev_ / e.path().filename());
        }
      }
    }
    fs::remove_all(Host() / name);
  }
  static void Attr(const fs::path& dir, const std::string& name, const std::string& value) {
    std::ofstream(dir / name) << value << "\n";
  }

private:
  fs::path Host() const { return sys_ / "devices" / "pci0000:00" / "0000:00:14.0" / "usb1"; }
  fs::path Intf(const std::string& device, int number) const {
    return Host() / device / (device + ":1." + std::to_string(number));
  }
  static void Link(const fs::path& at, const fs::path& target) {
    fs::create_directory_symlink(fs::relative(target, at.parent_path()), at);
  }

  fs::path sys_;
  fs::path dev_;
};

class SysfsBackendTest : public ::testing::Test {
protected:
  void SetUp() override {
    const char* home = std::getenv("UPWEND_HOME");
    base_ = fs::path(home != nullptr ? home : fs::temp_directory_path().string()) /
            (std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
             std::to_string(::getpid()));
    fake_ = std::make_unique<FakeSysfs>(base_);
  }
  void TearDown() override {
    fake_.reset();
    std::error_code ec;
    fs::remove_all(base_, ec);
  }
  std::unique_ptr<DeviceBackend> Backend(std::vector<std::string> nameFiles = {}) {
    SysfsBackendOptions o;
    o.sysfsRoot = fake_->Sys();
    o.devRoot = fake_->Dev();
    o.nameFiles = std::move(nameFiles);
    o.useUdev = false;
    o.rescanIntervalMs = 200;
    o.clock = &clock_;
    return CreateSysfsBackend(o);
  }
  // A modem in its normal mode: DIAG, fastboot-class interface, modem, NMEA, network.
  void AddQualcommModem(const std::string& name = "1-2", int devnum = 5) {
    fake_->AddDevice(name, "05c6", "9025", 5, "Qualcomm CDMA Technologies MSM", devnum);
    fake_->AddTty(name, 0, "ttyUSB0");
    fake_->AddInterface(name, 1, "ff", "42", "03");
    fake_->AddTty(name, 2, "ttyUSB1");
    fake_->AddTty(name, 3, "ttyUSB2");
    fake_->AddInterface(name, 4, "ff", "ff", "ff");
  }

  ScaledClock clock_{0.05};
  fs::path base_;
  std::unique_ptr<FakeSysfs> fake_;
};

TEST_F(SysfsBackendTest, ListsAQualcommCompositionLikeWindowsDoes) {
  AddQualcommModem();
  auto backend = Backend();

  auto ports = backend->ListComPorts();
  ASSERT_EQ(ports.size(), 2u) << "the modem interface belongs to the modem class, not the COM-port class";
  EXPECT_EQ(ports[0].friendlyName, "Qualcomm HS-USB Diagnostics 9025 (COM100)");
  EXPECT_EQ(ports[0].description, "Qualcomm HS-USB Diagnostics 9025");
  EXPECT_EQ(ports[0].hardwareId, "USB\\VID_05C6&PID_9025&REV_0318&MI_00");
  EXPECT_EQ(ports[0].portName, "COM100");
  EXPECT_EQ(ports[0].deviceNode, fake_->Dev() + "/ttyUSB0");
  EXPECT_EQ(ports[1].friendlyName, "Qualcomm HS-USB NMEA 9025 (COM102)");
  EXPECT_EQ(ports[1].hardwareId, "USB\\VID_05C6&PID_9025&REV_0318&MI_03");

  auto map = backend->SerialPortMap();
  ASSERT_EQ(map.size(), 3u);
  EXPECT_EQ(map[0].portName, "COM100");
  EXPECT_EQ(map[1].portName, "COM101");
  EXPECT_EQ(map[1].valueName, fake_->Dev() + "/ttyUSB1");
  EXPECT_EQ(map[2].portName, "COM102");

  auto adb = backend->ListAdbInterfaces();
  ASSERT_EQ(adb.size(), 1u);
  EXPECT_NE(adb[0].devicePath.find("mi_01"), std::string::npos) << adb[0].devicePath;
  auto address = ParseUsbDevicePath(adb[0].devicePath);
  ASSERT_TRUE(address);
  EXPECT_EQ(address->busNumber, 1);
  EXPECT_EQ(address->deviceAddress, 5);
  EXPECT_EQ(address->interfaceNumber, 1);
  EXPECT_TRUE(address->composite);

  EXPECT_EQ(backend->DeviceNodeForPort("COM101"), fake_->Dev() + "/ttyUSB1");
  EXPECT_EQ(backend->DeviceNodeForPort("\\\\.\\COM102"), fake_->Dev() + "/ttyUSB2");
  EXPECT_FALSE(backend->DeviceNodeForPort("COM103"));
  EXPECT_TRUE(backend->ListUsbBootDevices().empty());
}

TEST_F(SysfsBackendTest, FastbootAndBootDevicesHaveUsablePaths) {
  fake_->AddDevice("1-3", "18d1", "d00d", 1, "Android", 7);
  fake_->AddInterface("1-3", 0, "ff", "42", "03");
  fake_->AddDevice("1-4", "0451", "d00e", 1, "", 9);
  fake_->AddInterface("1-4", 0, "ff");
  fake_->AddDevice("1-5", "18d1", "4ee7", 1, "Phone", 11);
  fake_->AddInterface("1-5", 0, "ff", "42", "01");  // ADB, not fastboot
  auto backend = Backend();

  auto adb = backend->ListAdbInterfaces();
  ASSERT_EQ(adb.size(), 1u);
  EXPECT_EQ(adb[0].devicePath.find("mi_0"), std::string::npos);
  EXPECT_EQ(adb[0].devicePath.find("MI_0"), std::string::npos);
  auto address = ParseUsbDevicePath(adb[0].devicePath);
  ASSERT_TRUE(address);
  EXPECT_EQ(address->vendorId, 0x18D1);
  EXPECT_EQ(address->deviceAddress, 7);
  EXPECT_EQ(address->interfaceNumber, 0);
  EXPECT_FALSE(address->composite);

  auto boot = backend->ListUsbBootDevices();
  ASSERT_EQ(boot.size(), 1u);
  std::string upper = boot[0].devicePath;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_NE(upper.find("VID_0451&PID_D00E"), std::string::npos);
  auto pipe = ParseUsbDevicePath(boot[0].devicePath + "\\PIPE01");
  ASSERT_TRUE(pipe);
  EXPECT_EQ(pipe->deviceAddress, 9);
  EXPECT_EQ(pipe->pipe, "PIPE01");
}

TEST_F(SysfsBackendTest, UnknownAndBrokenEntriesNeverBreakTheScan) {
  // Unknown single-interface CDC-ACM device whose product string carries parentheses and a
  // control character: the fallback name must still end in exactly one "(COMn)".
  fake_->AddDevice("1-6", "1234", "5678", 1, "Foo (R) Modem\x01");
  fake_->AddTty("1-6", 0, "ttyACM0");
  // No product string at all.
  fake_->AddDevice("1-7", "1234", "0001", 3, "", 6);
  fake_->AddTty("1-7", 2, "ttyUSB7");
  // A built-in UART (no USB parent), a tty without a device node, a dangling link, garbage
  // attributes and a tty name outside the port rule.
  fake_->AddPlatformTty("ttyS0");
  fake_->AddDevice("1-8", "05c6", "9025", 2, "", 8);
  fake_->AddTty("1-8", 0, "ttyUSB8", /*withNode=*/false);
  fs::create_directory_symlink("../../devices/nowhere/ttyUSB9", fs::path(fake_->Sys()) / "class/tty/ttyUSB9");
  fake_->AddDevice("1-9", "zzzz", "9025", 1, "", 10);
  fake_->AddTty("1-9", 0, "ttyUSB10");
  fake_->AddDevice("1-10", "05c6", "9025", 1, "", 12);
  fake_->AddTty("1-10", 0, "ttyUSB100");
  FakeSysfs::Attr(fs::path(fake_->Sys()) / "class/tty", "ttyUSB11", std::string(5000, 'x'));
  auto backend = Backend();

  auto ports = backend->ListComPorts();
  ASSERT_EQ(ports.size(), 2u);
  EXPECT_EQ(ports[0].friendlyName, "USB Serial Device Interface 2 (COM107)");
  EXPECT_EQ(ports[0].hardwareId, "USB\\VID_1234&PID_0001&REV_0318&MI_02");
  EXPECT_EQ(ports[1].friendlyName, "Foo [R] Modem Interface 0 (COM200)");
  EXPECT_EQ(ports[1].hardwareId, "USB\\VID_1234&PID_5678&REV_0318") << "a single-interface device has no MI_";
  EXPECT_EQ(backend->SerialPortMap().size(), 2u);
  EXPECT_EQ(backend->DeviceNodeForPort("COM1"), fake_->Dev() + "/ttyS0");

  // A tree that is not there at all lists nothing.
  SysfsBackendOptions o;
  o.sysfsRoot = fake_->Sys() + "/missing";
  o.useUdev = false;
  EXPECT_TRUE(CreateSysfsBackend(o)->ListComPorts().empty());
}

TEST_F(SysfsBackendTest, ProductNameTablesWinOverTheBuiltInOnes) {
  fs::path file = base_ / "usb-names.txt";
  std::ofstream(file) << "# product entries\n"
                         "05C6 9025 00 port  Acme DIAG Port   # trailing comment\n"
                         "05c6 9025 03 modem Acme AT Port\n"
                         "1234 5678 *  port  Acme Terminal\n"
                         "12345 5678 00 port too long an ID\n"
                         "1234 5678 00 serial bad role\n";
  AddQualcommModem();
  fake_->AddDevice("1-6", "1234", "5678", 1, "Foo");
  fake_->AddTty("1-6", 0, "ttyACM1");
  auto backend = Backend({file.string()});
  auto ports = backend->ListComPorts();
  ASSERT_EQ(ports.size(), 2u);
  EXPECT_EQ(ports[0].friendlyName, "Acme DIAG Port (COM100)");
  EXPECT_EQ(ports[1].friendlyName, "Acme Terminal (COM201)");
  EXPECT_EQ(backend->SerialPortMap().size(), 4u);

  std::vector<std::string> errors;
  auto entries = ParseUsbNameTable("05C6 9025 00 port A\n\nxx 9025 00 port B\n05C6 9025 0g port C\n05C6 9025 01 modem\n",
                                   errors);
  ASSERT_EQ(entries.size(), 1u);
  ASSERT_EQ(errors.size(), 3u);
  EXPECT_EQ(errors[0], "line 3: bad vendor ID");
  EXPECT_EQ(errors[1], "line 4: bad interface number");
  EXPECT_EQ(errors[2], "line 5: bad name");
}

TEST_F(SysfsBackendTest, ScanDifferencesComeInDeviceOrder) {
  auto names = UsbNameTable::BuiltIn();
  auto scan = [&] { return ScanSysfs(fake_->Sys(), fake_->Dev(), names); };
  auto empty = scan();
  AddQualcommModem();
  auto plugged = scan();

  auto events = DiffSnapshots(empty, plugged);
  ASSERT_EQ(events.size(), 5u);
  for (const auto& e : events) EXPECT_EQ(e.kind, DeviceEventKind::Arrival);
  EXPECT_EQ(events[0].type, DeviceType::Other);
  EXPECT_EQ(events[1].type, DeviceType::Interface);
  EXPECT_NE(events[1].name.find("mi_01"), std::string::npos);
  EXPECT_EQ(events[2].type, DeviceType::Port);
  EXPECT_EQ(events[2].name, "COM100");
  EXPECT_EQ(events[3].name, "COM101");
  EXPECT_EQ(events[4].name, "COM102");
  EXPECT_TRUE(DiffSnapshots(plugged, scan()).empty());

  events = DiffSnapshots(plugged, empty);
  ASSERT_EQ(events.size(), 5u);
  EXPECT_EQ(events[0].kind, DeviceEventKind::RemoveComplete);
  EXPECT_EQ(events[0].type, DeviceType::Port);
  EXPECT_EQ(events[0].name, "COM100");
  EXPECT_EQ(events[3].type, DeviceType::Interface);
  EXPECT_EQ(events[4].type, DeviceType::Other);

  // The same port numbers back on a new USB address, between two scans: still a removal and an
  // arrival, so a waiting update sees the device come back.
  fake_->RemoveDevice("1-2");
  AddQualcommModem("1-2", 6);
  events = DiffSnapshots(plugged, scan());
  ASSERT_EQ(events.size(), 10u);
  EXPECT_EQ(events[0].kind, DeviceEventKind::RemoveComplete);
  EXPECT_EQ(events[0].name, "COM100");
  EXPECT_EQ(events[9].kind, DeviceEventKind::Arrival);
  EXPECT_EQ(events[9].name, "COM102");
}

TEST_F(SysfsBackendTest, WatchDeliversEventsUntilUnwatch) {
  auto backend = Backend();
  std::mutex m;
  std::vector<std::string> seen;
  auto record = [&](const DeviceEvent& e) {
    if (e.type != DeviceType::Port) return;
    std::lock_guard lock(m);
    seen.push_back((e.kind == DeviceEventKind::Arrival ? "+" : "-") + e.name);
  };
  auto waitFor = [&](size_t n) {
    for (int i = 0; i < 500; ++i) {
      {
        std::lock_guard lock(m);
        if (seen.size() >= n) return true;
      }
      std::this_thread::sleep_for(10ms);
    }
    return false;
  };
  backend->Watch(record);
  AddQualcommModem();
  ASSERT_TRUE(waitFor(3));
  fake_->RemoveDevice("1-2");
  ASSERT_TRUE(waitFor(6));
  {
    std::lock_guard lock(m);
    std::sort(seen.begin(), seen.begin() + 3);
    std::sort(seen.begin() + 3, seen.end());
    EXPECT_EQ(seen, (std::vector<std::string>{"+COM100", "+COM101", "+COM102", "-COM100", "-COM101", "-COM102"}));
    seen.clear();
  }
  backend->Unwatch();
  // A second backend still watching hears the new device; only once it has could the first one
  // have heard it too, so the check after it can fail.
  auto witness = Backend();
  std::atomic<int> witnessed{0};
  witness->Watch([&](const DeviceEvent& e) {
    if (e.type == DeviceType::Port && e.kind == DeviceEventKind::Arrival) ++witnessed;
  });
  AddQualcommModem();
  for (int i = 0; i < 500 && witnessed < 3; ++i) std::this_thread::sleep_for(10ms);
  witness->Unwatch();
  ASSERT_EQ(witnessed.load(), 3) << "the witness never heard the device";
  std::lock_guard lock(m);
  EXPECT_TRUE(seen.empty()) << "no event after Unwatch";
}

TEST(UsbDevicePathTest, PathsRoundTripAndJunkIsRejected) {
  auto composite = AdbInterfacePath(0x05C6, 0x9025, 3, 121, 1, true);
  EXPECT_EQ(composite, "\\\\?\\usb#vid_05c6&pid_9025&mi_01#bus_003&dev_121&if_01#{f72fe0d4-cbcb-407d-8814-9ed673d0dd6b}");
  auto a = ParseUsbDevicePath(composite);
  ASSERT_TRUE(a);
  EXPECT_EQ(a->productId, 0x9025);
  EXPECT_EQ(a->busNumber, 3);
  EXPECT_EQ(a->deviceAddress, 121);

  std::string upper = UsbBootDevicePath(0x0451, 0xD00E, 1, 2);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_TRUE(ParseUsbDevicePath(upper));
  EXPECT_TRUE(ParseUsbDevicePath(UsbDevicePath(1, 2, 3, 4)));

  for (const char* bad :
       {"", "\\\\?\\usb#", "\\\\?\\usb#vid_05c6&pid_9025", "\\\\?\\usb#vid_05c6&pid_9025#bus_001",
        "\\\\?\\usb#vid_5c6&pid_9025#bus_001&dev_002", "\\\\?\\usb#vid_05c6&pid_9025#bus_999&dev_002",
        "\\\\?\\usb#vid_05c6&pid_9025&mi_01#bus_001&dev_002#{f72fe0d4-cbcb-407d-8814-9ed673d0dd6b}",
        "\\\\?\\usb#vid_05c6&pid_9025&mi_01#bus_001&dev_002&if_02#{f72fe0d4-cbcb-407d-8814-9ed673d0dd6b}",
        "\\\\?\\usb#vid_05c6&pid_9025#bus_001&dev_002#{00000000-0000-0000-0000-000000000000}",
        "\\\\?\\usb#vid_05c6&pid_9025#bus_001&dev_002\\", "\\\\?\\usb#vid_05c6&pid_9025#bus_001&dev_002\\a\\b",
        "/dev/bus/usb/001/002"})
    EXPECT_FALSE(ParseUsbDevicePath(bad)) << bad;
}

}  // namespace
}  // namespace upwend
