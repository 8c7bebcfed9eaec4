#pragma once
// upwend --list-devices: what the device backend sees, for a user choosing and checking a device.
#include <string>

namespace upwend {

class DeviceBackend;

// Ports (COM name, node, name, USB IDs, mode), the modem ports the AT probe may try, fastboot
// interfaces and USB boot devices; "no devices" when there is nothing.
std::string DeviceListing(DeviceBackend& devices);

}  // namespace upwend
