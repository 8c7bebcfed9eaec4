#pragma once
// A serial port with the semantics of the Windows communications functions the tool was built
// around: open by port name ("COM9", "\\.\COM12"), line state, driver queue sizes,
// COMMTIMEOUTS-style read and write time-outs, purge, error flags, read, write, close.
// The POSIX implementation maps port names to device nodes through a PortResolver and emulates
// the read time-out rules exactly (see SerialTimeouts).
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace upwend {

class Clock;

constexpr uint32_t kMaxDword = 0xFFFFFFFFu;

enum class Parity : uint8_t { None, Odd, Even, Mark, Space };
enum class StopBits : uint8_t { One, OneAndHalf, Two };
enum class LineControl : uint8_t { Disable, Enable, Handshake };

// The line state (a DCB). Fields keep the values the port reports unless a caller sets them.
struct CommState {
  uint32_t baudRate = 9600;
  uint8_t byteSize = 8;
  Parity parity = Parity::None;
  StopBits stopBits = StopBits::One;
  bool binary = true;
  bool parityCheck = false;
  bool outxCtsFlow = false;
  bool outxDsrFlow = false;
  LineControl dtrControl = LineControl::Disable;
  LineControl rtsControl = LineControl::Disable;
  bool dsrSensitivity = false;
  bool txContinueOnXoff = false;
  bool outX = false;
  bool inX = false;
  bool errorChar = false;
  bool nullStrip = false;
  bool abortOnError = false;
};

// COMMTIMEOUTS, in milliseconds (logical: the port scales them by its Clock).
//  - interval kMaxDword, multiplier 0, constant 0: a read returns at once with what has arrived.
//  - interval kMaxDword, multiplier kMaxDword, constant C (0 < C < kMaxDword): a read returns at
//    once with what has arrived; when nothing has, it waits up to C for the first byte and
//    returns as soon as any arrive.
//  - otherwise: a read waits until `len` bytes have arrived, the total time-out
//    (multiplier * len + constant, when either is non-zero) runs out, or the gap between two
//    bytes exceeds the interval (when non-zero).
//  - write total: multiplier * len + constant (0 and 0: no limit).
struct CommTimeouts {
  uint32_t readIntervalTimeout = 0;
  uint32_t readTotalTimeoutMultiplier = 0;
  uint32_t readTotalTimeoutConstant = 0;
  uint32_t writeTotalTimeoutMultiplier = 0;
  uint32_t writeTotalTimeoutConstant = 0;
};

// PurgeComm flags.
enum PurgeFlags : uint32_t {
  kPurgeTxAbort = 0x0001,
  kPurgeRxAbort = 0x0002,
  kPurgeTxClear = 0x0004,
  kPurgeRxClear = 0x0008,
};

// ClearCommError results: error flags (CE_*) and the queue status.
enum CommErrorFlags : uint32_t {
  kCeRxOver = 0x0001,
  kCeOverrun = 0x0002,
  kCeRxParity = 0x0004,
  kCeFrame = 0x0008,
  kCeBreak = 0x0010,
  kCeTxFull = 0x0100,
};
struct CommErrors {
  uint32_t flags = 0;
  uint32_t inQueue = 0;
  uint32_t outQueue = 0;
};

// System error codes reported through LastError(), with the Windows values the logs show.
enum SerialError : uint32_t {
  kErrorSuccess = 0,
  kErrorFileNotFound = 2,
  kErrorAccessDenied = 5,
  kErrorInvalidHandle = 6,
  kErrorGenFailure = 31,
  kErrorInvalidParameter = 87,
  kErrorDeviceRemoved = 1617,
};

class SerialPort {
public:
  virtual ~SerialPort() = default;
  // Opens a port by name ("COM9" or "\\.\COM12"), exclusively: a port that another opener
  // holds is refused with kErrorAccessDenied.
  virtual bool Open(const std::string& portName) = 0;
  virtual bool IsOpen() const = 0;
  virtual bool GetState(CommState& state) = 0;
  virtual bool SetState(const CommState& state) = 0;
  // SetupComm: driver queue sizes where the OS has them.
  virtual bool SetupQueues(uint32_t inQueue, uint32_t outQueue) = 0;
  virtual bool SetTimeouts(const CommTimeouts& timeouts) = 0;
  virtual bool Purge(uint32_t flags) = 0;
  virtual bool ClearError(CommErrors& errors) = 0;
  // ClearError for a caller that needs only the error flags: where the queue counts cost system
  // calls of their own (POSIX), they are not fetched. Same failures as ClearError.
  virtual bool ClearErrorFlags(uint32_t& flags) {
    CommErrors errors;
    if (!ClearError(errors)) return false;
    flags = errors.flags;
    return true;
  }
  // Blocking, bounded by the time-outs; `done` is what was transferred (possibly less than len).
  virtual bool Read(uint8_t* buffer, uint32_t len, uint32_t& done) = 0;
  virtual bool Write(const uint8_t* buffer, uint32_t len, uint32_t& done) = 0;
  virtual bool Close() = 0;
  // The system error of the last failed call (a SerialError value).
  virtual uint32_t LastError() const = 0;
};

// Maps a port name without the "\\.\" prefix ("COM12") to a device node ("/dev/ttyUSB0").
using PortResolver = std::function<std::optional<std::string>(const std::string& portName)>;

// The POSIX serial port (termios + poll) on `clock`, resolving names through `resolver`.
std::unique_ptr<SerialPort> CreatePosixSerialPort(Clock& clock, PortResolver resolver);

// The system's serial port: the POSIX one on Linux; on Windows the communications functions,
// which open a port by its name (the resolver is not needed there).
std::unique_ptr<SerialPort> CreateSerialPort(Clock& clock, PortResolver resolver);

}  // namespace upwend
