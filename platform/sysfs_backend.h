#pragma once
// The device backend for real hardware on Linux. It reads a sysfs tree (so tests can hand it a
// fake one laid out like /sys) and uses libudev only to hear about changes as they happen:
//
// - COM-port class: tty devices with a USB parent whose interface the name table does not call a
//   modem, named "<name> (COMn)" from the table (platform/usb_names.h), else
//   "<USB product string> Interface <n> (COMn)"; hardware ID "USB\VID_xxxx&PID_xxxx&REV_xxxx"
//   plus "&MI_nn" for an interface of a composite device; COMn by the rule of port_names.h.
// - Serial port map: every tty with a USB parent, modems included, in COM-number order.
// - ADB class: USB interfaces of class FF, subclass 42, protocol 03; USB boot class: devices
//   the table names as boot devices. Paths as in platform/usb_device_path.h.
// - Events: the tree is scanned again on every udev event and at least once a second, and the
//   difference to the previous scan becomes arrival and removal events.
// Ports are listed only while their device node exists below devRoot.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/device_backend.h"

namespace upwend {

class Clock;
class DeviceSelector;

struct SysfsBackendOptions {
  std::string sysfsRoot = "/sys";
  std::string devRoot = "/dev";
  // Name tables of the product, in precedence order, in front of the built-in entries.
  std::vector<std::string> nameFiles;
  // Listen to udev (only meaningful for the real /sys); the periodic scan runs either way.
  bool useUdev = true;
  uint64_t rescanIntervalMs = 1000;
  Clock* clock = nullptr;  // nullptr: SystemClock()
  // Told once per node when a listed port or fastboot/boot device cannot be opened by this user
  // (the node, the reason and the fix); nullptr: printed on stderr as "upwend: ...".
  std::function<void(const std::string&)> diag;
  // The one device to show (upwend --device); nullptr: every device.
  std::shared_ptr<DeviceSelector> selector;
};

// The product's name tables: the files listed in UPWEND_USB_NAMES (separated by ':'), then
// "usb-names.txt" in the settings folder.
std::vector<std::string> DefaultUsbNameFiles();

std::unique_ptr<DeviceBackend> CreateSysfsBackend(const SysfsBackendOptions& options);
std::unique_ptr<DeviceBackend> CreateSysfsBackend(const std::string& sysfsRoot = "/sys",
                                                  const std::string& devRoot = "/dev",
                                                  std::shared_ptr<DeviceSelector> selector = nullptr);

}  // namespace upwend
