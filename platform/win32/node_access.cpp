// Windows opens devices through their drivers; there are no device nodes whose permissions a
// user could fix, so these only describe the error.
#include "platform/node_access.h"

#include <windows.h>

#include <cstring>

namespace upwend {

std::string DescribeNodeProblem(const std::string& node, int error) {
  return "cannot open " + node + ": " + std::strerror(error);
}

int NodeAccessError(const std::string& node) {
  HANDLE h = ::CreateFileA(node.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    DWORD code = ::GetLastError();
    return code == ERROR_ACCESS_DENIED ? EACCES : (code == ERROR_FILE_NOT_FOUND ? ENOENT : EIO);
  }
  ::CloseHandle(h);
  return 0;
}

std::string UsbDeviceNode(int bus, int address, const std::string&) {
  return "USB bus " + std::to_string(bus) + " device " + std::to_string(address);
}

}  // namespace upwend
