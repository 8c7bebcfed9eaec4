#pragma once
// A device that answers AT commands like a modem, on a scripted line: each write is looked up
// by its text up to the first CR, and the answer is what the next read returns.
#include <map>
#include <string>
#include <vector>

#include "tests/support/scripted_port.h"

namespace upwend::testing {

class FakeModem {
public:
  FakeModem() {
    line.oneChunkPerRead = true;
    line.responder = [this](const test::Bytes& written) { line.ArriveText(Reply(std::string(written.begin(), written.end()))); };
    port.Open("COM6");
  }

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

  test::ScriptedLine line;
  test::ScriptedPort port{line};
  std::map<std::string, std::string> answers;
  std::map<std::string, int> failTimes;
  bool answerWritesOk = true;
  std::vector<std::string> sent;

private:
  std::string Reply(const std::string& text) {
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
    return reply;
  }
};

}  // namespace upwend::testing
