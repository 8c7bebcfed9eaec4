#pragma once
// A scripted DIAG device for the NV and QMSL tests: its own HDLC framing (a bitwise CRC, not
// the engine's table), NV items with per-item statuses, a small EFS, and a SerialPort face that
// answers each request frame as soon as it is written.
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/serial_port.h"

namespace upwend::testing {

using Bytes = std::vector<uint8_t>;

uint16_t ReferenceCrc(const uint8_t* data, size_t size);
// payload + check value, escaped, then the flag.
Bytes ReferenceFrame(const Bytes& payload);

// Splits a byte stream into frame payloads whose check value is right; others are dropped.
class ReferenceDeframer {
public:
  std::vector<Bytes> Feed(const uint8_t* data, size_t size);

private:
  Bytes current_;
  bool escape_ = false;
};

class FakeDiagDevice {
public:
  using Item = std::array<uint8_t, 128>;

  // Returns the reply payload, or nothing (a silent device, an unknown request).
  std::optional<Bytes> Handle(const Bytes& request);

  std::mutex mutex;
  std::map<uint16_t, Item> items;          // items the device has (active)
  std::map<uint16_t, uint16_t> statusFor;  // forced status for an id (read and write)
  std::map<std::string, Bytes> files;      // EFS files by path as given
  bool silent = false;
  bool answerVersion = true;
  int nvReads = 0;
  int nvWrites = 0;
  int requests = 0;
  std::vector<uint16_t> writtenIds;
  std::vector<Bytes> nvWriteRequests;
  std::function<void(int writeCount)> onNvWrite;  // runs after each NV write request
  std::function<void(Bytes& reply)> mangle;       // changes a reply before it is sent

  // The calibration items a flash resets: every item's data zeroed, every EFS file removed.
  void Flash();

private:
  Bytes Nv(const Bytes& request);
  Bytes Efs(const Bytes& request);
  std::map<int32_t, std::pair<std::string, bool>> open_;  // fd -> path, writable
  int32_t nextFd_ = 3;
};

// The device behind a serial port: every frame written is answered at once.
class FakeDiagPort final : public SerialPort {
public:
  explicit FakeDiagPort(FakeDiagDevice& device) : device_(device) {}
  bool Open(const std::string&) override { return open_ = true; }
  bool IsOpen() const override { return open_; }
  bool GetState(CommState& s) override { return (s = {}, true); }
  bool SetState(const CommState&) override { return true; }
  bool SetupQueues(uint32_t, uint32_t) override { return true; }
  bool SetTimeouts(const CommTimeouts&) override { return true; }
  bool Purge(uint32_t flags) override;
  bool ClearError(CommErrors& e) override { return (e = {}, true); }
  bool Read(uint8_t* buffer, uint32_t len, uint32_t& done) override;
  bool Write(const uint8_t* buffer, uint32_t len, uint32_t& done) override;
  bool Close() override { return (open_ = false, true); }
  uint32_t LastError() const override { return 0; }

  uint64_t replyNanos = 0;  // time spent building replies (the device's share)

private:
  FakeDiagDevice& device_;
  ReferenceDeframer deframer_;
  std::deque<uint8_t> pending_;
  bool open_ = false;
};

}  // namespace upwend::testing
