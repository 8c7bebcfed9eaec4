#pragma once
// The bulk transfers of one claimed USB interface: libusb or WinUSB in the library, a recording
// double in the tests. Statuses are the backend's own error codes (0: the whole transfer
// completed); Describe turns one into an errno value and a sentence.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/expected.h"

namespace upwend::adb {

struct UsbCompletion {
  int status = 0;
  size_t transferred = 0;
};

class UsbBulkIo {
public:
  // Slots of asynchronous OUT transfers; kSyncSlot is the one a synchronous write uses.
  static constexpr int kSlots = 4;
  static constexpr int kSyncSlot = kSlots - 1;

  UsbBulkIo() = default;
  virtual ~UsbBulkIo() = default;
  // It holds transfers in flight on buffers and handles of its own.
  UsbBulkIo(const UsbBulkIo&) = delete;
  UsbBulkIo& operator=(const UsbBulkIo&) = delete;
  // Starts an OUT transfer in `slot` (free); the data must stay valid until it completes.
  // zeroPacket: a zero-length packet follows when size is a multiple of the packet size.
  // timeoutMs 0 means no limit.
  virtual int Submit(int slot, const uint8_t* data, size_t size, bool zeroPacket, unsigned timeoutMs) = 0;
  // Waits until the transfer in `slot` has completed.
  virtual UsbCompletion Wait(int slot) = 0;
  // Its completion when it has completed by now, without waiting.
  virtual std::optional<UsbCompletion> Poll(int slot) = 0;
  // Cancels the transfer in `slot` and waits until it has ended.
  virtual void Cancel(int slot) = 0;
  // A synchronous IN transfer of up to `size` bytes.
  virtual int ReadIn(uint8_t* data, size_t size, unsigned timeoutMs, size_t& transferred) = 0;
  // "what: <the backend's text for status>", with the errno value closest to it.
  virtual OsError Describe(int status, std::string_view what) const = 0;
};

}  // namespace upwend::adb
