#include "engine/qmsl/qmsl_tty_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>
#include <cstdlib>

#include "platform/clock.h"

namespace upwend {

namespace {

constexpr std::string_view kPortPrefix = "\\\\.\\";

class TtyPort final : public SerialPort {
public:
  TtyPort(Clock& clock, PortResolver resolver) : clock_(clock), resolver_(std::move(resolver)) {}
  ~TtyPort() override { Close(); }

  bool Open(const std::string& portName) override {
    std::string name = portName;
    if (name.starts_with(kPortPrefix)) name.erase(0, kPortPrefix.size());
    std::optional<std::string> node = resolver_ ? resolver_(name) : std::nullopt;
    if (!node) return Fail(kErrorFileNotFound);
    fd_ = ::open(node->c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) return Fail(errno == EACCES || errno == EBUSY ? kErrorAccessDenied : kErrorFileNotFound);
    // Exclusive, as a COM port is: a second opener is refused.
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      Close();
      return Fail(kErrorAccessDenied);
    }
    termios tio{};
    if (::tcgetattr(fd_, &tio) == 0) {
      ::cfmakeraw(&tio);
      tio.c_cflag |= CLOCAL | CREAD;
      ::tcsetattr(fd_, TCSANOW, &tio);
    }
    return true;
  }
  bool IsOpen() const override { return fd_ >= 0; }
  bool GetState(CommState& state) override {
    state = state_;
    return IsOpen() || Fail(kErrorInvalidHandle);
  }
  bool SetState(const CommState& state) override {
    if (!IsOpen()) return Fail(kErrorInvalidHandle);
    state_ = state;
    return true;
  }
  bool SetupQueues(uint32_t, uint32_t) override { return IsOpen() || Fail(kErrorInvalidHandle); }
  bool SetTimeouts(const CommTimeouts& timeouts) override {
    if (!IsOpen()) return Fail(kErrorInvalidHandle);
    timeouts_ = timeouts;
    return true;
  }
  bool Purge(uint32_t flags) override {
    if (!IsOpen()) return Fail(kErrorInvalidHandle);
    if (flags & kPurgeRxClear) {
      ::tcflush(fd_, TCIFLUSH);
      queued_.clear();
      head_ = 0;
    }
    if (flags & kPurgeTxClear) ::tcflush(fd_, TCOFLUSH);
    return true;
  }
  bool ClearError(CommErrors& errors) override {
    errors = {};
    return IsOpen() || Fail(kErrorInvalidHandle);
  }
  bool Read(uint8_t* buffer, uint32_t len, uint32_t& done) override {
    done = 0;
    if (!IsOpen()) return Fail(kErrorInvalidHandle);
    if (len == 0) return true;
    const CommTimeouts& t = timeouts_;
    const bool returnAtOnce = t.readIntervalTimeout == kMaxDword && t.readTotalTimeoutMultiplier == 0 &&
                              t.readTotalTimeoutConstant == 0;
    const bool firstByteWait = t.readIntervalTimeout == kMaxDword && t.readTotalTimeoutMultiplier == kMaxDword;
    int64_t waitMs = 0;
    if (firstByteWait) {
      waitMs = t.readTotalTimeoutConstant;
    } else if (!returnAtOnce) {
      waitMs = static_cast<int64_t>(t.readTotalTimeoutMultiplier) * len + t.readTotalTimeoutConstant;
      if (waitMs == 0) waitMs = -1;
    }
    const uint64_t begin = clock_.NowMs();
    for (;;) {
      // What the line delivered is kept here, as a driver's input queue would keep it: a
      // caller that reads one byte at a time costs no system call per byte.
      const size_t take = std::min<size_t>(len - done, queued_.size() - head_);
      if (take > 0) std::memcpy(buffer + done, queued_.data() + head_, take);
      head_ += take;
      done += static_cast<uint32_t>(take);
      if (done == len || (done > 0 && (returnAtOnce || firstByteWait))) return true;

      queued_.resize(kQueueSize);
      const ssize_t got = ::read(fd_, queued_.data(), queued_.size());
      queued_.resize(got > 0 ? static_cast<size_t>(got) : 0);
      head_ = 0;
      if (got > 0) continue;
      if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
        // The other end went away (a pseudo-terminal's master closed, a device unplugged).
        return done > 0 ? true : Fail(kErrorDeviceRemoved);
      }
      if (returnAtOnce) return true;
      int64_t left = -1;
      if (waitMs >= 0) {
        const uint64_t spent = clock_.NowMs() - begin;
        if (spent >= static_cast<uint64_t>(waitMs)) return true;
        left = waitMs - static_cast<int64_t>(spent);
      }
      pollfd p{fd_, POLLIN, 0};
      ::poll(&p, 1, RealPollMs(clock_, left));
      if ((p.revents & (POLLHUP | POLLERR | POLLNVAL)) && !(p.revents & POLLIN)) {
        return done > 0 ? true : Fail(kErrorDeviceRemoved);
      }
    }
  }
  bool Write(const uint8_t* buffer, uint32_t len, uint32_t& done) override {
    done = 0;
    if (!IsOpen()) return Fail(kErrorInvalidHandle);
    const int64_t limitMs = static_cast<int64_t>(timeouts_.writeTotalTimeoutMultiplier) * len +
                            timeouts_.writeTotalTimeoutConstant;
    const uint64_t begin = clock_.NowMs();
    while (done < len) {
      const ssize_t put = ::write(fd_, buffer + done, len - done);
      if (put > 0) {
        done += static_cast<uint32_t>(put);
        continue;
      }
      if (put < 0 && errno != EAGAIN && errno != EINTR) return Fail(kErrorDeviceRemoved);
      int64_t left = -1;
      if (limitMs > 0) {
        const uint64_t spent = clock_.NowMs() - begin;
        if (spent >= static_cast<uint64_t>(limitMs)) return true;  // a write time-out: done < len
        left = limitMs - static_cast<int64_t>(spent);
      }
      pollfd p{fd_, POLLOUT, 0};
      ::poll(&p, 1, RealPollMs(clock_, left));
    }
    return true;
  }
  bool Close() override {
    if (fd_ >= 0) {
      ::close(fd_);
      fd_ = -1;
    }
    queued_.clear();
    head_ = 0;
    return true;
  }
  uint32_t LastError() const override { return lastError_; }

private:
  bool Fail(uint32_t code) {
    lastError_ = code;
    return false;
  }

  Clock& clock_;
  PortResolver resolver_;
  int fd_ = -1;
  CommState state_;
  CommTimeouts timeouts_;
  uint32_t lastError_ = 0;
  static constexpr size_t kQueueSize = 4096;
  std::vector<uint8_t> queued_;
  size_t head_ = 0;
};

}  // namespace

std::optional<std::string> ResolveQmslPortFromEnvironment(const std::string& portName) {
  std::string name = portName;
  if (name.starts_with(kPortPrefix)) name.erase(0, kPortPrefix.size());
  if (name.size() < 4 || !name.starts_with("COM")) return std::nullopt;
  for (size_t i = 3; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return std::nullopt;
  }
  const char* node = std::getenv(("UPWEND_" + name).c_str());
  if (node == nullptr || *node == '\0') return std::nullopt;
  return std::string(node);
}

std::unique_ptr<SerialPort> CreateQmslTtyPort(Clock& clock, PortResolver resolver) {
  return std::make_unique<TtyPort>(clock, std::move(resolver));
}

}  // namespace upwend
