#include "tools/adbwinapi/libusb_bulk_io.h"

#include <fmt/format.h>

#include <cerrno>
#include <climits>

namespace upwend::adb {

namespace {

void LIBUSB_CALL MarkCompleted(libusb_transfer* transfer) { *static_cast<int*>(transfer->user_data) = 1; }

int StatusError(libusb_transfer_status status) {
  switch (status) {
    case LIBUSB_TRANSFER_COMPLETED: return 0;
    case LIBUSB_TRANSFER_TIMED_OUT: return LIBUSB_ERROR_TIMEOUT;
    case LIBUSB_TRANSFER_STALL: return LIBUSB_ERROR_PIPE;
    case LIBUSB_TRANSFER_NO_DEVICE: return LIBUSB_ERROR_NO_DEVICE;
    case LIBUSB_TRANSFER_OVERFLOW: return LIBUSB_ERROR_OVERFLOW;
    case LIBUSB_TRANSFER_CANCELLED: return LIBUSB_ERROR_INTERRUPTED;
    default: return LIBUSB_ERROR_IO;
  }
}

int ErrnoFor(int usbError) {
  switch (usbError) {
    case LIBUSB_ERROR_TIMEOUT: return ETIMEDOUT;
    case LIBUSB_ERROR_NO_DEVICE: return ENODEV;
    case LIBUSB_ERROR_NOT_FOUND: return ENODEV;
    case LIBUSB_ERROR_ACCESS: return EACCES;
    case LIBUSB_ERROR_BUSY: return EBUSY;
    case LIBUSB_ERROR_PIPE: return EPIPE;
    case LIBUSB_ERROR_OVERFLOW: return EOVERFLOW;
    case LIBUSB_ERROR_NO_MEM: return ENOMEM;
    case LIBUSB_ERROR_INTERRUPTED: return EINTR;
    case LIBUSB_ERROR_INVALID_PARAM: return EINVAL;
    case LIBUSB_ERROR_NOT_SUPPORTED: return ENOTSUP;
    default: return EIO;
  }
}

}  // namespace

OsError UsbStatusError(int status, std::string_view what) {
  return {ErrnoFor(status), fmt::format("{}: {}", what, libusb_strerror(status))};
}

LibusbBulkIo::~LibusbBulkIo() {
  for (int slot = 0; slot < kSlots; ++slot) {
    Cancel(slot);
    libusb_free_transfer(slots_[static_cast<size_t>(slot)].transfer);
  }
}

int LibusbBulkIo::Submit(int slot, const uint8_t* data, size_t size, bool zeroPacket, unsigned timeoutMs) {
  if (slot < 0 || slot >= kSlots || size > INT_MAX) return LIBUSB_ERROR_INVALID_PARAM;
  Slot& s = slots_[static_cast<size_t>(slot)];
  if (!s.completed) return LIBUSB_ERROR_BUSY;
  if (s.transfer == nullptr) s.transfer = libusb_alloc_transfer(0);
  if (s.transfer == nullptr) return LIBUSB_ERROR_NO_MEM;
  // libusb does not write to an OUT transfer's buffer.
  libusb_fill_bulk_transfer(s.transfer, handle_, out_, const_cast<uint8_t*>(data), static_cast<int>(size), MarkCompleted,
                            &s.completed, timeoutMs);
  s.transfer->flags = zeroPacket ? LIBUSB_TRANSFER_ADD_ZERO_PACKET : 0;
  s.completed = 0;
  const int rc = libusb_submit_transfer(s.transfer);
  if (rc != 0) s.completed = 1;
  return rc;
}

UsbCompletion LibusbBulkIo::Result(const Slot& s) const {
  if (s.transfer == nullptr) return {LIBUSB_ERROR_NOT_FOUND, 0};
  return {StatusError(s.transfer->status), static_cast<size_t>(std::max(s.transfer->actual_length, 0))};
}

UsbCompletion LibusbBulkIo::Wait(int slot) {
  Slot& s = slots_[static_cast<size_t>(slot)];
  while (!s.completed) {
    // Every transfer has its time-out, so this wait ends; a failing event loop cancels it.
    const int rc = libusb_handle_events_completed(ctx_, &s.completed);
    if (rc != 0 && rc != LIBUSB_ERROR_INTERRUPTED && !s.completed) {
      libusb_cancel_transfer(s.transfer);
    }
  }
  return Result(s);
}

std::optional<UsbCompletion> LibusbBulkIo::Poll(int slot) {
  Slot& s = slots_[static_cast<size_t>(slot)];
  if (!s.completed) {
    timeval now{0, 0};
    libusb_handle_events_timeout_completed(ctx_, &now, &s.completed);
  }
  if (!s.completed) return std::nullopt;
  return Result(s);
}

void LibusbBulkIo::Cancel(int slot) {
  Slot& s = slots_[static_cast<size_t>(slot)];
  if (s.completed) return;
  libusb_cancel_transfer(s.transfer);
  Wait(slot);
}

int LibusbBulkIo::ReadIn(uint8_t* data, size_t size, unsigned timeoutMs, size_t& transferred) {
  int got = 0;
  const int rc = libusb_bulk_transfer(handle_, in_, data, static_cast<int>(std::min<size_t>(size, INT_MAX)), &got, timeoutMs);
  transferred = static_cast<size_t>(std::max(got, 0));
  return rc;
}

}  // namespace upwend::adb
