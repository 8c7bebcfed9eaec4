#include "tools/adbwinapi/usb_download_writer.h"

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "tools/adbwinapi/fastboot_tcp_framing.h"

namespace upwend::adb {

namespace {

constexpr std::string_view kDataReply = "DATA";

}  // namespace

UsbDownloadWriter::UsbDownloadWriter(UsbBulkIo& io, size_t batch) : io_(io), batch_(std::max<size_t>(batch, 1)) {}

UsbDownloadWriter::~UsbDownloadWriter() { CancelAll(); }

Unexpected<IoFailure> UsbDownloadWriter::Failed(OsError error) {
  // The rest of this download can no longer reach the device in order: it fails as a whole.
  CancelAll();
  remaining_ = 0;
  announced_.reset();
  for (auto& b : buffers_) b.fill = 0;
  return Unexpected(IoFailure{std::move(error), 0});
}

std::optional<OsError> UsbDownloadWriter::WriteCommand(const uint8_t* data, size_t size, unsigned timeoutMs, size_t& sent) {
  sent = 0;
  if (int rc = io_.Submit(UsbBulkIo::kSyncSlot, data, size, true, timeoutMs); rc != 0) return io_.Describe(rc, "bulk write");
  const UsbCompletion done = io_.Wait(UsbBulkIo::kSyncSlot);
  sent = done.transferred;
  if (done.status != 0) return io_.Describe(done.status, "bulk write");
  // The device would read the rest as the next command: a cut command is a failed one.
  if (done.transferred != size) return OsError{EIO, fmt::format("bulk write: {} of {} bytes went out", done.transferred, size)};
  return std::nullopt;
}

Expected<size_t, IoFailure> UsbDownloadWriter::Write(const uint8_t* data, size_t size, unsigned timeoutMs) {
  if (remaining_ == 0) {
    // A command, or data the device did not ask for: one transfer, as written.
    announced_ = DownloadLength(std::string_view(reinterpret_cast<const char*>(data), size));
    size_t sent = 0;
    if (auto e = WriteCommand(data, size, timeoutMs, sent)) return Unexpected(IoFailure{*e, sent});
    return size;
  }
  if (auto e = CollectFinished()) return Failed(*e);
  // Beyond the announced length the device would read the rest as a command: refuse it whole.
  if (size > remaining_) {
    return Failed({EINVAL, fmt::format("{} bytes written with {} left of the download", size, remaining_)});
  }
  size_t done = 0;
  while (done < size) {
    Buffer& b = buffers_[static_cast<size_t>(current_)];
    if (b.inFlight) {
      if (auto e = Collect(current_)) return Failed(*e);
    }
    if (!b.bytes) b.bytes = std::make_unique<uint8_t[]>(batch_);
    const size_t n = std::min(size - done, batch_ - b.fill);
    std::memcpy(b.bytes.get() + b.fill, data + done, n);
    b.fill += n;
    done += n;
    remaining_ -= n;
    if (b.fill == batch_ || remaining_ == 0) {
      if (auto e = SubmitCurrent(timeoutMs)) return Failed(*e);
    }
  }
  if (remaining_ == 0) {
    // The last block: the call reports whether the whole download went out.
    if (auto e = WaitAll()) return Failed(*e);
  }
  return size;
}

std::optional<OsError> UsbDownloadWriter::SubmitCurrent(unsigned timeoutMs) {
  Buffer& b = buffers_[static_cast<size_t>(current_)];
  if (b.fill == 0) return std::nullopt;
  const bool last = remaining_ == 0;
  if (int rc = io_.Submit(current_, b.bytes.get(), b.fill, last, timeoutMs); rc != 0) {
    return io_.Describe(rc, "bulk write");
  }
  b.inFlight = true;
  current_ = (current_ + 1) % kBuffers;
  return std::nullopt;
}

std::optional<OsError> UsbDownloadWriter::Collect(int slot) {
  Buffer& b = buffers_[static_cast<size_t>(slot)];
  const UsbCompletion done = io_.Wait(slot);
  b.inFlight = false;
  const size_t sent = b.fill;
  b.fill = 0;
  if (done.status != 0) return io_.Describe(done.status, "bulk write");
  if (done.transferred != sent) {
    return OsError{EIO, fmt::format("bulk write: {} of {} bytes went out", done.transferred, sent)};
  }
  return std::nullopt;
}

std::optional<OsError> UsbDownloadWriter::CollectFinished() {
  for (int slot = 0; slot < kBuffers; ++slot) {
    Buffer& b = buffers_[static_cast<size_t>(slot)];
    if (!b.inFlight || !io_.Poll(slot)) continue;
    if (auto e = Collect(slot)) return e;
  }
  return std::nullopt;
}

std::optional<OsError> UsbDownloadWriter::WaitAll() {
  // Oldest first: the order they were submitted in.
  std::optional<OsError> first;
  for (int i = 0; i < kBuffers; ++i) {
    const int slot = (current_ + i) % kBuffers;
    if (!buffers_[static_cast<size_t>(slot)].inFlight) continue;
    if (auto e = Collect(slot); e && !first) first = e;
  }
  return first;
}

void UsbDownloadWriter::CancelAll() {
  for (int slot = 0; slot < kBuffers; ++slot) {
    Buffer& b = buffers_[static_cast<size_t>(slot)];
    if (b.inFlight) io_.Cancel(slot);
    b.inFlight = false;
  }
}

std::optional<OsError> UsbDownloadWriter::Flush(unsigned timeoutMs) {
  // A download cut short by the caller: what it wrote still goes out before the reply is read.
  if (auto e = SubmitCurrent(timeoutMs)) {
    Failed(*e);
    return e;
  }
  if (auto e = WaitAll()) {
    Failed(*e);
    return e;
  }
  return std::nullopt;
}

void UsbDownloadWriter::OnReply(std::string_view reply) {
  if (announced_ && reply.substr(0, kDataReply.size()) == kDataReply && *announced_ > 0) {
    remaining_ = *announced_;
  } else {
    remaining_ = 0;
  }
  announced_.reset();
}

}  // namespace upwend::adb
