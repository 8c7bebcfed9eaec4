// The "usb:" backend of AdbWinApi.dll: loads AdbWinUsbApi.dll from the folder this library was
// loaded from, and wraps its C interface as a Transport.
#include <fmt/format.h>

#include <cerrno>
#include <mutex>

#include "platform/dynamic_library.h"
#include "tools/adbwinapi/transport.h"
#include "tools/adbwinapi/winusb_api.h"

namespace upwend::adb {

namespace {

constexpr const char* kCompanionName = "AdbWinUsbApi.dll";
constexpr size_t kErrorTextSize = 256;

struct Companion {
  AdbWinUsbOpenFn open = nullptr;
  AdbWinUsbWriteFn write = nullptr;
  AdbWinUsbReadFn read = nullptr;
  AdbWinUsbCloseFn close = nullptr;
  std::string loadError;
  // Never unloaded (open devices hold its code); kept here so it stays reachable.
  DynamicLibrary* library = nullptr;
};

// Loaded once and kept for the life of the process: open devices hold its code.
const Companion& LoadCompanion() {
  static Companion companion;
  static std::once_flag once;
  std::call_once(once, [] {
    std::string folder = ModuleFolderOf(reinterpret_cast<const void*>(&LoadCompanion));
    if (folder.empty()) {
      companion.loadError = "cannot tell where AdbWinApi.dll was loaded from";
      return;
    }
    std::string path = folder + kCompanionName;
    std::string why;
    companion.library = DynamicLibrary::Load(path, why).release();
    DynamicLibrary* lib = companion.library;
    if (lib == nullptr) {
      companion.loadError = why;
      return;
    }
    companion.open = lib->Function<AdbWinUsbOpenFn>("AdbWinUsbOpen");
    companion.write = lib->Function<AdbWinUsbWriteFn>("AdbWinUsbWrite");
    companion.read = lib->Function<AdbWinUsbReadFn>("AdbWinUsbRead");
    companion.close = lib->Function<AdbWinUsbCloseFn>("AdbWinUsbClose");
    if (!companion.open || !companion.write || !companion.read || !companion.close) {
      companion.open = nullptr;
      companion.loadError = fmt::format("{} lacks its entry points", path);
    }
  });
  return companion;
}

class CompanionTransport final : public Transport {
public:
  CompanionTransport(const Companion& lib, AdbWinUsbDevice* device, const AdbWinUsbInfo& info)
      : lib_(lib), device_(device), info_(info) {}
  ~CompanionTransport() override { lib_.close(device_); }

  AdbUsbInterfaceDescriptor InterfaceDescriptor() const override { return info_.descriptor; }
  AdbEndpointInformation ReadEndpointInfo() const override { return info_.readEndpoint; }
  AdbEndpointInformation WriteEndpointInfo() const override { return info_.writeEndpoint; }

  Expected<size_t, IoFailure> Write(const uint8_t* data, size_t size, unsigned long timeoutMs) override {
    char text[kErrorTextSize] = "";
    size_t done = 0;
    int rc = lib_.write(device_, data, size, &done, timeoutMs, text, sizeof text);
    if (rc != 0) return Unexpected(IoFailure{{rc, text}, done});
    return done;
  }
  Expected<size_t, IoFailure> Read(uint8_t* data, size_t capacity, unsigned long timeoutMs) override {
    char text[kErrorTextSize] = "";
    size_t done = 0;
    int rc = lib_.read(device_, data, capacity, &done, timeoutMs, text, sizeof text);
    if (rc != 0) return Unexpected(IoFailure{{rc, text}, done});
    return done;
  }

private:
  const Companion& lib_;
  AdbWinUsbDevice* device_;
  AdbWinUsbInfo info_;
};

}  // namespace

Expected<std::shared_ptr<Transport>, OsError> OpenUsbTransport(const UsbPath& path) {
  const Companion& lib = LoadCompanion();
  if (lib.open == nullptr) return Unexpected(OsError{ENODEV, lib.loadError});
  char text[kErrorTextSize] = "";
  AdbWinUsbDevice* device = nullptr;
  AdbWinUsbInfo info{};
  int rc = lib.open(FormatUsbPath(path).c_str(), &device, &info, text, sizeof text);
  if (rc != 0) return Unexpected(OsError{rc, text});
  return std::shared_ptr<Transport>(std::make_shared<CompanionTransport>(lib, device, info));
}

}  // namespace upwend::adb
