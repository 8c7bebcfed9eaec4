#pragma once
// The worker's two serial ports: the DIAG port (framed binary requests) and the AT port (AT
// text). Opening and configuring them, the raw DIAG write and read with their retry rules and
// warning lines, the error-flag checks made around framed exchanges, and closing with retries.
// A port that is not open behaves as an invalid handle would: every call on it fails with
// kErrorInvalidHandle.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/diag/diag_read_ahead.h"
#include "platform/serial_port.h"

namespace upwend {

class WorkerContext;

// Makes a fresh, unopened port object; the worker plugs in the platform port, tests a fake.
using SerialPortFactory = std::function<std::unique_ptr<SerialPort>()>;

// The run parameters the transport works from. The port numbers are the worker's `ComPort`
// and `SerialComPort`. Port re-discovery changes them in the worker's run parameters, so where
// `portNumbers` is set the transport takes them from there before every open: a port reopened
// after the device came back renumbered is the new one, whoever opens it.
struct TransportConfig {
  int comPort = 0;
  int serialComPort = 0;
  std::function<void(int& comPort, int& serialComPort)> portNumbers;
  int projectType = 0;
  bool fastSpeedDownload = false;  // bFastSpeedDownload
  int blockSize = 1024;            // m_nBlockSize: the DIAG queue size in fast download mode
};

enum class PortKind { kDiag, kAt };

class DiagTransport {
public:
  static constexpr size_t kScratchSize = 8192;
  static constexpr uint32_t kDefaultQueueSize = 4096;
  static constexpr int kWriteCalls = 6;
  static constexpr uint64_t kWriteRetrySleepMs = 1000;
  static constexpr uint64_t kReadFailSleepMs = 500;
  static constexpr int kCloseAttempts = 10;
  static constexpr uint64_t kCloseRetrySleepMs = 100;

  DiagTransport(WorkerContext& worker, SerialPortFactory factory);
  ~DiagTransport();
  DiagTransport(const DiagTransport&) = delete;
  DiagTransport& operator=(const DiagTransport&) = delete;

  TransportConfig& config() { return config_; }
  const TransportConfig& config() const { return config_; }

  bool OpenDiagPort();
  void ConfigureDiagPort();
  bool OpenAtPort();
  bool ReopenAtPortQuietly();

  // Count bytes in one write call, retried (6 calls, 1 in fast download mode); returns the
  // number written, 0 after failures. Also the last write count.
  int WriteDiag(const uint8_t* bytes, uint32_t count);
  // One read of up to count bytes; 0 on time-out or failure. Also the last read count. Bytes
  // already read ahead are handed out first, at once.
  int ReadDiag(uint8_t* buffer, uint32_t count);
  // The byte-wise receives' read: one wait for bytes, with the time-outs of a one-byte ReadDiag
  // (warning and pause on failure included), filling the read-ahead area. The bytes are then
  // taken from diagReadAhead(). True when at least one byte is there.
  bool FillDiagReadAhead();
  DiagReadAhead& diagReadAhead() { return readAhead_; }
  // Fetch and clear the DIAG port's error flags, reporting them when set; returns the flags.
  uint32_t CheckOutQueue();
  uint32_t CheckInQueue();
  bool PurgeDiag(uint32_t flags);

  // Up to 10 close attempts, 100 ms apart, warningText reported after each failed one. A port
  // that is not open is left alone silently; one that cannot be closed stays as it was.
  void CloseWithRetries(PortKind kind, const std::string& warningText);
  void CloseDiagPort(const std::string& warningText) { CloseWithRetries(PortKind::kDiag, warningText); }
  void CloseAtPort(const std::string& warningText) { CloseWithRetries(PortKind::kAt, warningText); }
  // One close attempt of the AT port; on success it is not open any more.
  void CloseAtPortOnce();

  // The DIAG port number the next open uses.
  int CurrentComPort();

  bool DiagOpen() const { return diag_ != nullptr; }
  // The DIAG port's device is gone (unplugged, node vanished): every later read and write on
  // the handle fails at once, without waits or retries, until the port is opened again.
  bool DiagLost() const { return diagLost_; }
  bool AtOpen() const { return at_ != nullptr; }
  // Start of a run: last counts cleared, both ports not open.
  void ResetForRun();
  // After every raised error the worker clears the DIAG port's error flags.
  void ClearDiagErrors();

  // Raw AT port access for the AT channel; fails as an invalid handle when the port is not open.
  bool WriteAt(const uint8_t* bytes, uint32_t count, uint32_t& done);
  bool ReadAt(uint8_t* buffer, uint32_t count, uint32_t& done);
  // The open AT port, or null (the window's version query runs on it).
  SerialPort* atPort() { return at_.get(); }

  uint8_t* scratch() { return scratch_.data(); }
  uint32_t lastReadCount() const { return lastReadCount_; }
  uint32_t lastWriteCount() const { return lastWriteCount_; }
  void setLastWriteCount(uint32_t count) { lastWriteCount_ = count; }

  // The DIAG time-outs by project type, and the AT time-outs.
  static CommTimeouts DiagTimeouts(int projectType);
  static CommTimeouts AtTimeouts();
  static void ApplyDiagLineSettings(CommState& state);
  static void ApplyAtLineSettings(CommState& state);
  // "COM" + n, prefixed with "\\.\" from 10 on.
  static std::string DeviceName(int portNumber);

private:
  std::unique_ptr<SerialPort> OpenPort(int portNumber);
  void RefreshPortNumbers();
  bool ConfigureAtPort();
  bool OpenAt(bool quiet);
  void Drop(std::unique_ptr<SerialPort>& port);
  void ForgetDiagReads();
  uint32_t CheckErrors(const char* warning);
  // After a failed DIAG call: true (and the loss raised once) when the device has gone.
  bool NoteLoss(uint32_t code);

  WorkerContext& worker_;
  SerialPortFactory factory_;
  TransportConfig config_;
  std::unique_ptr<SerialPort> diag_;
  std::unique_ptr<SerialPort> at_;
  DiagReadAhead readAhead_;
  // Bytes per fill: large only under the time-outs that return with what has arrived; the
  // others wait for every byte asked for, so they keep reading one byte at a time.
  uint32_t fillSize_ = 1;
  bool diagLost_ = false;
  uint32_t lastReadCount_ = 0;
  uint32_t lastWriteCount_ = 0;
  std::array<uint8_t, kScratchSize> scratch_{};
};

}  // namespace upwend
