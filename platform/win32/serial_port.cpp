// The Windows serial port: the communications functions themselves. Time-outs are handed to the
// driver as COMMTIMEOUTS (scaled to real milliseconds by the port's Clock), with two additions
// that make the port behave the same on every Windows-compatible system:
//  - the DIAG read (interval and multiplier kMaxDword, constant C) first takes what has arrived
//    (kMaxDword, 0, 0) and then waits with an interval time-out of 1 ms and a total of C, so it
//    ends right after the first bytes even where the driver lacks that special case;
//  - a read that returns short, and a write that fails, ask ClearCommError whether the device is
//    still there, so a removed device fails with kErrorDeviceRemoved instead of reading nothing
//    forever.
// A port is opened once per process (the system refuses a second opener in other processes).
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <set>

#include "platform/clock.h"
#include "platform/ini_file.h"
#include "platform/last_error.h"
#include "platform/port_names.h"
#include "platform/serial_port.h"

namespace upwend {

namespace {

constexpr DWORD kDiagGapMs = 1;

// The errors with which drivers report a device that has gone.
bool IsGoneError(DWORD code) {
  return code == ERROR_NOT_READY || code == ERROR_BAD_COMMAND || code == ERROR_DEVICE_NOT_CONNECTED ||
         code == ERROR_DEVICE_REMOVED || code == ERROR_OPERATION_ABORTED || code == ERROR_ACCESS_DENIED;
}

std::mutex gOpenMutex;
std::set<std::string>& OpenNames() {
  static auto* names = new std::set<std::string>();
  return *names;
}

BYTE ParityCode(Parity p) {
  switch (p) {
    case Parity::Odd: return ODDPARITY;
    case Parity::Even: return EVENPARITY;
    case Parity::Mark: return MARKPARITY;
    case Parity::Space: return SPACEPARITY;
    default: return NOPARITY;
  }
}

Parity ParityOf(BYTE code) {
  switch (code) {
    case ODDPARITY: return Parity::Odd;
    case EVENPARITY: return Parity::Even;
    case MARKPARITY: return Parity::Mark;
    case SPACEPARITY: return Parity::Space;
    default: return Parity::None;
  }
}

DWORD LineCode(LineControl c, DWORD enable, DWORD handshake) {
  return c == LineControl::Enable ? enable : (c == LineControl::Handshake ? handshake : 0);
}

LineControl LineOf(DWORD code, DWORD enable, DWORD handshake) {
  return code == enable ? LineControl::Enable : (code == handshake ? LineControl::Handshake : LineControl::Disable);
}

class Win32SerialPort final : public SerialPort {
public:
  explicit Win32SerialPort(Clock& clock) : clock_(clock) {}
  ~Win32SerialPort() override { CloseHandleAndName(); }

  bool Open(const std::string& portName) override {
    if (handle_ != INVALID_HANDLE_VALUE) return Fail(kErrorInvalidParameter);
    std::string name = StripPortPrefix(portName);
    if (name.empty()) return Fail(kErrorFileNotFound);
    std::string key = AsciiUpper(name);
    {
      std::lock_guard lock(gOpenMutex);
      if (OpenNames().count(key)) return Fail(kErrorAccessDenied);
    }
    HANDLE h = ::CreateFileA(("\\\\.\\" + name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                             nullptr);
    if (h == INVALID_HANDLE_VALUE) return Fail(MapOpenError(::GetLastError()));
    // A name that leads to something other than a live port (a mapping whose device is gone).
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(h, &dcb)) {
      ::CloseHandle(h);
      return Fail(kErrorFileNotFound);
    }
    {
      std::lock_guard lock(gOpenMutex);
      if (!OpenNames().insert(key).second) {
        ::CloseHandle(h);
        return Fail(kErrorAccessDenied);
      }
    }
    handle_ = h;
    name_ = key;
    shadow_ = {};
    timeouts_ = {};
    native_ = {};
    haveNative_ = false;
    // Raw binary line: no error character, no NUL stripping, no flow control until asked.
    dcb.fBinary = TRUE;
    dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = dcb.fOutX = dcb.fInX = FALSE;
    dcb.fErrorChar = dcb.fNull = dcb.fAbortOnError = FALSE;
    ::SetCommState(h, &dcb);
    return true;
  }

  bool IsOpen() const override { return handle_ != INVALID_HANDLE_VALUE; }

  bool GetState(CommState& state) override {
    if (!IsOpen()) return Fail(kErrorInvalidHandle);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(handle_, &dcb)) return FailSystem();
    state = shadow_;
    state.baudRate = dcb.BaudRate;
    state.byteSize = dcb.ByteSize;
    state.parity = ParityOf(dcb.Parity);
    state.stopBits = dcb.StopBits == TWOSTOPBITS ? StopBits::Two
                     : dcb.StopBits == ONE5STOPBITS ? StopBits::OneAndHalf
                                                    : StopBits::One;
    state.binary = dcb.fBinary;
    state.parityCheck = dcb.fParity;
    state.outxCtsFlow = dcb.fOutxCtsFlow;
    state.outxDsrFlow = dcb.fOutxDsrFlow;
    state.dtrControl = LineOf(dcb.fDtrControl, DTR_CONTROL_ENABLE, DTR_CONTROL_HANDSHAKE);
    state.rtsControl = LineOf(dcb.fRtsControl, RTS_CONTROL_ENABLE, RTS_CONTROL_HANDSHAKE);
    state.dsrSensitivity = dcb.fDsrSensitivity;
    state.txContinueOnXoff = dcb.fTXContinueOnXoff;
    state.outX = dcb.fOutX;
    state.inX = dcb.fInX;
    state.errorChar = dcb.fErrorChar;
    state.nullStrip = dcb.fNull;
    state.abortOnError = dcb.fAbortOnError;
    return true;
  }

  bool SetState(const CommState& state) override {
    if (!IsOpen()) return Fail(kErrorInvalidHandle);
    if (state.baudRate == 0 || state.byteSize < 5 || state.byteSize > 8) return Fail(kErrorInvalidParameter);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(handle_, &dcb)) return FailSystem();
    dcb.BaudRate = state.baudRate;
    dcb.ByteSize = state.byteSize;
    dcb.Parity = ParityCode(state.parity);
    dcb.StopBits = state.stopBits == StopBits::Two ? TWOSTOPBITS
                   : state.stopBits == StopBits::OneAndHalf ? ONE5STOPBITS
                                                            : ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = state.parityCheck;
    dcb.fOutxCtsFlow = state.outxCtsFlow;
    dcb.fOutxDsrFlow = state.outxDsrFlow;
    dcb.fDtrControl = LineCode(state.dtrControl, DTR_CONTROL_ENABLE, DTR_CONTROL_HANDSHAKE);
    dcb.fRtsControl = LineCode(state.rtsControl, RTS_CONTROL_ENABLE, RTS_CONTROL_HANDSHAKE);
    dcb.fDsrSensitivity = state.dsrSensitivity;
    dcb.fTXContinueOnXoff = state.txContinueOnXoff;
    dcb.fOutX = state.outX;
    dcb.fInX = state.inX;
    dcb.fErrorChar = state.errorChar;
    dcb.fNull = state.nullStrip;
    dcb.fAbortOnError = state.abortOnError;
    if (!::SetCommState(handle_, &dcb)) {
      DWORD code = ::GetLastError();
      return Fail(code == ERROR_INVALID_PARAMETER || code == ERROR_BAD_COMMAND ? static_cast<DWORD>(kErrorInvalidParameter) : code);
    }
    shadow_ = state;
    return true;
  }

  bool SetupQueues(uint32_t inQueue, uint32_t outQueue) override {
    if (!IsOpen()) return Fail(kErrorInvalidHandle);
    if (inQueue == 0 || outQueue == 0) return Fail(kErrorInvalidParameter);
    return ::SetupComm(handle_, inQueue, outQueue) ? true : FailSystem();
  }

  bool SetTimeouts(const CommTimeouts& timeouts) override {
    if (!IsOpen()) return Fail(kErrorInvalidHandle);
    timeouts_ = timeouts;
    return true;
  }

  bool Purge(uint32_t flags) override {
    if (!IsOpen()) return Fail(kErrorInvalidHandle);
    constexpr uint32_t kAll = kPurgeTxAbort | kPurgeRxAbort | kPurgeTxClear | kPurgeRxClear;
    if ((flags & ~kAll) != 0) return Fail(kErrorInvalidParameter);
    return ::PurgeComm(handle_, flags) ? true : FailSystem();
  }

  bool ClearError(CommErrors& errors) override {
    if (!IsOpen()) return Fail(kErrorInvalidHandle);
    errors = {};
    DWORD flags = 0;
    COMSTAT stat{};
    if (!::ClearCommError(handle_, &flags, &stat)) return FailSystem();
    errors.flags = flags & (kCeRxOver | kCeOverrun | kCeRxParity | kCeFrame | kCeBreak | kCeTxFull);
    errors.inQueue = stat.cbInQue;
    errors.outQueue = stat.cbOutQue;
    return true;
  }

  bool Read(uint8_t* buffer, uint32_t len, uint32_t& done) override {
    done = 0;
    if (!IsOpen()) return Fail(kErrorInvalidHandle);
    if (len == 0) return true;
    if (buffer == nullptr) return Fail(kErrorInvalidParameter);
    const CommTimeouts& t = timeouts_;
    if (t.readIntervalTimeout == kMaxDword && t.readTotalTimeoutMultiplier == kMaxDword &&
        t.readTotalTimeoutConstant > 0 && t.readTotalTimeoutConstant < kMaxDword)
      return ReadFirstBytes(buffer, len, done);
    COMMTIMEOUTS native = ScaledReadTimeouts(t);
    if (!ReadOnce(native, buffer, len, done)) return false;
    return done == len || StillThere(done);
  }

  bool Write(const uint8_t* buffer, uint32_t len, uint32_t& done) override {
    done = 0;
    if (!IsOpen()) return Fail(kErrorInvalidHandle);
    if (len == 0) return true;
    if (buffer == nullptr) return Fail(kErrorInvalidParameter);
    COMMTIMEOUTS native = native_;
    native.WriteTotalTimeoutMultiplier = RealMs(timeouts_.writeTotalTimeoutMultiplier, true);
    native.WriteTotalTimeoutConstant = RealMs(timeouts_.writeTotalTimeoutConstant, false);
    if (!Apply(native)) return false;
    DWORD n = 0;
    BOOL ok = ::WriteFile(handle_, buffer, len, &n, nullptr);
    done = n;
    if (!ok) return FailSystem();
    // A write time-out is not an error: the call succeeds with what went out. A device that is
    // gone takes nothing, and says so when asked.
    return done == len || done > 0 || StillThere(done);
  }

  bool Close() override {
    if (!IsOpen()) return Fail(kErrorInvalidHandle);
    CloseHandleAndName();
    return true;
  }

  uint32_t LastError() const override { return lastError_; }

private:
  // Logical milliseconds to the driver's real ones: kMaxDword stays, a non-zero value never
  // becomes 0 (which would mean "no time-out"). A multiplier is per byte and is not rounded
  // up to 1 unless it was set.
  DWORD RealMs(uint32_t logical, bool multiplier) const {
    if (logical == 0 || logical == kMaxDword) return logical;
    double real = std::ceil(static_cast<double>(logical) * clock_.Scale());
    if (multiplier && real < 1) return 1;
    return static_cast<DWORD>(std::clamp(real, 1.0, static_cast<double>(kMaxDword - 1)));
  }

  COMMTIMEOUTS ScaledReadTimeouts(const CommTimeouts& t) const {
    COMMTIMEOUTS n = native_;
    n.ReadIntervalTimeout = RealMs(t.readIntervalTimeout, false);
    n.ReadTotalTimeoutMultiplier = RealMs(t.readTotalTimeoutMultiplier, true);
    n.ReadTotalTimeoutConstant = RealMs(t.readTotalTimeoutConstant, false);
    return n;
  }

  bool Apply(const COMMTIMEOUTS& wanted) {
    if (haveNative_ && std::memcmp(&wanted, &native_, sizeof wanted) == 0) return true;
    if (!::SetCommTimeouts(handle_, const_cast<COMMTIMEOUTS*>(&wanted))) return FailSystem();
    native_ = wanted;
    haveNative_ = true;
    return true;
  }

  bool ReadOnce(const COMMTIMEOUTS& native, uint8_t* buffer, uint32_t len, uint32_t& done) {
    if (!Apply(native)) return false;
    DWORD n = 0;
    BOOL ok = ::ReadFile(handle_, buffer + done, len - done, &n, nullptr);
    done += n;
    if (!ok) return done > 0 ? true : FailSystem();
    return true;
  }

  // The DIAG read: what has arrived, else the first bytes within the constant.
  bool ReadFirstBytes(uint8_t* buffer, uint32_t len, uint32_t& done) {
    COMMTIMEOUTS now = native_;
    now.ReadIntervalTimeout = MAXDWORD;
    now.ReadTotalTimeoutMultiplier = 0;
    now.ReadTotalTimeoutConstant = 0;
    if (!ReadOnce(now, buffer, len, done)) return false;
    if (done > 0) return true;
    const uint64_t deadline = clock_.NowMs() + timeouts_.readTotalTimeoutConstant;
    while (true) {
      uint64_t at = clock_.NowMs();
      if (at >= deadline) return StillThere(done);
      COMMTIMEOUTS wait = native_;
      wait.ReadIntervalTimeout = kDiagGapMs;
      wait.ReadTotalTimeoutMultiplier = 0;
      wait.ReadTotalTimeoutConstant = RealMs(static_cast<uint32_t>(std::min<uint64_t>(deadline - at, kMaxDword - 1)), false);
      if (!ReadOnce(wait, buffer, len, done)) return false;
      if (done > 0) return true;
      // Nothing, and early: either the driver returned before its time (some do on a line
      // change) or the device is gone.
      if (!StillThere(done)) return false;
    }
  }

  // After a short read: true when the port still answers (the read simply timed out); false,
  // with kErrorDeviceRemoved, when the device behind it has gone. Bytes already read are handed
  // over first (true); the next call reports the removal.
  bool StillThere(uint32_t done) {
    DWORD flags = 0;
    COMSTAT stat{};
    if (::ClearCommError(handle_, &flags, &stat)) return true;
    DWORD code = ::GetLastError();
    if (done > 0) return true;
    return Fail(IsGoneError(code) ? static_cast<DWORD>(kErrorDeviceRemoved) : code);
  }

  static uint32_t MapOpenError(DWORD code) {
    switch (code) {
      case ERROR_FILE_NOT_FOUND:
      case ERROR_PATH_NOT_FOUND:
        return kErrorFileNotFound;
      case ERROR_ACCESS_DENIED:
      case ERROR_SHARING_VIOLATION:
        return kErrorAccessDenied;
      default:
        return code;
    }
  }

  void CloseHandleAndName() {
    if (handle_ == INVALID_HANDLE_VALUE) return;
    ::CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    std::lock_guard lock(gOpenMutex);
    OpenNames().erase(name_);
  }

  bool Fail(uint32_t code) {
    lastError_ = code;
    SetLastSystemError(code);
    return false;
  }
  bool FailSystem() {
    DWORD code = ::GetLastError();
    return Fail(IsGoneError(code) ? static_cast<DWORD>(kErrorDeviceRemoved) : code);
  }

  Clock& clock_;
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  std::string name_;
  CommTimeouts timeouts_{};
  COMMTIMEOUTS native_{};
  bool haveNative_ = false;
  CommState shadow_{};
  uint32_t lastError_ = kErrorSuccess;
};

}  // namespace

// Windows opens a port by its name; the resolver of other systems has nothing to add.
std::unique_ptr<SerialPort> CreateSerialPort(Clock& clock, PortResolver) {
  return std::make_unique<Win32SerialPort>(clock);
}

}  // namespace upwend
