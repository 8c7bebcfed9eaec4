#pragma once
// A serial port double: records every write and hands out scripted reads, one per Read call.
#include <deque>
#include <string>
#include <vector>

#include "platform/serial_port.h"

namespace upwend::testing {

class FakeSerialPort final : public SerialPort {
public:
  bool Open(const std::string&) override { return open = true; }
  bool IsOpen() const override { return open; }
  bool GetState(CommState& s) override {
    s = state;
    return true;
  }
  bool SetState(const CommState& s) override {
    state = s;
    return true;
  }
  bool SetupQueues(uint32_t, uint32_t) override { return true; }
  bool SetTimeouts(const CommTimeouts&) override { return true; }
  bool Purge(uint32_t) override { return true; }
  bool ClearError(CommErrors& e) override {
    e = {};
    return true;
  }
  bool Read(uint8_t* buffer, uint32_t len, uint32_t& done) override {
    ++reads;
    done = 0;
    if (failReads) return false;
    if (polls.empty()) return true;
    std::string chunk = polls.front();
    polls.pop_front();
    done = static_cast<uint32_t>(std::min<size_t>(chunk.size(), len));
    chunk.copy(reinterpret_cast<char*>(buffer), done);
    return true;
  }
  bool Write(const uint8_t* buffer, uint32_t len, uint32_t& done) override {
    if (failWrites) {
      done = 0;
      return false;
    }
    writes.emplace_back(reinterpret_cast<const char*>(buffer), len);
    done = len;
    if (!replyToWrite.empty()) polls.push_back(replyToWrite);
    return true;
  }
  bool Close() override {
    open = false;
    return true;
  }
  uint32_t LastError() const override { return 0; }

  bool open = true;
  bool failReads = false;
  bool failWrites = false;
  CommState state;
  std::deque<std::string> polls;  // one entry per Read call; an empty queue reads nothing
  std::string replyToWrite;       // queued as the next poll after every write
  std::vector<std::string> writes;
  int reads = 0;
};

}  // namespace upwend::testing
