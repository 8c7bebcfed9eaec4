// Named mutexes are the system's own: CreateMutex with the name, and ERROR_ALREADY_EXISTS tells
// that another holder has it. With UPWEND_HOME set (tests), the name carries a digest of that
// folder, so tests that run side by side in one session never see each other's mutexes.
#include <windows.h>

#include <cstdlib>

#include "platform/named_mutex.h"
#include "platform/payload_archive.h"

namespace upwend {

namespace {

// Kernel object names may not hold "\"; every other character is allowed.
std::string KernelName(const std::string& name, const std::string& scope) {
  std::string out = "Local\\";
  if (!scope.empty()) out += "upwend-" + std::to_string(Crc32(scope)) + "-";
  for (char c : name) out += c == '\\' ? '_' : c;
  return out;
}

}  // namespace

NamedMutex::~NamedMutex() {
  if (handle_ != kNoHandle) ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

std::unique_ptr<NamedMutex> NamedMutex::Create(const std::string& name, bool& alreadyExisted,
                                               const std::string& runtimeDir) {
  alreadyExisted = false;
  std::string scope = runtimeDir;
  if (scope.empty()) {
    const char* home = std::getenv("UPWEND_HOME");
    scope = home ? home : "";
  }
  HANDLE h = ::CreateMutexA(nullptr, FALSE, KernelName(name, scope).c_str());
  if (h == nullptr) return nullptr;
  if (::GetLastError() == ERROR_ALREADY_EXISTS) {
    ::CloseHandle(h);
    alreadyExisted = true;
    return std::unique_ptr<NamedMutex>(new NamedMutex(name, kNoHandle));
  }
  return std::unique_ptr<NamedMutex>(new NamedMutex(name, reinterpret_cast<intptr_t>(h)));
}

}  // namespace upwend
