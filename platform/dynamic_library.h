#pragma once
// Loading a library by path and looking up a function by name (LoadLibrary/GetProcAddress).
#include <memory>
#include <string>

namespace upwend {

class DynamicLibrary {
public:
  ~DynamicLibrary();
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;

  // nullptr and `error` set when the library cannot be loaded.
  static std::unique_ptr<DynamicLibrary> Load(const std::string& path, std::string& error);

  // nullptr when the library has no such symbol.
  void* Symbol(const std::string& name) const;
  template <typename F>
  F Function(const std::string& name) const {
    return reinterpret_cast<F>(Symbol(name));
  }

private:
  explicit DynamicLibrary(void* handle) : handle_(handle) {}
  void* handle_;
};

// The folder (ending with a separator) of the program or library whose code holds `address`,
// so a library can load its companions from beside itself; empty when it cannot be told.
std::string ModuleFolderOf(const void* address);

}  // namespace upwend
