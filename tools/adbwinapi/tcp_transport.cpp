// Fastboot over TCP: "FB01" handshake, then every message framed with an 8-byte length.
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fmt/format.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <vector>

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

OsError SystemError(const char* what) { return {errno, fmt::format("{}: {}", what, std::strerror(errno))}; }

// Waits until fd is ready for `events`; an Error when the time ran out or poll failed.
std::optional<OsError> WaitReady(int fd, short events, const Deadline& deadline, const char* what) {
  for (;;) {
    pollfd p{fd, events, 0};
    int n = poll(&p, 1, deadline.PollMs());
    if (n > 0) return std::nullopt;
    if (n == 0) return OsError{ETIMEDOUT, fmt::format("time-out while {}", what)};
    if (errno != EINTR) return SystemError("poll");
  }
}

// Sends all of data; returns the bytes sent, with an error when not all went out.
std::pair<size_t, std::optional<OsError>> SendAll(int fd, const uint8_t* data, size_t size, const Deadline& deadline) {
  // Try first and wait only when the socket buffer is full: one system call per block in the
  // common case.
  size_t done = 0;
  while (done < size) {
    ssize_t n = send(fd, data + done, size - done, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n >= 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return {done, SystemError("send to the device")};
    if (auto e = WaitReady(fd, POLLOUT, deadline, "sending to the device")) return {done, e};
  }
  return {done, std::nullopt};
}

class TcpTransport final : public Transport {
public:
  explicit TcpTransport(int fd) : fd_(fd) {}
  ~TcpTransport() override { close(fd_); }

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
    Deadline deadline(timeoutMs);
    OsError error;
    std::optional<DownloadTracker::WritePlan> plan;
    {
      std::lock_guard lock(stateMutex_);
      plan = tracker_.PlanWrite(data, size, error);
    }
    if (!plan) return Unexpected(IoFailure{error, 0});

    if (plan->data) return WriteData(*plan, data, size, deadline);

    // Header and payload in one send where possible, so a command is one TCP segment.
    std::vector<uint8_t> frame;
    const uint8_t* out = data;
    size_t outSize = size;
    size_t headerSize = 0;
    if (plan->sendHeader) {
      headerSize = kFrameHeaderSize;
      frame.reserve(kFrameHeaderSize + size);
      frame.insert(frame.end(), plan->header.begin(), plan->header.end());
      frame.insert(frame.end(), data, data + size);
      out = frame.data();
      outSize = frame.size();
    }
    auto [sent, sendError] = SendAll(fd_, out, outSize, deadline);
    bool headerComplete = sent >= headerSize;
    size_t payloadSent = headerComplete ? sent - headerSize : 0;
    {
      std::lock_guard lock(stateMutex_);
      tracker_.WriteDone(*plan, data, size, headerComplete, payloadSent);
    }
    if (sendError) return Unexpected(IoFailure{*sendError, payloadSent});
    return size;
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
      if (auto e = WaitReady(fd_, POLLIN, deadline, "waiting for a reply")) return Unexpected(IoFailure{*e, 0});
      ssize_t n = recv(fd_, chunk, sizeof chunk, MSG_DONTWAIT);
      if (n < 0) {
        if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
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
  // when enough have come or the announced length is complete. A send that fails fails the write
  // that triggered it, and the connection is of no further use.
  static constexpr size_t kDataBatch = 1024 * 1024;

  Expected<size_t, IoFailure> WriteData(const DownloadTracker::WritePlan& plan, const uint8_t* data, size_t size,
                                               const Deadline& deadline) {
    if (plan.sendHeader) pending_.insert(pending_.end(), plan.header.begin(), plan.header.end());
    pending_.insert(pending_.end(), data, data + size);
    bool complete = false;
    {
      std::lock_guard lock(stateMutex_);
      tracker_.WriteDone(plan, data, size, true, size);
      complete = !tracker_.InDataPhase() || tracker_.DataRemaining() == 0;
    }
    if (pending_.size() < kDataBatch && !complete) return size;
    auto [sent, sendError] = SendAll(fd_, pending_.data(), pending_.size(), deadline);
    pending_.clear();
    if (sendError) return Unexpected(IoFailure{*sendError, 0});
    return size;
  }

  std::vector<uint8_t> pending_;
  int fd_;
  std::mutex writeMutex_;
  std::mutex readMutex_;
  std::mutex stateMutex_;
  DownloadTracker tracker_;
  ReplyAssembler assembler_;
  bool closed_ = false;
};

Expected<int, OsError> Connect(const TcpPath& path) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  std::string port = std::to_string(path.port);
  int rc = getaddrinfo(path.host.c_str(), port.c_str(), &hints, &list);
  if (rc != 0) return Unexpected(OsError{ENODEV, fmt::format("cannot resolve {}: {}", path.host, gai_strerror(rc))});
  OsError last{ENODEV, fmt::format("no address for {}", path.host)};
  for (addrinfo* ai = list; ai != nullptr; ai = ai->ai_next) {
    int fd = socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, ai->ai_protocol);
    if (fd < 0) {
      last = SystemError("socket");
      continue;
    }
    if (connect(fd, ai->ai_addr, ai->ai_addrlen) != 0 && errno != EINPROGRESS) {
      last = SystemError("connect");
      close(fd);
      continue;
    }
    Deadline deadline(kConnectTimeoutMs);
    if (auto e = WaitReady(fd, POLLOUT, deadline, "connecting")) {
      last = *e;
      close(fd);
      continue;
    }
    int soError = 0;
    socklen_t len = sizeof soError;
    getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len);
    if (soError != 0) {
      last = {soError, fmt::format("connect to {}:{}: {}", path.host, path.port, std::strerror(soError))};
      close(fd);
      continue;
    }
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    freeaddrinfo(list);
    return fd;
  }
  freeaddrinfo(list);
  return Unexpected(last);
}

std::optional<OsError> Handshake(int fd) {
  Deadline deadline(kHandshakeTimeoutMs);
  auto [sent, error] = SendAll(fd, reinterpret_cast<const uint8_t*>(kHandshake), kHandshakeSize, deadline);
  if (error) return error;
  char answer[kHandshakeSize];
  size_t got = 0;
  while (got < kHandshakeSize) {
    if (auto e = WaitReady(fd, POLLIN, deadline, "waiting for the fastboot handshake")) return e;
    ssize_t n = recv(fd, answer + got, kHandshakeSize - got, MSG_DONTWAIT);
    if (n == 0) return OsError{ECONNRESET, "the device closed the connection during the handshake"};
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
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
    close(*fd);
    return Unexpected(*e);
  }
  return std::make_shared<TcpTransport>(*fd);
}

}  // namespace upwend::adb
