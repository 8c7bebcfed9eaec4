#pragma once
// The device backend of the system the tool runs on, which CreateDeviceBackend offers beside
// the simulator's "sim:DIR". One definition per OS.
#include <memory>

#include "platform/device_backend.h"

namespace upwend {

class DeviceSelector;

// Its name for --devices and UPWEND_DEVICES, and the default when neither names one.
extern const char* const kNativeDeviceBackend;

// `selector` (may be null) narrows the backend to one device where the backend can tell
// devices apart.
std::unique_ptr<DeviceBackend> CreateNativeDeviceBackend(std::shared_ptr<DeviceSelector> selector);

}  // namespace upwend
