#include "platform/native_device_backend.h"
#include "platform/sysfs_backend.h"

namespace upwend {

const char* const kNativeDeviceBackend = "sysfs";

std::unique_ptr<DeviceBackend> CreateNativeDeviceBackend(std::shared_ptr<DeviceSelector> selector) {
  return CreateSysfsBackend("/sys", "/dev", std::move(selector));
}

}  // namespace upwend
