#include <cstdlib>

#include "platform/device_backend.h"
#include "platform/device_selector.h"
#include "platform/native_device_backend.h"
#include "platform/sim_bus.h"

namespace upwend {

namespace {

std::unique_ptr<DeviceBackend> Create(const std::string& name, std::shared_ptr<DeviceSelector> selector,
                                      std::string& error) {
  const std::string native = kNativeDeviceBackend;
  std::string chosen = name;
  if (chosen.empty()) {
    const char* env = std::getenv("UPWEND_DEVICES");
    chosen = env != nullptr && *env != '\0' ? env : native;
  }
  if (chosen == native) return CreateNativeDeviceBackend(std::move(selector));
  if (chosen.rfind("sim:", 0) == 0 && chosen.size() > 4) return CreateSimBusBackend(chosen.substr(4), std::move(selector));
  error = "unknown device backend \"" + chosen + "\" (use " + native + " or sim:DIR)";
  return nullptr;
}

}  // namespace

std::unique_ptr<DeviceBackend> CreateDeviceBackend(const std::string& name, std::string& error) {
  return Create(name, SelectorFromEnvironment(), error);
}

std::unique_ptr<DeviceBackend> CreateUnfilteredDeviceBackend(const std::string& name, std::string& error) {
  return Create(name, nullptr, error);
}

}  // namespace upwend
