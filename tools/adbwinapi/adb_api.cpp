// The exported Adb* entry points: argument checks, handle lookup, and the hand-over to the
// transport that the device path chose.
#include "abi/adb_api.h"

#include <fmt/format.h>

#include <cerrno>
#include <cstring>

#include "tools/adbwinapi/adb_error.h"
#include "tools/adbwinapi/device_path.h"
#include "tools/adbwinapi/handle_table.h"

using namespace upwend::adb;

namespace {

bool Fail(int code, std::string text) {
  SetLastError({code, std::move(text)});
  return false;
}

ADBAPIHANDLE FailHandle(int code, std::string text) {
  SetLastError({code, std::move(text)});
  return nullptr;
}

std::optional<InterfaceObject> FindInterface(ADBAPIHANDLE handle) {
  auto object = Handles().Find(handle);
  if (!object) {
    SetLastError({EBADF, "unknown or closed handle"});
    return std::nullopt;
  }
  if (auto* iface = std::get_if<InterfaceObject>(&*object)) return *iface;
  SetLastError({EBADF, "the handle is an endpoint, not an interface"});
  return std::nullopt;
}

std::shared_ptr<Transport> FindEndpoint(ADBAPIHANDLE handle, Direction direction) {
  std::shared_ptr<Transport> transport;
  switch (Handles().FindEndpoint(handle, direction, transport)) {
    case HandleTable::EndpointLookup::Found:
      break;
    case HandleTable::EndpointLookup::Unknown:
      SetLastError({EBADF, "unknown or closed handle"});
      break;
    case HandleTable::EndpointLookup::NotEndpoint:
      SetLastError({EBADF, "the handle is an interface, not an endpoint"});
      break;
    case HandleTable::EndpointLookup::OtherDirection:
      SetLastError({EINVAL, direction == Direction::Read ? "reading from the bulk write endpoint"
                                                         : "writing to the bulk read endpoint"});
      break;
  }
  return transport;
}

ADBAPIHANDLE OpenEndpoint(ADBAPIHANDLE adbInterface, AdbOpenAccessType access, AdbOpenSharingMode sharing,
                          Direction direction) {
  if (access < AdbOpenAccessTypeReadWrite || access > AdbOpenAccessTypeQueryInfo ||
      sharing < AdbOpenSharingModeReadWrite || sharing > AdbOpenSharingModeExclusive) {
    return FailHandle(EINVAL, "unknown access type or sharing mode");
  }
  auto iface = FindInterface(adbInterface);
  if (!iface) return nullptr;
  ClearLastError();
  return Handles().Add(EndpointObject{direction, iface->transport});
}

bool EndpointInfo(ADBAPIHANDLE adbInterface, AdbEndpointInformation* info, Direction direction) {
  if (info == nullptr) return Fail(EINVAL, "no endpoint information buffer");
  auto iface = FindInterface(adbInterface);
  if (!iface) return false;
  *info = direction == Direction::Read ? iface->transport->ReadEndpointInfo() : iface->transport->WriteEndpointInfo();
  ClearLastError();
  return true;
}

// One synchronous read or write on an endpoint: `io` moves the bytes; `done` (may be null) gets
// how many it moved, also when it failed part way.
template <typename Io>
bool TransferSync(ADBAPIHANDLE endpoint, Direction direction, const void* buffer, unsigned long size,
                  unsigned long* done, Io io) {
  if (done != nullptr) *done = 0;
  if (buffer == nullptr && size > 0) return Fail(EINVAL, "no data buffer");
  auto transport = FindEndpoint(endpoint, direction);
  if (!transport) return false;
  auto result = io(*transport);
  if (!result) {
    if (done != nullptr) *done = static_cast<unsigned long>(result.error().bytesDone);
    SetLastError(result.error().error);
    return false;
  }
  if (done != nullptr) *done = static_cast<unsigned long>(*result);
  ClearLastError();
  return true;
}

bool NotProvided(const char* name) { return Fail(ENOSYS, fmt::format("{} is not provided by this library", name)); }

}  // namespace

extern "C" {

ADBAPIHANDLE AdbCreateInterfaceByName(const wchar_t* interface_name) {
  auto name = NarrowDevicePath(interface_name);
  if (!name) return FailHandle(EINVAL, name.error());
  auto path = ParseDevicePath(*name);
  if (!path) return FailHandle(EINVAL, path.error());
  auto transport = std::holds_alternative<TcpPath>(*path) ? OpenTcpTransport(std::get<TcpPath>(*path))
                                                          : OpenUsbTransport(std::get<UsbPath>(*path));
  if (!transport) {
    return FailHandle(transport.error().code, fmt::format("{}: {}", *name, transport.error().text));
  }
  ClearLastError();
  return Handles().Add(InterfaceObject{*name, *transport});
}

bool AdbGetInterfaceName(ADBAPIHANDLE adb_interface, void* buffer, unsigned long* buffer_char_size, bool ansi) {
  if (buffer_char_size == nullptr) return Fail(EINVAL, "no buffer size");
  auto iface = FindInterface(adb_interface);
  if (!iface) return false;
  unsigned long needed = static_cast<unsigned long>(iface->name.size() + 1);
  if (buffer == nullptr || *buffer_char_size < needed) {
    *buffer_char_size = needed;
    return Fail(ENOBUFS, fmt::format("the interface name needs {} characters", needed));
  }
  if (ansi) {
    std::memcpy(buffer, iface->name.c_str(), needed);
  } else {
    auto* wide = static_cast<wchar_t*>(buffer);
    for (size_t i = 0; i < needed; ++i) wide[i] = static_cast<unsigned char>(iface->name.c_str()[i]);
  }
  *buffer_char_size = needed;
  ClearLastError();
  return true;
}

bool AdbGetUsbInterfaceDescriptor(ADBAPIHANDLE adb_interface, AdbUsbInterfaceDescriptor* desc) {
  if (desc == nullptr) return Fail(EINVAL, "no descriptor buffer");
  auto iface = FindInterface(adb_interface);
  if (!iface) return false;
  *desc = iface->transport->InterfaceDescriptor();
  ClearLastError();
  return true;
}

bool AdbGetDefaultBulkReadEndpointInformation(ADBAPIHANDLE adb_interface, AdbEndpointInformation* info) {
  return EndpointInfo(adb_interface, info, Direction::Read);
}

bool AdbGetDefaultBulkWriteEndpointInformation(ADBAPIHANDLE adb_interface, AdbEndpointInformation* info) {
  return EndpointInfo(adb_interface, info, Direction::Write);
}

ADBAPIHANDLE AdbOpenDefaultBulkReadEndpoint(ADBAPIHANDLE adb_interface, AdbOpenAccessType access_type,
                                            AdbOpenSharingMode sharing_mode) {
  return OpenEndpoint(adb_interface, access_type, sharing_mode, Direction::Read);
}

ADBAPIHANDLE AdbOpenDefaultBulkWriteEndpoint(ADBAPIHANDLE adb_interface, AdbOpenAccessType access_type,
                                             AdbOpenSharingMode sharing_mode) {
  return OpenEndpoint(adb_interface, access_type, sharing_mode, Direction::Write);
}

bool AdbWriteEndpointSync(ADBAPIHANDLE adb_endpoint, void* buffer, unsigned long bytes_to_write,
                          unsigned long* bytes_written, unsigned long time_out) {
  return TransferSync(adb_endpoint, Direction::Write, buffer, bytes_to_write, bytes_written,
                      [&](Transport& t) { return t.Write(static_cast<const uint8_t*>(buffer), bytes_to_write, time_out); });
}

bool AdbReadEndpointSync(ADBAPIHANDLE adb_endpoint, void* buffer, unsigned long bytes_to_read,
                         unsigned long* bytes_read, unsigned long time_out) {
  return TransferSync(adb_endpoint, Direction::Read, buffer, bytes_to_read, bytes_read,
                      [&](Transport& t) { return t.Read(static_cast<uint8_t*>(buffer), bytes_to_read, time_out); });
}

bool AdbCloseHandle(ADBAPIHANDLE adb_handle) {
  if (!Handles().Remove(adb_handle)) return Fail(EBADF, "unknown or closed handle");
  ClearLastError();
  return true;
}

ADBAPIHANDLE AdbCreateInterface(AdbGuid, unsigned short, unsigned short, unsigned char) {
  NotProvided("AdbCreateInterface");
  return nullptr;
}

bool AdbQueryInformationEndpoint(ADBAPIHANDLE, AdbEndpointInformation*) {
  return NotProvided("AdbQueryInformationEndpoint");
}

bool AdbGetEndpointInformation(ADBAPIHANDLE, unsigned char, AdbEndpointInformation*) {
  return NotProvided("AdbGetEndpointInformation");
}

ADBAPIHANDLE AdbWriteEndpointAsync(ADBAPIHANDLE, void*, unsigned long, unsigned long*, unsigned long, void*) {
  NotProvided("AdbWriteEndpointAsync");
  return nullptr;
}

ADBAPIHANDLE AdbReadEndpointAsync(ADBAPIHANDLE, void*, unsigned long, unsigned long*, unsigned long, void*) {
  NotProvided("AdbReadEndpointAsync");
  return nullptr;
}

bool AdbGetOvelappedIoResult(ADBAPIHANDLE, void*, unsigned long*, bool) { return NotProvided("AdbGetOvelappedIoResult"); }

const char* AdbGetLastErrorText(void) { return LastErrorText(); }

void* AdbGetWriteEndpointBuffer(ADBAPIHANDLE adb_endpoint, unsigned long* size) {
  if (size == nullptr) {
    Fail(EINVAL, "no size");
    return nullptr;
  }
  *size = 0;
  auto transport = FindEndpoint(adb_endpoint, Direction::Write);
  if (!transport) return nullptr;
  size_t fit = 0;
  uint8_t* area = transport->WriteArea(fit);
  *size = static_cast<unsigned long>(fit);
  ClearLastError();
  return area;
}

}  // extern "C"
