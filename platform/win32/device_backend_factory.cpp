#include "platform/native_device_backend.h"
#include "platform/win32/device_backends.h"

namespace upwend {

const char* const kNativeDeviceBackend = "setupapi";

// The SetupAPI backend lists what Windows shows of every device; choosing one device by its
// USB path or serial number is the simulator backend's alone here.
std::unique_ptr<DeviceBackend> CreateNativeDeviceBackend(std::shared_ptr<DeviceSelector>) {
  return CreateSetupApiBackend();
}

}  // namespace upwend
