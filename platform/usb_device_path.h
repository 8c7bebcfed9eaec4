#pragma once
// Device paths of USB devices and interfaces, in the shape of Windows device-interface paths so
// that the tool's text tests on them hold ("MI_0" marks an interface of a composite device;
// "VID_0451&PID_D00E" names the boot device), while carrying what a libusb backend needs to
// open the device: bus number, device address and interface number.
//
//   ADB interface of a composite device:
//     \\?\usb#vid_05c6&pid_9025&mi_01#bus_001&dev_005&if_01#{f72fe0d4-cbcb-407d-8814-9ed673d0dd6b}
//   ADB interface of a single-interface device (a boot loader in fastboot mode):
//     \\?\usb#vid_18d1&pid_d00d#bus_001&dev_007&if_00#{f72fe0d4-cbcb-407d-8814-9ed673d0dd6b}
//   USB boot device (a pipe is opened as the path + "\PIPE01", endpoint 0x01):
//     \\?\usb#vid_0451&pid_d00e#bus_001&dev_009#{00873fdf-61a8-11d1-aa5e-00c04fb1728b}
//   Any other USB device (device-change events only):
//     \\?\usb#vid_05c6&pid_9025#bus_001&dev_005
//
// Bus and device numbers are decimal (libusb_get_bus_number, libusb_get_device_address, and
// /dev/bus/usb/BBB/DDD); vid, pid, mi and if are hex.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace upwend {

inline constexpr const char* kAdbInterfaceClassGuid = "{f72fe0d4-cbcb-407d-8814-9ed673d0dd6b}";
inline constexpr const char* kUsbBootClassGuid = "{00873fdf-61a8-11d1-aa5e-00c04fb1728b}";

struct UsbDeviceAddress {
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  int busNumber = 0;
  int deviceAddress = 0;
  std::optional<uint8_t> interfaceNumber;  // the interface to claim (ADB paths)
  bool composite = false;                  // the path carries "mi_"
  std::string pipe;                        // "PIPE01" when the path names a pipe, else empty
};

std::string AdbInterfacePath(uint16_t vendorId, uint16_t productId, int bus, int address, uint8_t interfaceNumber,
                             bool composite);
std::string UsbBootDevicePath(uint16_t vendorId, uint16_t productId, int bus, int address);
std::string UsbDevicePath(uint16_t vendorId, uint16_t productId, int bus, int address);

// Reads any of the forms above (letter case ignored, an optional "\PIPEnn" suffix allowed);
// nullopt for anything else.
std::optional<UsbDeviceAddress> ParseUsbDevicePath(const std::string& path);

// The vendor and product ID in any text that carries "VID_xxxx" and "PID_xxxx" (a hardware ID,
// a device path; letter case ignored); nullopt when it carries none.
std::optional<std::pair<uint16_t, uint16_t>> UsbIdsInText(const std::string& text);

}  // namespace upwend
