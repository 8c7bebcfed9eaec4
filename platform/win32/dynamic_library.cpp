// LoadLibrary and GetProcAddress. The folder of the library is searched for its own
// dependencies (LOAD_WITH_ALTERED_SEARCH_PATH), as a library loaded from the working folder
// brings its companions with it.
#include <windows.h>

#include "platform/dynamic_library.h"
#include "platform/win32/system_message.h"

namespace upwend {

DynamicLibrary::~DynamicLibrary() {
  if (handle_ != nullptr) ::FreeLibrary(static_cast<HMODULE>(handle_));
}

std::unique_ptr<DynamicLibrary> DynamicLibrary::Load(const std::string& path, std::string& error) {
  // A bare name would be searched on the system's library path; the tool always means a file,
  // relative to the working folder. The altered search path wants a full path (with a relative
  // one its behaviour is undefined).
  char full[MAX_PATH * 2] = {};
  DWORD n = ::GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
  std::string file = n > 0 && n < sizeof full ? std::string(full, n) : path;
  HMODULE handle = ::LoadLibraryExA(file.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (handle == nullptr) {
    DWORD code = ::GetLastError();
    error = "cannot load " + path + ": " + SystemMessage(code);
    ::SetLastError(code);
    return nullptr;
  }
  return std::unique_ptr<DynamicLibrary>(new DynamicLibrary(reinterpret_cast<void*>(handle)));
}

void* DynamicLibrary::Symbol(const std::string& name) const {
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(handle_), name.c_str()));
}

std::string ModuleFolderOf(const void* address) {
  HMODULE module = nullptr;
  if (!::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<const char*>(address), &module))
    return {};
  char buf[MAX_PATH * 2] = {};
  DWORD n = ::GetModuleFileNameA(module, buf, sizeof buf);
  if (n == 0 || n >= sizeof buf) return {};
  std::string path(buf, n);
  size_t sep = path.find_last_of("\\/");
  return sep == std::string::npos ? std::string(".\\") : path.substr(0, sep + 1);
}

}  // namespace upwend
