#pragma once
// A scripted serial line for the transport and framing tests. A FakeBus maps port names to
// lines; the factory it hands out makes port objects that open lines by name. A line records
// what was done to it, delivers scheduled bytes by the clock with the read time-out rules of
// the platform port, answers expected writes with scripted replies, and can be told to refuse
// calls. Verify() fails the test when expected writes or scheduled bytes are left over.
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/diag/diag_transport.h"
#include "platform/clock.h"
#include "platform/serial_port.h"

namespace upwend::test {

using Bytes = std::vector<uint8_t>;

// A whole frame on the wire: leading flag (optional), escaped content + check value, flag.
Bytes Frame(const Bytes& payload, bool leadingFlag = true);
// Content with a deliberately wrong check value.
Bytes FrameBadCheck(const Bytes& payload);
std::string Hex(const Bytes& bytes);

class FakeLine {
public:
  explicit FakeLine(Clock& clock) : clock_(clock) {}

  // Scheduled bytes, arriving `delayMs` after now (or after the previous Arrive's moment when
  // chained with `afterPrevious`).
  void Arrive(const Bytes& bytes, uint64_t delayMs = 0);
  // The next write must carry exactly `bytes`; the reply arrives `delayMs` later.
  void ExpectWrite(const Bytes& bytes, const Bytes& reply = {}, uint64_t delayMs = 0);
  void Verify(bool requireRxConsumed = true) const;

  // Knobs.
  int failOpens = 0;
  uint32_t openError = kErrorFileNotFound;
  int failCloses = 0;
  int failWrites = 0;
  uint32_t writeError = kErrorGenFailure;
  int failReads = 0;
  uint32_t readError = kErrorDeviceRemoved;
  bool failSetup = false;
  bool failSetState = false;
  bool failTimeouts = false;
  bool strictWrites = true;  // writes without an expectation fail the test
  uint32_t errorFlags = 0;   // handed out (and cleared) by the next ClearError

  // Records.
  bool open = false;
  int opens = 0;
  int closes = 0;
  std::vector<std::string> log;  // "open NAME", "queues I O", "state", "timeouts", "purge F", "write N", "close"
  std::vector<Bytes> written;
  std::vector<uint32_t> readSizes;  // what each read call asked for
  CommState state;
  CommTimeouts timeouts;
  uint32_t inQueue = 0;
  uint32_t outQueue = 0;

  // Used by the port objects.
  bool Read(uint8_t* buffer, uint32_t len, uint32_t& done);
  bool Write(const uint8_t* buffer, uint32_t len, uint32_t& done);
  void Purge(uint32_t flags);
  size_t Pending() const;

private:
  struct Chunk {
    uint64_t atMs;
    Bytes bytes;
  };
  struct Expected {
    Bytes bytes;
    Bytes reply;
    uint64_t delayMs;
  };
  size_t TakeArrived(uint8_t* buffer, uint32_t len);
  bool NextArrival(uint64_t& atMs) const;

  Clock& clock_;
  std::deque<Chunk> rx_;
  std::deque<Expected> expected_;
};

class FakeBus {
public:
  explicit FakeBus(Clock& clock) : clock_(clock) {}
  // The line behind a port name as the tool opens it ("COM5", "\\.\COM12").
  FakeLine& Line(const std::string& deviceName);
  // The line behind a name, or null: opening a name nobody set up fails as a missing device.
  FakeLine* Find(const std::string& deviceName);
  SerialPortFactory Factory();
  void Verify() const;

private:
  Clock& clock_;
  std::map<std::string, std::unique_ptr<FakeLine>> lines_;
};

}  // namespace upwend::test
