#pragma once
// One pass over a sysfs tree: what the device backend lists, plus what its events compare.
#include <string>
#include <vector>

#include "platform/device_backend.h"
#include "platform/usb_names.h"

namespace upwend {

// Something whose coming and going is an event. `identity` tells a device that was replaced
// between two scans (same port name, new USB address) from one that stayed.
struct PresentItem {
  DeviceType type = DeviceType::Other;
  std::string name;
  std::string identity;
  bool operator==(const PresentItem&) const = default;
};

struct SysfsSnapshot {
  std::vector<UsbDeviceInfo> devices;  // path order
  std::vector<ComPortInfo> comPorts;  // COM-number order
  std::vector<SerialMapEntry> serialMap;
  std::vector<AdbInterfaceInfo> adbInterfaces;
  std::vector<UsbBootInfo> usbBootDevices;
  std::vector<PresentItem> present;
  // Nodes of listed ports and fastboot/boot devices that this user may not open, with the errno.
  std::vector<std::pair<std::string, int>> blockedNodes;
};

class DeviceSelector;

// `udevProperties`: also read ModemManager's port types from the udev database (real /sys only).
// `selector`: only the chosen device is seen; nullptr: every device.
SysfsSnapshot ScanSysfs(const std::string& sysfsRoot, const std::string& devRoot, const UsbNameTable& names,
                        bool udevProperties = false, DeviceSelector* selector = nullptr);

// Removals (ports, interfaces, devices) before arrivals (devices, interfaces, ports), as a
// device's parts go and come in that order.
std::vector<DeviceEvent> DiffSnapshots(const SysfsSnapshot& before, const SysfsSnapshot& after);

}  // namespace upwend
