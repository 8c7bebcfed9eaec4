#pragma once
// UsbBulkIo on libusb's asynchronous API; events are handled on the calling thread while it waits.
#include <libusb.h>

#include <array>

#include "tools/adbwinapi/usb_bulk_io.h"

namespace upwend::adb {

// The Error for a libusb status.
OsError UsbStatusError(int status, std::string_view what);

class LibusbBulkIo final : public UsbBulkIo {
public:
  LibusbBulkIo(libusb_context* ctx, libusb_device_handle* handle, uint8_t outEndpoint, uint8_t inEndpoint)
      : ctx_(ctx), handle_(handle), out_(outEndpoint), in_(inEndpoint) {}
  ~LibusbBulkIo() override;

  int Submit(int slot, const uint8_t* data, size_t size, bool zeroPacket, unsigned timeoutMs) override;
  UsbCompletion Wait(int slot) override;
  std::optional<UsbCompletion> Poll(int slot) override;
  void Cancel(int slot) override;
  int ReadIn(uint8_t* data, size_t size, unsigned timeoutMs, size_t& transferred) override;
  OsError Describe(int status, std::string_view what) const override { return UsbStatusError(status, what); }

private:
  struct Slot {
    libusb_transfer* transfer = nullptr;
    int completed = 1;
  };
  UsbCompletion Result(const Slot& s) const;

  libusb_context* ctx_;
  libusb_device_handle* handle_;
  uint8_t out_;
  uint8_t in_;
  std::array<Slot, kSlots> slots_{};
};

}  // namespace upwend::adb
