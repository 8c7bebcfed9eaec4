// The POSIX serial port: termios for the line, poll() for every wait, and the Windows
// COMMTIMEOUTS rules rebuilt on top (see serial_port.h). The descriptor stays non-blocking with
// VMIN 1, so "no data yet" (EAGAIN) and "device gone" (0 or EIO) can be told apart.
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <limits>
#include <utility>

#include "platform/clock.h"
#include "platform/last_error.h"
#include "platform/port_names.h"
#include "platform/serial_port.h"

namespace upwend {

namespace {

constexpr uint64_t kNoDeadline = std::numeric_limits<uint64_t>::max();

struct BaudEntry {
  uint32_t baud;
  speed_t speed;
};
constexpr std::array<BaudEntry, 31> kBauds{{
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000}, {0, B0},
}};

std::optional<speed_t> SpeedForBaud(uint32_t baud) {
  for (const auto& e : kBauds)
    if (e.baud == baud && baud != 0) return e.speed;
  return std::nullopt;
}

uint32_t BaudForSpeed(speed_t speed) {
  for (const auto& e : kBauds)
    if (e.speed == speed) return e.baud;
  return 0;
}

uint64_t SaturatingAdd(uint64_t a, uint64_t b) { return a > kNoDeadline - b ? kNoDeadline : a + b; }

// Errors that mean the device behind the descriptor has gone (unplugged, pty master closed).
bool IsGoneErrno(int err) { return err == EIO || err == ENODEV || err == ENXIO || err == EPIPE; }

uint32_t ErrorForErrno(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR:
      return kErrorFileNotFound;
    case EACCES:
    case EPERM:
    case EBUSY:
    case EWOULDBLOCK:
      return kErrorAccessDenied;
    case EBADF:
      return kErrorInvalidHandle;
    case EINVAL:
      return kErrorInvalidParameter;
    default:
      return IsGoneErrno(err) ? kErrorDeviceRemoved : kErrorGenFailure;
  }
}

// The modem-line ioctls that pseudo-terminals and some drivers do not have.
bool IsUnsupportedIoctl(int err) { return err == ENOTTY || err == EINVAL; }

class PosixSerialPort final : public SerialPort {
public:
  PosixSerialPort(Clock& clock, PortResolver resolver) : clock_(clock), resolver_(std::move(resolver)) {}
  ~PosixSerialPort() override { CloseFd(); }

  bool Open(const std::string& portName) override {
    if (fd_ >= 0) return Fail(kErrorInvalidParameter);
    std::string name = StripPortPrefix(portName);
    if (name.empty()) return Fail(kErrorFileNotFound);
    std::optional<std::string> node = resolver_ ? resolver_(name) : std::nullopt;
    if (!node || node->empty()) return Fail(kErrorFileNotFound);
    int fd = ::open(node->c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return FailErrno(errno);
    if (!::isatty(fd)) {
      ::close(fd);
      return Fail(kErrorFileNotFound);
    }
    // The lock refuses a second opener in this or any process; TIOCEXCL additionally refuses
    // openers that do not take the lock (except privileged ones, which the kernel lets through).
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      int err = errno;
      ::close(fd);
      return Fail(err == EWOULDBLOCK ? kErrorAccessDenied : ErrorForErrno(err));
    }
    ::ioctl(fd, TIOCEXCL);
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) {
      int err = errno;
      ::ioctl(fd, TIOCNXCL);
      ::close(fd);
      return FailErrno(err);
    }
    MakeRaw(tio);
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
      int err = errno;
      ::ioctl(fd, TIOCNXCL);
      ::close(fd);
      return FailErrno(err);
    }
    fd_ = fd;
    timeouts_ = {};
    shadow_ = {};
    haveCounts_ = ReadCounts(lastCounts_);
    return true;
  }

  bool IsOpen() const override { return fd_ >= 0; }

  bool GetState(CommState& state) override {
    if (fd_ < 0) return Fail(kErrorInvalidHandle);
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0) return FailErrno(errno);
    state = shadow_;
    state.baudRate = BaudForSpeed(::cfgetospeed(&tio));
    switch (tio.c_cflag & CSIZE) {
      case CS5: state.byteSize = 5; break;
      case CS6: state.byteSize = 6; break;
      case CS7: state.byteSize = 7; break;
      default: state.byteSize = 8; break;
    }
    if (!(tio.c_cflag & PARENB)) {
      state.parity = Parity::None;
    } else if (tio.c_cflag & CMSPAR) {
      state.parity = (tio.c_cflag & PARODD) ? Parity::Mark : Parity::Space;
    } else {
      state.parity = (tio.c_cflag & PARODD) ? Parity::Odd : Parity::Even;
    }
    if (!(tio.c_cflag & CSTOPB)) state.stopBits = StopBits::One;
    else if (shadow_.stopBits == StopBits::OneAndHalf) state.stopBits = StopBits::OneAndHalf;
    else state.stopBits = StopBits::Two;
    state.parityCheck = (tio.c_iflag & INPCK) != 0;
    state.outxCtsFlow = (tio.c_cflag & CRTSCTS) != 0;
    state.outX = (tio.c_iflag & IXON) != 0;
    state.inX = (tio.c_iflag & IXOFF) != 0;
    int lines = 0;
    if (::ioctl(fd_, TIOCMGET, &lines) == 0) {
      if (shadow_.dtrControl != LineControl::Handshake)
        state.dtrControl = (lines & TIOCM_DTR) ? LineControl::Enable : LineControl::Disable;
      if (!(tio.c_cflag & CRTSCTS))
        state.rtsControl = (lines & TIOCM_RTS) ? LineControl::Enable : LineControl::Disable;
    }
    if (tio.c_cflag & CRTSCTS) state.rtsControl = LineControl::Handshake;
    return true;
  }

  bool SetState(const CommState& state) override {
    if (fd_ < 0) return Fail(kErrorInvalidHandle);
    auto speed = SpeedForBaud(state.baudRate);
    if (!speed || state.byteSize < 5 || state.byteSize > 8) return Fail(kErrorInvalidParameter);
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0) return FailErrno(errno);
    MakeRaw(tio);
    ::cfsetispeed(&tio, *speed);
    ::cfsetospeed(&tio, *speed);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    static constexpr std::array<tcflag_t, 4> kSizes{CS5, CS6, CS7, CS8};
    tio.c_cflag |= kSizes[state.byteSize - 5];
    switch (state.parity) {
      case Parity::None: break;
      case Parity::Odd: tio.c_cflag |= PARENB | PARODD; break;
      case Parity::Even: tio.c_cflag |= PARENB; break;
      case Parity::Mark: tio.c_cflag |= PARENB | PARODD | CMSPAR; break;
      case Parity::Space: tio.c_cflag |= PARENB | CMSPAR; break;
    }
    if (state.stopBits != StopBits::One) tio.c_cflag |= CSTOPB;
    if (state.outxCtsFlow || state.rtsControl == LineControl::Handshake) tio.c_cflag |= CRTSCTS;
    if (state.parityCheck && state.parity != Parity::None) tio.c_iflag |= INPCK;
    if (state.outX) tio.c_iflag |= IXON;
    if (state.inX) tio.c_iflag |= IXOFF;
    if (::tcsetattr(fd_, TCSANOW, &tio) != 0) return FailErrno(errno);
    if (!SetLine(TIOCM_DTR, state.dtrControl != LineControl::Disable)) return false;
    if (state.rtsControl != LineControl::Handshake &&
        !SetLine(TIOCM_RTS, state.rtsControl == LineControl::Enable))
      return false;
    shadow_ = state;
    return true;
  }

  // Linux has no driver queue sizes to set; the call only checks its arguments.
  bool SetupQueues(uint32_t inQueue, uint32_t outQueue) override {
    if (fd_ < 0) return Fail(kErrorInvalidHandle);
    if (inQueue == 0 || outQueue == 0) return Fail(kErrorInvalidParameter);
    return true;
  }

  bool SetTimeouts(const CommTimeouts& timeouts) override {
    if (fd_ < 0) return Fail(kErrorInvalidHandle);
    timeouts_ = timeouts;
    return true;
  }

  bool Purge(uint32_t flags) override {
    if (fd_ < 0) return Fail(kErrorInvalidHandle);
    constexpr uint32_t kAll = kPurgeTxAbort | kPurgeRxAbort | kPurgeTxClear | kPurgeRxClear;
    if ((flags & ~kAll) != 0) return Fail(kErrorInvalidParameter);
    // Transfers are synchronous, so there is never a pending one to abort.
    if ((flags & kPurgeRxClear) && ::tcflush(fd_, TCIFLUSH) != 0) return FailErrno(errno);
    if ((flags & kPurgeTxClear) && ::tcflush(fd_, TCOFLUSH) != 0) return FailErrno(errno);
    return true;
  }

  bool ClearError(CommErrors& errors) override {
    if (fd_ < 0) return Fail(kErrorInvalidHandle);
    errors = {};
    int in = 0, out = 0;
    if (::ioctl(fd_, FIONREAD, &in) == 0 && in > 0) errors.inQueue = static_cast<uint32_t>(in);
    if (::ioctl(fd_, TIOCOUTQ, &out) == 0 && out > 0) errors.outQueue = static_cast<uint32_t>(out);
    serial_icounter_struct now{};
    if (haveCounts_ && ReadCounts(now)) {
      if (now.frame != lastCounts_.frame) errors.flags |= kCeFrame;
      if (now.overrun != lastCounts_.overrun) errors.flags |= kCeOverrun;
      if (now.parity != lastCounts_.parity) errors.flags |= kCeRxParity;
      if (now.brk != lastCounts_.brk) errors.flags |= kCeBreak;
      if (now.buf_overrun != lastCounts_.buf_overrun) errors.flags |= kCeRxOver;
      lastCounts_ = now;
    }
    return true;
  }

  bool Read(uint8_t* buffer, uint32_t len, uint32_t& done) override {
    done = 0;
    if (fd_ < 0) return Fail(kErrorInvalidHandle);
    if (len == 0) return true;
    if (buffer == nullptr) return Fail(kErrorInvalidParameter);
    const CommTimeouts& t = timeouts_;
    const bool intervalMax = t.readIntervalTimeout == kMaxDword;
    if (intervalMax && t.readTotalTimeoutMultiplier == 0 && t.readTotalTimeoutConstant == 0)
      return EndRead(done, ReadAvailable(buffer, len, done));
    if (intervalMax && t.readTotalTimeoutMultiplier == kMaxDword && t.readTotalTimeoutConstant > 0 &&
        t.readTotalTimeoutConstant < kMaxDword) {
      if (int err = ReadAvailable(buffer, len, done); err != 0 || done > 0) return EndRead(done, err);
      Wait w = WaitFor(POLLIN, SaturatingAdd(clock_.NowMs(), t.readTotalTimeoutConstant));
      if (w == Wait::Ready) return EndRead(done, ReadAvailable(buffer, len, done));
      return w == Wait::TimedOut;
    }
    return ReadUntil(buffer, len, done);
  }

  bool Write(const uint8_t* buffer, uint32_t len, uint32_t& done) override {
    done = 0;
    if (fd_ < 0) return Fail(kErrorInvalidHandle);
    if (len == 0) return true;
    if (buffer == nullptr) return Fail(kErrorInvalidParameter);
    const uint64_t total = static_cast<uint64_t>(timeouts_.writeTotalTimeoutMultiplier) * len +
                           timeouts_.writeTotalTimeoutConstant;
    const uint64_t deadline = total == 0 ? kNoDeadline : SaturatingAdd(clock_.NowMs(), total);
    while (done < len) {
      ssize_t n = ::write(fd_, buffer + done, len - done);
      if (n > 0) {
        done += static_cast<uint32_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n == 0) return Fail(kErrorDeviceRemoved);
      if (errno != EAGAIN) return FailErrno(errno);
      // A write time-out is not an error: the call succeeds with what went out.
      switch (WaitFor(POLLOUT, deadline)) {
        case Wait::Ready: break;
        case Wait::TimedOut: return true;
        case Wait::Failed: return false;
      }
    }
    return true;
  }

  bool Close() override {
    if (fd_ < 0) return Fail(kErrorInvalidHandle);
    CloseFd();
    return true;
  }

  uint32_t LastError() const override { return lastError_; }

private:
  enum class Wait { Ready, TimedOut, Failed };

  static void MakeRaw(termios& tio) {
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
  }

  bool SetLine(int line, bool on) {
    if (::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &line) == 0 || IsUnsupportedIoctl(errno)) return true;
    return FailErrno(errno);
  }

  bool ReadCounts(serial_icounter_struct& counts) const { return ::ioctl(fd_, TIOCGICOUNT, &counts) == 0; }

  // Reads what has arrived, up to len - done more bytes, without waiting. Returns 0, or the
  // errno that ended reading (a hang-up reads as EIO).
  int ReadAvailable(uint8_t* buffer, uint32_t len, uint32_t& done) {
    while (done < len) {
      ssize_t n = ::read(fd_, buffer + done, len - done);
      if (n > 0) {
        done += static_cast<uint32_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno == EAGAIN) return 0;
      return n == 0 ? EIO : errno;
    }
    return 0;
  }

  // Bytes that arrived before a failure are handed over first; the next read reports it.
  bool EndRead(uint32_t done, int err) { return err == 0 || done > 0 ? true : FailErrno(err); }

  // The general rule: wait for len bytes, bounded by the total time-out (when set) and by the
  // gap after the latest byte (when an interval is set).
  bool ReadUntil(uint8_t* buffer, uint32_t len, uint32_t& done) {
    const CommTimeouts& t = timeouts_;
    const uint64_t total = static_cast<uint64_t>(t.readTotalTimeoutMultiplier) * len + t.readTotalTimeoutConstant;
    const uint64_t totalDeadline = total == 0 ? kNoDeadline : SaturatingAdd(clock_.NowMs(), total);
    uint64_t lastByteAt = 0;
    while (true) {
      uint32_t before = done;
      if (int err = ReadAvailable(buffer, len, done); err != 0) return EndRead(done, err);
      if (done == len) return true;
      if (done > before) lastByteAt = clock_.NowMs();
      uint64_t deadline = totalDeadline;
      if (t.readIntervalTimeout != 0 && done > 0)
        deadline = std::min(deadline, SaturatingAdd(lastByteAt, t.readIntervalTimeout));
      switch (WaitFor(POLLIN, deadline)) {
        case Wait::Ready: break;
        case Wait::TimedOut: return true;
        case Wait::Failed: return done > 0;  // hand over what came first; the next read fails
      }
    }
  }

  // Waits until the descriptor is ready for `events` or the logical deadline has passed. A hang-up
  // with nothing left to read fails at once, so a vanished device never leaves a caller waiting.
  Wait WaitFor(short events, uint64_t deadline) {
    while (true) {
      int64_t wait = -1;
      if (deadline != kNoDeadline) {
        uint64_t now = clock_.NowMs();
        if (now >= deadline) return Wait::TimedOut;
        wait = static_cast<int64_t>(std::min<uint64_t>(deadline - now, std::numeric_limits<int32_t>::max()));
      }
      pollfd p{fd_, events, 0};
      int r = ::poll(&p, 1, RealPollMs(clock_, wait));
      if (r < 0 && errno == EINTR) continue;
      if (r < 0) {
        FailErrno(errno);
        return Wait::Failed;
      }
      if (r == 0) continue;  // the loop re-checks the logical deadline
      if (p.revents & POLLNVAL) {
        Fail(kErrorInvalidHandle);
        return Wait::Failed;
      }
      if ((p.revents & (POLLHUP | POLLERR)) && !(p.revents & events)) {
        int pending = 0;
        if (events == POLLIN && ::ioctl(fd_, FIONREAD, &pending) == 0 && pending > 0) return Wait::Ready;
        Fail(kErrorDeviceRemoved);
        return Wait::Failed;
      }
      return Wait::Ready;
    }
  }

  void CloseFd() {
    if (fd_ < 0) return;
    // The exclusive flag can outlive this descriptor on a pseudo-terminal; clear it so the next
    // opener is not refused.
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    fd_ = -1;
  }

  bool Fail(uint32_t code) {
    lastError_ = code;
    SetLastSystemError(code);
    return false;
  }
  bool FailErrno(int err) { return Fail(ErrorForErrno(err)); }

  Clock& clock_;
  PortResolver resolver_;
  int fd_ = -1;
  CommTimeouts timeouts_{};
  CommState shadow_{};
  serial_icounter_struct lastCounts_{};
  bool haveCounts_ = false;
  uint32_t lastError_ = kErrorSuccess;
};

}  // namespace

std::unique_ptr<SerialPort> CreatePosixSerialPort(Clock& clock, PortResolver resolver) {
  return std::make_unique<PosixSerialPort>(clock, std::move(resolver));
}

std::unique_ptr<SerialPort> CreateSerialPort(Clock& clock, PortResolver resolver) {
  return CreatePosixSerialPort(clock, std::move(resolver));
}

}  // namespace upwend
