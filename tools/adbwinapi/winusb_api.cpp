// The exports of AdbWinUsbApi.dll: the system's USB transport behind a plain C interface.
#include "tools/adbwinapi/winusb_api.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "tools/adbwinapi/device_path.h"
#include "tools/adbwinapi/transport.h"

struct AdbWinUsbDevice {
  std::shared_ptr<upwend::adb::Transport> transport;
};

namespace {

int Report(const upwend::OsError& error, char* text, size_t size) {
  if (text != nullptr && size > 0) {
    size_t n = std::min(error.text.size(), size - 1);
    std::memcpy(text, error.text.data(), n);
    text[n] = '\0';
  }
  return error.code != 0 ? error.code : EIO;
}

}  // namespace

extern "C" {

int AdbWinUsbOpen(const char* path, AdbWinUsbDevice** device, AdbWinUsbInfo* info, char* errorText,
                  size_t errorTextSize) {
  if (path == nullptr || device == nullptr || info == nullptr) return Report({EINVAL, "missing argument"}, errorText, errorTextSize);
  auto parsed = upwend::adb::ParseDevicePath(path);
  if (!parsed || !std::holds_alternative<upwend::adb::UsbPath>(*parsed)) {
    return Report({EINVAL, "not a usb: device path"}, errorText, errorTextSize);
  }
  auto transport = upwend::adb::OpenSystemUsbTransport(std::get<upwend::adb::UsbPath>(*parsed));
  if (!transport) return Report(transport.error(), errorText, errorTextSize);
  info->descriptor = (*transport)->InterfaceDescriptor();
  info->readEndpoint = (*transport)->ReadEndpointInfo();
  info->writeEndpoint = (*transport)->WriteEndpointInfo();
  *device = new AdbWinUsbDevice{*transport};
  return 0;
}

int AdbWinUsbWrite(AdbWinUsbDevice* device, const void* data, size_t size, size_t* done, unsigned long timeoutMs,
                   char* errorText, size_t errorTextSize) {
  if (device == nullptr || done == nullptr) return Report({EINVAL, "missing argument"}, errorText, errorTextSize);
  auto result = device->transport->Write(static_cast<const uint8_t*>(data), size, timeoutMs);
  if (!result) {
    *done = result.error().bytesDone;
    return Report(result.error().error, errorText, errorTextSize);
  }
  *done = *result;
  return 0;
}

int AdbWinUsbRead(AdbWinUsbDevice* device, void* data, size_t capacity, size_t* done, unsigned long timeoutMs,
                  char* errorText, size_t errorTextSize) {
  if (device == nullptr || done == nullptr) return Report({EINVAL, "missing argument"}, errorText, errorTextSize);
  auto result = device->transport->Read(static_cast<uint8_t*>(data), capacity, timeoutMs);
  if (!result) {
    *done = result.error().bytesDone;
    return Report(result.error().error, errorText, errorTextSize);
  }
  *done = *result;
  return 0;
}

void AdbWinUsbClose(AdbWinUsbDevice* device) { delete device; }

}  // extern "C"
