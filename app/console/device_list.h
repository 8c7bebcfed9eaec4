#pragma once
// upwend --list-devices and --device: what the device backend sees, for a user choosing and
// checking a device.
#include <string>

namespace upwend {

class DeviceBackend;

// Each device (USB path, IDs, mode, serial number, product) with its ports (COM name, node,
// name), the modem ports the AT probe may try, its fastboot interfaces and USB boot devices;
// then whatever the backend lists without a device; "no devices" when there is nothing.
std::string DeviceListing(DeviceBackend& devices);

// "" when `device` (--device) names exactly one device that `backend` (--devices) sees; else
// the one line to print before exit 2.
std::string ChosenDeviceProblem(const std::string& backend, const std::string& device);

}  // namespace upwend
