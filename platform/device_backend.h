#pragma once
// What the PC sees of attached devices: the COM-port, ADB and USB boot device-interface
// classes, the serial port map, and device-change notifications. Two backends share this
// interface: "sysfs" (libudev, real hardware) and "sim:DIR" (the simulator's device bus).
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace upwend {

// One present interface of the COM-port class.
struct ComPortInfo {
  std::string friendlyName;  // e.g. "Qualcomm HS-USB Diagnostics 9025 (COM5)"
  std::string description;   // device description
  std::string hardwareId;    // first hardware ID, e.g. "USB\VID_05C6&PID_9025&REV_0000&MI_00"
  std::string portName;      // "COM5"
  std::string deviceNode;    // "/dev/ttyUSB0" or a pseudo-terminal
};

// One value of the serial port map (HKLM\Hardware\Devicemap\SerialComm).
struct SerialMapEntry {
  std::string valueName;  // e.g. "\Device\QCUSB_COM5_0"
  std::string portName;   // value data, e.g. "COM5"
};

// One present interface of the ADB class. A composite device's interface carries "MI_0n" in
// its path; a boot loader's single-interface device does not.
struct AdbInterfaceInfo {
  std::string devicePath;
};

// One present device of the USB boot class.
struct UsbBootInfo {
  std::string devicePath;
};

enum class DeviceEventKind { Arrival, RemoveComplete };
enum class DeviceType { Port, Interface, Other };

struct DeviceEvent {
  DeviceEventKind kind = DeviceEventKind::Arrival;
  DeviceType type = DeviceType::Other;
  std::string name;  // port name for DeviceType::Port, device path otherwise
};

// One attached USB device as a whole, so that a user can tell several apart and choose one.
struct UsbDeviceInfo {
  std::string path;     // the USB port path: "1-1.2" (sysfs), the simulator's --usb-path
  std::string devpath;  // "/devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1.2" (sysfs only)
  std::string serial;   // the device's serial number string; empty when it has none
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  std::string mode;     // "normal", "fastboot", "usb-boot" or "disk"
  std::string product;  // the device's product string (a disk: its vendor and model)
  std::vector<std::string> ports;       // COM names of its serial ports
  std::vector<std::string> interfaces;  // device paths of its ADB and USB boot interfaces
};

class DeviceBackend {
public:
  virtual ~DeviceBackend() = default;
  // The attached devices that have anything the tool looks for, in path order.
  virtual std::vector<UsbDeviceInfo> ListUsbDevices() { return {}; }
  virtual std::vector<ComPortInfo> ListComPorts() = 0;
  virtual std::vector<SerialMapEntry> SerialPortMap() = 0;
  virtual std::vector<AdbInterfaceInfo> ListAdbInterfaces() = 0;
  virtual std::vector<UsbBootInfo> ListUsbBootDevices() = 0;
  // The device node behind a port name ("COM5"), for the serial port.
  virtual std::optional<std::string> DeviceNodeForPort(const std::string& portName) = 0;
  // Device-change notifications, delivered on a thread of the backend's own until Unwatch.
  virtual void Watch(std::function<void(const DeviceEvent&)> onEvent) = 0;
  virtual void Unwatch() = 0;
};

// "sysfs" or "sim:DIR"; the default when `name` is empty is UPWEND_DEVICES, else "sysfs".
// When UPWEND_DEVICE names one device (upwend --device), the backend shows that device alone.
// Returns nullptr and sets `error` for an unknown name.
std::unique_ptr<DeviceBackend> CreateDeviceBackend(const std::string& name, std::string& error);
// The same, showing every device whatever UPWEND_DEVICE says.
std::unique_ptr<DeviceBackend> CreateUnfilteredDeviceBackend(const std::string& name, std::string& error);

}  // namespace upwend
