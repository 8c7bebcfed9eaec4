// Fastboot over TCP: "FB01" handshake, then every message framed with an 8-byte length.
#include <fmt/format.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>

#include "platform/stream_socket.h"
#include "tools/adbwinapi/fastboot_tcp_framing.h"
#include "tools/adbwinapi/transport.h"

namespace upwend::adb {

namespace {

constexpr unsigned long kConnectTimeoutMs = 5000;
constexpr unsigned long kHandshakeTimeoutMs = 5000;
constexpr char kHandshake[] = "FB01";
constexpr size_t kHandshakeSize = 4;
constexpr size_t kReceiveChunk = 4096;
constexpr unsigned long kMaxPacketSize = 512;
constexpr unsigned long kMaxTransferSize = 1024 * 1024;
constexpr uint8_t kFastbootClass = 0xFF, kFastbootSubClass = 0x42, kFastbootProtocol = 0x03;
constexpr uint8_t kInEndpoint = 0x81, kOutEndpoint = 0x01;

using SteadyClock = std::chrono::steady_clock;

// A deadline for a time-out in milliseconds, 0 meaning none.
class Deadline {
public:
  explicit Deadline(unsigned long timeoutMs)
      : unlimited_(timeoutMs == 0), end_(SteadyClock::now() + std::chrono::milliseconds(timeoutMs)) {}
  // Milliseconds for poll(): -1 without a limit, 0 once expired.
  int PollMs() const {
    if (unlimited_) return -1;
    auto left = std::chrono::ceil<std::chrono::milliseconds>(end_ - SteadyClock::now()).count();
    if (left <= 0) return 0;
    return left > 1'000'000'000 ? 1'000'000'000 : static_cast<int>(left);
  }

private:
  bool unlimited_;
  SteadyClock::time_point end_;
};

OsError SystemError(const char* what) {
  int error = SocketError();
  return {error, fmt::format("{}: {}", what, SocketErrorText(error))};
}

// Waits until the socket can be read (or written); an Error when the time ran out or the wait
// failed.
std::optional<OsError> WaitReady(SocketHandle fd, bool forWrite, const Deadline& deadline, const char* what) {
  int n = WaitSocket(fd, forWrite, deadline.PollMs());
  if (n > 0) return std::nullopt;
  if (n == 0) return OsError{ETIMEDOUT, fmt::format("time-out while {}", what)};
  return SystemError("poll");
}

// Sends all of the pieces, in order; returns the bytes sent, with an error when not all went
// out. It tries first and waits only when the socket buffer is full: one system call per send in
// the common case.
std::pair<size_t, std::optional<OsError>> SendAllPieces(SocketHandle fd, SocketPiece* pieces, size_t count,
                                                      const Deadline& deadline) {
  size_t done = 0;
  while (count > 0) {
    long n = SendSocketPieces(fd, pieces, count);
    if (n < 0) {
      int error = SocketError();
      if (error == EINTR) continue;
      if (error != EAGAIN && error != EWOULDBLOCK) return {done, SystemError("send to the device")};
      if (auto e = WaitReady(fd, true, deadline, "sending to the device")) return {done, e};
      continue;
    }
    done += static_cast<size_t>(n);
    auto left = static_cast<size_t>(n);
    for (; count > 0 && left >= pieces->size; ++pieces, --count) left -= pieces->size;
    if (count > 0) {
      pieces->data = static_cast<const uint8_t*>(pieces->data) + left;
      pieces->size -= left;
    }
  }
  return {done, std::nullopt};
}

std::pair<size_t, std::optional<OsError>> SendAll(SocketHandle fd, const uint8_t* data, size_t size,
                                                const Deadline& deadline) {
  SocketPiece piece{data, size};
  return SendAllPieces(fd, &piece, 1, deadline);
}

class TcpTransport final : public Transport {
public:
  explicit TcpTransport(SocketHandle fd) : fd_(fd) {}
  ~TcpTransport() override { CloseSocket(fd_); }

  AdbUsbInterfaceDescriptor InterfaceDescriptor() const override {
    // What a boot loader's single fastboot interface reports.
    return {9, 4, 0, 0, 2, kFastbootClass, kFastbootSubClass, kFastbootProtocol, 0};
  }
  AdbEndpointInformation ReadEndpointInfo() const override {
    return {kMaxPacketSize, kMaxTransferSize, AdbEndpointTypeBulk, kInEndpoint, 0, 0};
  }
  AdbEndpointInformation WriteEndpointInfo() const override {
    return {kMaxPacketSize, kMaxTransferSize, AdbEndpointTypeBulk, kOutEndpoint, 0, 0};
  }

  Expected<size_t, IoFailure> Write(const uint8_t* data, size_t size, unsigned long timeoutMs) override {
    std::lock_guard writeLock(writeMutex_);
    OsError error;
    std::optional<DownloadTracker::WritePlan> plan;
    bool downloadComplete = false;
    {
      std::lock_guard lock(stateMutex_);
      plan = tracker_.PlanWrite(data, size, error);
      if (plan && plan->data) {
        // Gathered data counts as sent: a send that fails later fails this or a later write.
        tracker_.WriteDone(*plan, data, size, true, size);
        downloadComplete = !tracker_.InDataPhase();
      }
    }
    if (!plan) return Unexpected(IoFailure{error, 0});
    if (plan->data) return WriteData(*plan, data, size, downloadComplete, timeoutMs);

    // Header and payload in one send, so a command is one TCP segment.
    Deadline deadline(timeoutMs);
    SocketPiece pieces[2] = {{plan->header.data(), plan->sendHeader ? kFrameHeaderSize : 0}, {data, size}};
    size_t headerSize = pieces[0].size;
    auto [sent, sendError] = SendAllPieces(fd_, pieces, 2, deadline);
    bool headerComplete = sent >= headerSize;
    size_t payloadSent = headerComplete ? sent - headerSize : 0;
    {
      std::lock_guard lock(stateMutex_);
      tracker_.WriteDone(*plan, data, size, headerComplete, payloadSent);
    }
    if (sendError) return Unexpected(IoFailure{*sendError, payloadSent});
    return size;
  }

  uint8_t* WriteArea(size_t& size) override {
    std::lock_guard writeLock(writeMutex_);
    std::lock_guard lock(stateMutex_);
    size = 0;
    if (!tracker_.InDataPhase() || tracker_.Broken()) return nullptr;
    size = static_cast<size_t>(std::min<uint64_t>(kDataBatch - batchFill_, tracker_.DataRemaining()));
    return Batch() + batchFill_;
  }

  Expected<size_t, IoFailure> Read(uint8_t* data, size_t capacity, unsigned long timeoutMs) override {
    std::lock_guard readLock(readMutex_);
    Deadline deadline(timeoutMs);
    uint8_t chunk[kReceiveChunk];
    for (;;) {
      if (assembler_.HasReply()) {
        std::string reply = assembler_.TakeReply();
        {
          std::lock_guard lock(stateMutex_);
          tracker_.OnReply(reply);
        }
        // A reply longer than the caller's buffer is cut; its rest is dropped with it, so the
        // next read starts at the next reply.
        size_t n = std::min(capacity, reply.size());
        if (n > 0) std::memcpy(data, reply.data(), n);
        return n;
      }
      if (assembler_.Failed()) return Unexpected(IoFailure{{EPROTO, assembler_.FailureText()}, 0});
      if (closed_) return Unexpected(IoFailure{{ECONNRESET, "the device closed the connection"}, 0});
      if (auto e = WaitReady(fd_, false, deadline, "waiting for a reply")) return Unexpected(IoFailure{*e, 0});
      long n = ReceiveSocket(fd_, chunk, sizeof chunk);
      if (n < 0) {
        int error = SocketError();
        if (error == EINTR || error == EAGAIN || error == EWOULDBLOCK) continue;
        return Unexpected(IoFailure{SystemError("receive from the device"), 0});
      }
      if (n == 0) {
        closed_ = true;
        continue;
      }
      assembler_.Feed(chunk, static_cast<size_t>(n));
    }
  }

private:
  // A download's data goes out in large sends: the caller's small blocks are gathered and sent
  // when the batch is full or the announced length is complete. Blocks the caller placed in the
  // batch itself (WriteArea) are not copied. A send that fails fails the write that triggered it,
  // and the connection is of no further use.
  static constexpr size_t kDataBatch = 1024 * 1024;

  Expected<size_t, IoFailure> WriteData(const DownloadTracker::WritePlan& plan, const uint8_t* data, size_t size,
                                               bool downloadComplete, unsigned long timeoutMs) {
    if (plan.sendHeader) {
      header_ = plan.header;
      headerPending_ = true;
    }
    for (size_t done = 0; done < size;) {
      size_t n = std::min(size - done, kDataBatch - batchFill_);
      uint8_t* into = Batch() + batchFill_;
      if (data + done != into) std::memmove(into, data + done, n);
      batchFill_ += n;
      done += n;
      if (batchFill_ < kDataBatch && !(downloadComplete && done == size)) continue;
      if (auto e = SendBatch(timeoutMs)) return Unexpected(IoFailure{*e, 0});
    }
    if (downloadComplete && batchFill_ > 0) {
      if (auto e = SendBatch(timeoutMs)) return Unexpected(IoFailure{*e, 0});
    }
    return size;
  }

  uint8_t* Batch() {
    if (!batch_) batch_ = std::make_unique_for_overwrite<uint8_t[]>(kDataBatch);
    return batch_.get();
  }

  std::optional<OsError> SendBatch(unsigned long timeoutMs) {
    Deadline deadline(timeoutMs);
    SocketPiece pieces[2] = {{header_.data(), headerPending_ ? kFrameHeaderSize : 0}, {batch_.get(), batchFill_}};
    headerPending_ = false;
    batchFill_ = 0;
    return SendAllPieces(fd_, pieces, 2, deadline).second;
  }

  std::unique_ptr<uint8_t[]> batch_;
  size_t batchFill_ = 0;
  std::array<uint8_t, kFrameHeaderSize> header_{};
  bool headerPending_ = false;
  SocketHandle fd_;
  std::mutex writeMutex_;
  std::mutex readMutex_;
  std::mutex stateMutex_;
  DownloadTracker tracker_;
  ReplyAssembler assembler_;
  bool closed_ = false;
};

Expected<SocketHandle, OsError> Connect(const TcpPath& path) {
  OsError failure;
  SocketHandle fd = ConnectTcpSocket(path.host, static_cast<uint16_t>(path.port), static_cast<int>(kConnectTimeoutMs),
                                     failure.code, failure.text);
  if (fd == kNoSocket) return Unexpected(failure);
  return fd;
}

std::optional<OsError> Handshake(SocketHandle fd) {
  Deadline deadline(kHandshakeTimeoutMs);
  auto [sent, error] = SendAll(fd, reinterpret_cast<const uint8_t*>(kHandshake), kHandshakeSize, deadline);
  if (error) return error;
  char answer[kHandshakeSize];
  size_t got = 0;
  while (got < kHandshakeSize) {
    if (auto e = WaitReady(fd, false, deadline, "waiting for the fastboot handshake")) return e;
    long n = ReceiveSocket(fd, answer + got, kHandshakeSize - got);
    if (n == 0) return OsError{ECONNRESET, "the device closed the connection during the handshake"};
    if (n < 0) {
      int code = SocketError();
      if (code == EINTR || code == EAGAIN || code == EWOULDBLOCK) continue;
      return SystemError("receive the handshake");
    }
    got += static_cast<size_t>(n);
  }
  bool digits = answer[2] >= '0' && answer[2] <= '9' && answer[3] >= '0' && answer[3] <= '9';
  if (answer[0] != 'F' || answer[1] != 'B' || !digits || (answer[2] == '0' && answer[3] == '0')) {
    return OsError{EPROTO, "the device did not answer the fastboot handshake"};
  }
  return std::nullopt;
}

}  // namespace

Expected<std::shared_ptr<Transport>, OsError> OpenTcpTransport(const TcpPath& path) {
  auto fd = Connect(path);
  if (!fd) return Unexpected(fd.error());
  if (auto e = Handshake(*fd)) {
    CloseSocket(*fd);
    return Unexpected(*e);
  }
  return std::make_shared<TcpTransport>(*fd);
}

}  // namespace upwend::adb
