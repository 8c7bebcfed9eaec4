#pragma once
// The device paths AdbCreateInterfaceByName accepts (docs/adb-device-paths.md):
//   tcp:HOST[:PORT]                     fastboot over TCP (the simulator, network devices)
//   usb:BUS:ADDR:IFACE:VID:PID[:MI_NN]  a USB interface, found through libusb (on Windows: the
//                                       ADB-class interface with these IDs and interface number)
//   \\?\usb#vid_V&pid_P[&mi_NN]#INSTANCE#{ADB class}
//                                       an ADB-class device interface as Windows lists it
#include <cstdint>
#include "platform/expected.h"
#include <string>
#include <string_view>
#include <variant>

namespace upwend::adb {

inline constexpr uint16_t kDefaultFastbootTcpPort = 5554;
// Paths are ASCII and short; anything longer is not a path we made.
inline constexpr size_t kMaxDevicePathLength = 1024;

struct TcpPath {
  std::string host;  // name or address; IPv6 addresses are written in brackets in the path
  uint16_t port = kDefaultFastbootTcpPort;
};

struct UsbPath {
  uint8_t bus = 0;
  uint8_t address = 0;
  uint8_t interfaceNumber = 0;
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  bool composite = false;  // ":MI_NN" present: one interface of a multi-interface device
  // The Windows device-interface path when the path was one (bus and address are then 0, the
  // interface number is NN of "mi_NN" or 0); empty for the other forms.
  std::string systemPath;
};

using DevicePath = std::variant<TcpPath, UsbPath>;

Expected<DevicePath, std::string> ParseDevicePath(std::string_view path);
// The path in "usb:" form, or the Windows device-interface path it was given as.
std::string FormatUsbPath(const UsbPath& path);

// Wide path as the caller passes it, to 8-bit text; only ASCII is accepted.
Expected<std::string, std::string> NarrowDevicePath(const wchar_t* path);

}  // namespace upwend::adb
