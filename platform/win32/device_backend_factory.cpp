#include <cstdlib>

#include "platform/device_backend.h"
#include "platform/sim_bus.h"
#include "platform/win32/device_backends.h"

namespace upwend {

std::unique_ptr<DeviceBackend> CreateDeviceBackend(const std::string& name, std::string& error) {
  std::string chosen = name;
  if (chosen.empty()) {
    const char* env = std::getenv("UPWEND_DEVICES");
    chosen = env != nullptr && *env != '\0' ? env : "setupapi";
  }
  if (chosen == "setupapi") return CreateSetupApiBackend();
  if (chosen.rfind("sim:", 0) == 0 && chosen.size() > 4) return CreateSimBusBackend(chosen.substr(4));
  error = "unknown device backend \"" + chosen + "\" (use setupapi or sim:DIR)";
  return nullptr;
}

}  // namespace upwend
