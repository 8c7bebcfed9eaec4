#include "platform/dynamic_library.h"

#include <dlfcn.h>
#include <sys/statvfs.h>

namespace upwend {

DynamicLibrary::~DynamicLibrary() {
  if (handle_ != nullptr) ::dlclose(handle_);
}

std::unique_ptr<DynamicLibrary> DynamicLibrary::Load(const std::string& path, std::string& error) {
  // A bare name would be searched on the library path; the tool always means a file.
  std::string file = path.find('/') == std::string::npos ? "./" + path : path;
  void* handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = ::dlerror();
    error = why ? why : "cannot load " + path;
    // The loader says only "failed to map segment"; the usual cause deserves a sentence.
    struct statvfs fs {};
    if (::statvfs(file.c_str(), &fs) == 0 && (fs.f_flag & ST_NOEXEC) != 0) {
      error += " (its folder is on a file system mounted noexec, from which no library can be loaded; set "
               "UPWEND_TEMP_DIR to a folder on another file system)";
    }
    return nullptr;
  }
  return std::unique_ptr<DynamicLibrary>(new DynamicLibrary(handle));
}

void* DynamicLibrary::Symbol(const std::string& name) const {
  ::dlerror();
  return ::dlsym(handle_, name.c_str());
}

std::string ModuleFolderOf(const void* address) {
  Dl_info info{};
  if (::dladdr(address, &info) == 0 || info.dli_fname == nullptr) return {};
  std::string path = info.dli_fname;
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

}  // namespace upwend
