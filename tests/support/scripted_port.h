#pragma once
// The serial-port double of every suite. A ScriptedLine is one device's end of a serial line:
// it delivers scheduled bytes, answers expected writes with scripted replies (or hands other
// writes to a device model), can be told to refuse calls, and records what was done to it.
// A ScriptedPort is the tool's end: a SerialPort that opens a line, by name on a ScriptedBus or
// directly. Expectations left over fail the test at Verify() and when the line goes away.
//
// With a clock, reads follow the read time-out rules of the platform port, played out on that
// clock; without one, a read never waits and hands over what has arrived.
#include <cstdint>
#include <deque>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/diag/diag_transport.h"
#include "platform/clock.h"
#include "platform/serial_port.h"

namespace upwend::test {

using Bytes = std::vector<uint8_t>;

Bytes ToBytes(std::string_view text);
std::string Hex(const Bytes& bytes);

// For the failure knobs: every call fails.
constexpr int kAlways = std::numeric_limits<int>::max();

class ScriptedLine {
public:
  explicit ScriptedLine(Clock* clock = nullptr) : clock_(clock) {}
  explicit ScriptedLine(Clock& clock) : clock_(&clock) {}
  // Expected writes that never came fail the test here when Verify() was not called.
  ~ScriptedLine();
  ScriptedLine(const ScriptedLine&) = delete;
  ScriptedLine& operator=(const ScriptedLine&) = delete;

  // Bytes that arrive `delayMs` after now. An empty chunk is a read that brings nothing when
  // reads take one chunk each.
  void Arrive(const Bytes& bytes, uint64_t delayMs = 0);
  void ArriveText(std::string_view text, uint64_t delayMs = 0) { Arrive(ToBytes(text), delayMs); }
  // The next write must carry exactly `bytes`; the reply arrives `delayMs` later.
  void ExpectWrite(const Bytes& bytes, const Bytes& reply = {}, uint64_t delayMs = 0);
  // Fails the test for expected writes that never came and, when asked, bytes never read.
  void Verify(bool requireRxConsumed = true);

  // The device model: answers every write that no expectation covers (typically by Arrive).
  std::function<void(const Bytes& written)> responder;
  // A model that speaks text: its answer to each write arrives at once.
  void AnswerText(std::function<std::string(const std::string& written)> answer);

  // Knobs. The fail counts are the calls that fail before one succeeds (kAlways: all).
  int failOpens = 0;
  uint32_t openError = kErrorFileNotFound;
  int failCloses = 0;
  int failWrites = 0;
  uint32_t writeError = kErrorGenFailure;
  int failReads = 0;
  uint32_t readError = kErrorDeviceRemoved;
  bool failSetup = false;
  bool failGetState = false;
  bool failSetState = false;
  bool failTimeouts = false;
  bool strictWrites = true;     // a write that neither an expectation nor a responder takes fails the test
  bool oneChunkPerRead = false; // a read hands over one arrived chunk at most
  uint32_t readLimit = 0;       // bytes a read hands over at most (0: no limit)
  uint32_t errorFlags = 0;      // handed out (and cleared) by the next ClearError

  // Records.
  std::string name;  // the name the bus knows the line by
  bool open = false;
  int opens = 0;
  int closes = 0;
  int reads = 0;
  std::vector<std::string> log;  // "open NAME", "queues I O", "state", "timeouts", "purge F", "write N", "close"
  std::vector<Bytes> written;
  std::vector<std::string> writtenText;  // the same writes as text
  std::vector<uint32_t> readSizes;       // what each read call asked for
  CommState state;
  CommTimeouts timeouts;
  uint32_t inQueue = 0;
  uint32_t outQueue = 0;

  // Used by the port objects.
  bool Read(uint8_t* buffer, uint32_t len, uint32_t& done);
  void Write(const uint8_t* buffer, uint32_t len);
  void Purge(uint32_t flags);
  // Bytes scheduled and not read yet; ArrivedBytes: those of them that have arrived by now.
  size_t Pending() const;
  size_t ArrivedBytes() const;

private:
  struct Chunk {
    uint64_t atMs;
    Bytes bytes;
    size_t taken = 0;
  };
  struct Expected {
    Bytes bytes;
    Bytes reply;
    uint64_t delayMs;
  };
  uint64_t Now() const { return clock_ ? clock_->NowMs() : 0; }
  void SleepUntil(uint64_t atMs);
  uint32_t TakeArrived(uint8_t* buffer, uint32_t len);
  bool NextArrival(uint64_t& atMs) const;
  void WaitWithTimeouts(uint8_t* buffer, uint32_t len, uint32_t& done);

  Clock* clock_;
  std::deque<Chunk> rx_;
  std::deque<Expected> expected_;
  bool verified_ = false;
};

class ScriptedBus;

// The tool's end of a line. A port made by a bus opens lines by name; a port made for one line
// opens that line whatever the name.
class ScriptedPort final : public SerialPort {
public:
  explicit ScriptedPort(ScriptedBus& bus) : bus_(&bus) {}
  explicit ScriptedPort(ScriptedLine& line) : only_(&line) {}
  ~ScriptedPort() override;

  bool Open(const std::string& portName) override;
  bool IsOpen() const override { return line_ != nullptr; }
  bool GetState(CommState& state) override;
  bool SetState(const CommState& state) override;
  bool SetupQueues(uint32_t in, uint32_t out) override;
  bool SetTimeouts(const CommTimeouts& t) override;
  bool Purge(uint32_t flags) override;
  bool ClearError(CommErrors& errors) override;
  bool Read(uint8_t* buffer, uint32_t len, uint32_t& done) override;
  bool Write(const uint8_t* buffer, uint32_t len, uint32_t& done) override;
  bool Close() override;
  uint32_t LastError() const override { return lastError_; }

private:
  bool Fail(uint32_t code) {
    lastError_ = code;
    return false;
  }
  static bool Take(int& failures) {
    if (failures <= 0) return false;
    if (failures != kAlways) --failures;
    return true;
  }
  ScriptedBus* bus_ = nullptr;
  ScriptedLine* only_ = nullptr;
  ScriptedLine* line_ = nullptr;
  uint32_t lastError_ = 0;
};

class ScriptedBus {
public:
  explicit ScriptedBus(Clock* clock = nullptr) : clock_(clock) {}
  explicit ScriptedBus(Clock& clock) : clock_(&clock) {}
  // The line behind a port name, with or without the "\\.\" prefix ("COM5", "\\.\COM12").
  ScriptedLine& Line(const std::string& portName);
  // The line behind a name, or null: opening a name nobody set up fails as a missing device.
  ScriptedLine* Find(const std::string& portName);
  SerialPortFactory Factory();
  void Verify();
  // Opens not matched by a Close (a port destroyed while open still counts).
  int OpenNow() const;

  // Records across lines.
  std::vector<std::string> opened;  // every Open() call's name, as given
  std::vector<std::string> writes;  // "COM5:ATI\r\n", in the order they came

private:
  Clock* clock_;
  std::map<std::string, std::unique_ptr<ScriptedLine>> lines_;
};

}  // namespace upwend::test
