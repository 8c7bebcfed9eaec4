#include "engine/qmsl/qmsl_port.h"

#include <memory>
#include <mutex>

#include "platform/device_backend.h"
#include "platform/process_environment.h"
#include "platform/port_names.h"
#include "platform/serial_port.h"

namespace upwend {

std::optional<std::string> ResolveQmslPort(const std::string& portName) {
  std::string name = StripPortPrefix(portName);
  if (name.empty()) name = portName;
  if (auto node = EnvironmentValue("UPWEND_" + name)) return node;
  static std::mutex mutex;
  static std::unique_ptr<DeviceBackend> backend;
  std::lock_guard lock(mutex);
  if (!backend) {
    std::string error;
    backend = CreateDeviceBackend("", error);
    if (!backend) return std::nullopt;
  }
  return backend->DeviceNodeForPort(name);
}

}  // namespace upwend
