#include <cstring>

#include "platform/ini_file.h"
#include "platform/usb_boot_pipe.h"

namespace upwend {

std::optional<std::string> UsbBootSocketPath(const std::string& devicePath) {
  static constexpr const char* kUnixMarker = "#unix:";
  size_t at = AsciiLower(devicePath).find(kUnixMarker);
  if (at == std::string::npos) return std::nullopt;
  size_t start = at + std::strlen(kUnixMarker);
  size_t end = devicePath.find('#', start);
  if (end == std::string::npos || end == start) return std::nullopt;
  return devicePath.substr(start, end - start);
}

}  // namespace upwend
