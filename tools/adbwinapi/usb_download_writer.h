#pragma once
// Writes to a USB bulk OUT endpoint for fastboot. Commands go out as they are written, one
// transfer each. A download's data, written by the caller in small blocks, is gathered into
// large transfers with several in flight, so the bus never idles between blocks:
//  - the data phase starts with the "DATA" reply to a "download:" command and lasts for the
//    announced length;
//  - every byte a call reports written goes out in order, in the transfer after the ones before;
//  - a failed transfer fails the next call, and at the latest the call that writes the last block
//    (it waits for every transfer of the download) or the read that follows;
//  - the last transfer of a download ends with a zero-length packet when the length is a
//    multiple of the packet size, as a command of such a length does;
//  - each transfer carries the time-out of the call that completed it.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "tools/adbwinapi/transport.h"
#include "tools/adbwinapi/usb_bulk_io.h"

namespace upwend::adb {

class UsbDownloadWriter {
public:
  static constexpr size_t kDefaultBatch = 1024 * 1024;

  // batch: bytes per gathered transfer, a multiple of the packet size.
  explicit UsbDownloadWriter(UsbBulkIo& io, size_t batch = kDefaultBatch);
  ~UsbDownloadWriter();
  UsbDownloadWriter(const UsbDownloadWriter&) = delete;
  UsbDownloadWriter& operator=(const UsbDownloadWriter&) = delete;

  Expected<size_t, IoFailure> Write(const uint8_t* data, size_t size, unsigned timeoutMs);
  // Before a read: sends what is gathered and waits for every transfer; an error is reported here.
  std::optional<OsError> Flush(unsigned timeoutMs);
  // A reply read from the device; "DATA" after a download command starts the data phase.
  void OnReply(std::string_view reply);

  bool InDataPhase() const { return remaining_ > 0; }

private:
  static constexpr int kBuffers = UsbBulkIo::kSyncSlot;  // the async slots

  struct Buffer {
    std::unique_ptr<uint8_t[]> bytes;
    size_t fill = 0;
    bool inFlight = false;
  };

  std::optional<OsError> WriteCommand(const uint8_t* data, size_t size, unsigned timeoutMs, size_t& sent);
  std::optional<OsError> SubmitCurrent(unsigned timeoutMs);
  std::optional<OsError> Collect(int slot);
  std::optional<OsError> CollectFinished();
  std::optional<OsError> WaitAll();
  void CancelAll();
  Unexpected<IoFailure> Failed(OsError error);

  UsbBulkIo& io_;
  size_t batch_;
  std::array<Buffer, kBuffers> buffers_;
  int current_ = 0;
  std::optional<uint64_t> announced_;
  uint64_t remaining_ = 0;
};

}  // namespace upwend::adb
