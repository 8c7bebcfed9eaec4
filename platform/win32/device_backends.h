#pragma once
// The Windows device backend ("setupapi") and the lists it is made of.
#include <memory>
#include <vector>

#include "platform/device_backend.h"

namespace upwend {

// Present ports of the COM-port class in COM-number order.
std::vector<ComPortInfo> ListSetupApiComPorts();
// The values of HKLM\HARDWARE\DEVICEMAP\SERIALCOMM.
std::vector<SerialMapEntry> ReadSerialPortMap();

std::unique_ptr<DeviceBackend> CreateSetupApiBackend();

}  // namespace upwend
