// A real USB interface through libusb: find the device, claim the interface and find its bulk
// pipes; the transfers themselves are usb_bulk_transport.h's.
#include <libusb.h>

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "platform/node_access.h"
#include "tools/adbwinapi/libusb_bulk_io.h"
#include "tools/adbwinapi/transport.h"
#include "tools/adbwinapi/usb_bulk_transport.h"
#include "tools/adbwinapi/usb_descriptors.h"

namespace upwend::adb {

namespace {

constexpr size_t kConfigHeaderLength = 9;
constexpr int kMaxConfigLength = 0xFFFF;

OsError UsbError(int rc, const std::string& what) { return UsbStatusError(rc, what); }

// The raw bytes of the active configuration descriptor.
Expected<std::vector<uint8_t>, OsError> ActiveConfigBytes(libusb_device* device, libusb_device_handle* handle) {
  int active = 0;
  if (int rc = libusb_get_configuration(handle, &active); rc != 0) return Unexpected(UsbError(rc, "get configuration"));
  libusb_device_descriptor dd{};
  if (int rc = libusb_get_device_descriptor(device, &dd); rc != 0) return Unexpected(UsbError(rc, "device descriptor"));
  for (uint8_t index = 0; index < dd.bNumConfigurations; ++index) {
    std::vector<uint8_t> bytes(kConfigHeaderLength);
    int rc = libusb_get_descriptor(handle, LIBUSB_DT_CONFIG, index, bytes.data(), static_cast<int>(bytes.size()));
    if (rc < static_cast<int>(kConfigHeaderLength)) continue;
    if (bytes[5] != active) continue;
    int total = std::min(bytes[2] | bytes[3] << 8, kMaxConfigLength);
    bytes.resize(static_cast<size_t>(total));
    rc = libusb_get_descriptor(handle, LIBUSB_DT_CONFIG, index, bytes.data(), total);
    if (rc < 0) return Unexpected(UsbError(rc, "configuration descriptor"));
    bytes.resize(static_cast<size_t>(rc));
    return bytes;
  }
  return Unexpected(OsError{ENODEV, fmt::format("active configuration {} not found", active)});
}

Expected<libusb_device_handle*, OsError> OpenDevice(libusb_context* ctx, const UsbPath& path) {
  libusb_device** list = nullptr;
  ssize_t count = libusb_get_device_list(ctx, &list);
  if (count < 0) return Unexpected(UsbError(static_cast<int>(count), "list USB devices"));
  Expected<libusb_device_handle*, OsError> result = Unexpected(
      OsError{ENODEV, fmt::format("no USB device at bus {} address {}", path.bus, path.address)});
  for (ssize_t i = 0; i < count; ++i) {
    libusb_device* device = list[i];
    if (libusb_get_bus_number(device) != path.bus || libusb_get_device_address(device) != path.address) continue;
    libusb_device_descriptor dd{};
    if (int rc = libusb_get_device_descriptor(device, &dd); rc != 0) {
      result = Unexpected(UsbError(rc, "device descriptor"));
      break;
    }
    if (dd.idVendor != path.vendorId || dd.idProduct != path.productId) {
      // The address was given to another device after ours went away.
      result = Unexpected(OsError{ENODEV, fmt::format("bus {} address {} is now {:04x}:{:04x}, not {:04x}:{:04x}",
                                                         path.bus, path.address, dd.idVendor, dd.idProduct,
                                                         path.vendorId, path.productId)});
      break;
    }
    libusb_device_handle* handle = nullptr;
    if (int rc = libusb_open(device, &handle); rc != 0) {
      // A node the user may not open is the usual trouble of a first run: name it and the fix.
      result = Unexpected(rc == LIBUSB_ERROR_ACCESS
                                     ? OsError{EACCES, DescribeNodeProblem(UsbDeviceNode(path.bus, path.address), EACCES)}
                                     : UsbError(rc, "open USB device"));
      break;
    }
    result = handle;
    break;
  }
  libusb_free_device_list(list, 1);
  return result;
}

}  // namespace

Expected<std::shared_ptr<Transport>, OsError> OpenSystemUsbTransport(const UsbPath& path) {
  if (!path.systemPath.empty()) return Unexpected(OsError{ENODEV, "a Windows device-interface path names no device here"});
  libusb_context* ctx = nullptr;
  if (int rc = libusb_init(&ctx); rc != 0) return Unexpected(UsbError(rc, "libusb init"));
  auto handle = OpenDevice(ctx, path);
  if (!handle) {
    libusb_exit(ctx);
    return Unexpected(handle.error());
  }
  auto fail = [&](OsError e) -> Expected<std::shared_ptr<Transport>, OsError> {
    libusb_close(*handle);
    libusb_exit(ctx);
    return Unexpected(std::move(e));
  };
  auto bytes = ActiveConfigBytes(libusb_get_device(*handle), *handle);
  if (!bytes) return fail(bytes.error());
  auto config = ParseConfigDescriptor(*bytes);
  if (!config) return fail({EPROTO, config.error()});
  auto pipes = SelectBulkInterface(*config, path.interfaceNumber);
  if (!pipes) return fail({ENODEV, pipes.error()});

  libusb_set_auto_detach_kernel_driver(*handle, 1);
  if (int rc = libusb_claim_interface(*handle, path.interfaceNumber); rc != 0) return fail(UsbError(rc, "claim interface"));
  if (pipes->descriptor.bAlternateSetting != 0) {
    int rc = libusb_set_interface_alt_setting(*handle, path.interfaceNumber, pipes->descriptor.bAlternateSetting);
    if (rc != 0) {
      libusb_release_interface(*handle, path.interfaceNumber);
      return fail(UsbError(rc, "select alternate setting"));
    }
  }
  libusb_device_handle* device = *handle;
  const uint8_t interfaceNumber = path.interfaceNumber;
  auto io = std::make_unique<LibusbBulkIo>(ctx, device, pipes->out.address, pipes->in.address);
  return MakeUsbBulkTransport(std::move(io), *pipes, [ctx, device, interfaceNumber] {
    libusb_release_interface(device, interfaceNumber);
    libusb_close(device);
    libusb_exit(ctx);
  });
}

}  // namespace upwend::adb
