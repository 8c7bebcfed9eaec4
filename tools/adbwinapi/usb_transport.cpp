// A real USB interface through libusb: claim it, find its bulk pipes; commands and replies one
// transfer each, a download's data gathered into large transfers (usb_download_writer.h).
#include <libusb.h>

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/node_access.h"
#include "tools/adbwinapi/libusb_bulk_io.h"
#include "tools/adbwinapi/transport.h"
#include "tools/adbwinapi/usb_descriptors.h"
#include "tools/adbwinapi/usb_download_writer.h"

namespace upwend::adb {

namespace {

constexpr unsigned long kMaxTransferSize = 1024 * 1024;
constexpr size_t kConfigHeaderLength = 9;
constexpr int kMaxConfigLength = 0xFFFF;

OsError UsbError(int rc, const std::string& what) { return UsbStatusError(rc, what); }

// libusb takes an unsigned int time-out with 0 meaning no limit, as ours does.
unsigned int UsbTimeout(unsigned long ms) { return static_cast<unsigned int>(std::min<unsigned long>(ms, 0xFFFFFFFFul)); }

class UsbTransport final : public Transport {
public:
  UsbTransport(libusb_context* ctx, libusb_device_handle* handle, BulkInterface pipes)
      : ctx_(ctx),
        handle_(handle),
        pipes_(pipes),
        io_(std::make_unique<LibusbBulkIo>(ctx, handle, pipes.out.address, pipes.in.address)),
        writer_(std::make_unique<UsbDownloadWriter>(*io_)) {}
  ~UsbTransport() override {
    // Transfers still in flight end before their buffers and the device handle go.
    writer_.reset();
    io_.reset();
    libusb_release_interface(handle_, pipes_.descriptor.bInterfaceNumber);
    libusb_close(handle_);
    libusb_exit(ctx_);
  }

  AdbUsbInterfaceDescriptor InterfaceDescriptor() const override { return pipes_.descriptor; }
  AdbEndpointInformation ReadEndpointInfo() const override {
    return EndpointInformation(pipes_.in, pipes_.descriptor.bAlternateSetting, kMaxTransferSize);
  }
  AdbEndpointInformation WriteEndpointInfo() const override {
    return EndpointInformation(pipes_.out, pipes_.descriptor.bAlternateSetting, kMaxTransferSize);
  }

  Expected<size_t, IoFailure> Write(const uint8_t* data, size_t size, unsigned long timeoutMs) override {
    std::lock_guard lock(writeMutex_);
    return writer_->Write(data, size, UsbTimeout(timeoutMs));
  }

  Expected<size_t, IoFailure> Read(uint8_t* data, size_t capacity, unsigned long timeoutMs) override {
    std::lock_guard lock(readMutex_);
    {
      std::lock_guard writeLock(writeMutex_);
      if (auto e = writer_->Flush(UsbTimeout(timeoutMs))) return Unexpected(IoFailure{*e, 0});
    }
    // Read whole packets: a reply longer than the caller's buffer would otherwise be an
    // overflow error instead of a cut reply.
    size_t packet = std::max<size_t>(pipes_.in.maxPacketSize, 1);
    size_t want = std::min<size_t>(std::max<size_t>((capacity + packet - 1) / packet * packet, packet), kMaxTransferSize);
    buffer_.resize(want);
    size_t transferred = 0;
    int rc = io_->ReadIn(buffer_.data(), want, UsbTimeout(timeoutMs), transferred);
    size_t n = std::min(capacity, transferred);
    if (n > 0) std::memcpy(data, buffer_.data(), n);
    if (rc != 0) return Unexpected(IoFailure{UsbError(rc, "bulk read"), n});
    {
      std::lock_guard writeLock(writeMutex_);
      writer_->OnReply(std::string_view(reinterpret_cast<const char*>(buffer_.data()), transferred));
    }
    return n;
  }

private:
  libusb_context* ctx_;
  libusb_device_handle* handle_;
  BulkInterface pipes_;
  std::unique_ptr<LibusbBulkIo> io_;
  std::unique_ptr<UsbDownloadWriter> writer_;
  std::mutex writeMutex_;
  std::mutex readMutex_;
  std::vector<uint8_t> buffer_;
};

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

Expected<std::shared_ptr<Transport>, OsError> OpenLibusbTransport(const UsbPath& path) {
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
  return std::make_shared<UsbTransport>(ctx, *handle, *pipes);
}

}  // namespace upwend::adb
