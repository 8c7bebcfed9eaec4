#pragma once
// One open device connection behind an interface handle. The bulk endpoints of the interface
// map to Write (host to device) and Read (device to host).
#include <cstddef>
#include <cstdint>
#include "platform/expected.h"
#include <memory>

#include "abi/adb_api.h"
#include "tools/adbwinapi/adb_error.h"
#include "tools/adbwinapi/device_path.h"

namespace upwend::adb {

// Bytes moved before a failure are reported with it, as the sync calls return them.
struct IoFailure {
  OsError error;
  size_t bytesDone = 0;
};

class Transport {
public:
  virtual ~Transport() = default;
  virtual AdbUsbInterfaceDescriptor InterfaceDescriptor() const = 0;
  virtual AdbEndpointInformation ReadEndpointInfo() const = 0;
  virtual AdbEndpointInformation WriteEndpointInfo() const = 0;
  // timeoutMs 0 means no limit.
  virtual Expected<size_t, IoFailure> Write(const uint8_t* data, size_t size, unsigned long timeoutMs) = 0;
  virtual Expected<size_t, IoFailure> Read(uint8_t* data, size_t capacity, unsigned long timeoutMs) = 0;
  // Where the next written bytes would be gathered and how many fit (AdbGetWriteEndpointBuffer);
  // nullptr when writes are not gathered now.
  virtual uint8_t* WriteArea(size_t& size) {
    size = 0;
    return nullptr;
  }
};

Expected<std::shared_ptr<Transport>, OsError> OpenTcpTransport(const TcpPath& path);
// Through AdbWinUsbApi.dll, loaded from the folder of AdbWinApi.dll.
Expected<std::shared_ptr<Transport>, OsError> OpenUsbTransport(const UsbPath& path);
// The system's USB transport itself, inside AdbWinUsbApi.dll: libusb, or WinUSB on Windows.
Expected<std::shared_ptr<Transport>, OsError> OpenSystemUsbTransport(const UsbPath& path);

}  // namespace upwend::adb
