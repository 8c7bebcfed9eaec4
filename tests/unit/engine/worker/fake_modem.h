#pragma once
// A serial port double that answers AT commands like a modem: each write is looked up by its
// text up to the first CR, and the answer is what the next read returns.
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tests/unit/engine/worker/fake_serial_port.h"

namespace upwend::testing {

class FakeModem final : public SerialPort {
public:
  bool Open(const std::string& name) override { return port.Open(name); }
  bool IsOpen() const override { return port.IsOpen(); }
  bool GetState(CommState& s) override { return port.GetState(s); }
  bool SetState(const CommState& s) override { return port.SetState(s); }
  bool SetupQueues(uint32_t a, uint32_t b) override { return port.SetupQueues(a, b); }
  bool SetTimeouts(const CommTimeouts& t) override { return port.SetTimeouts(t); }
  bool Purge(uint32_t f) override { return port.Purge(f); }
  bool ClearError(CommErrors& e) override { return port.ClearError(e); }
  bool Read(uint8_t* b, uint32_t len, uint32_t& done) override { return port.Read(b, len, done); }
  bool Write(const uint8_t* b, uint32_t len, uint32_t& done) override {
    std::string text(reinterpret_cast<const char*>(b), len);
    sent.push_back(text);
    std::string key = text.substr(0, text.find('\r'));
    std::string reply = "\r\nERROR\r\n";
    if (auto it = answers.find(key); it != answers.end()) {
      reply = it->second;
    } else if (answerWritesOk && key.find('=') != std::string::npos && key.find("=?") == std::string::npos &&
               key.find(",0,") == std::string::npos) {
      reply = "\r\nOK\r\n";
    }
    if (auto f = failTimes.find(key); f != failTimes.end() && f->second > 0) {
      --f->second;
      reply = "\r\nERROR\r\n";
    }
    port.polls.push_back(reply);
    done = len;
    return true;
  }
  bool Close() override { return port.Close(); }
  uint32_t LastError() const override { return 0; }

  // "name: value" reply of a query.
  void Answer(const std::string& command, const std::string& name, const std::string& value) {
    answers[command] = "\r\n" + name + ": " + value + "\r\n\r\nOK\r\n";
  }
  int CountSent(const std::string& prefix) const {
    int n = 0;
    for (const auto& s : sent)
      if (s.rfind(prefix, 0) == 0) ++n;
    return n;
  }

  FakeSerialPort port;
  std::map<std::string, std::string> answers;
  std::map<std::string, int> failTimes;
  bool answerWritesOk = true;
  std::vector<std::string> sent;
};

}  // namespace upwend::testing
