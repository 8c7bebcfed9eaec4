// The AT query's reply parsing and the AT probe on whatever a device may send back.
// Input: one byte choosing the command, then the device's answers, one per command written,
// separated by 0xFF bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/discovery/at_query_reply.h"
#include "app/discovery/port_discovery.h"
#include "platform/manual_clock.h"
#include "tests/unit/app/discovery/fakes.h"

namespace {

std::vector<std::string> Answers(const uint8_t* data, size_t size) {
  std::vector<std::string> out(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0xFF) {
      out.emplace_back();
    } else {
      out.back() += static_cast<char>(data[i]);
    }
  }
  return out;
}

void NoLineEnds(const std::string& value) {
  if (value.find('\r') != std::string::npos || value.find('\n') != std::string::npos) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace upwend;
  if (size == 0) return 0;
  static const char* const kCommands[] = {kAtCgmr, kAtVxtinf, kAtPmu, kAtVxtsw};
  const std::string command = kCommands[data[0] % 4];
  std::vector<std::string> answers = Answers(data + 1, size - 1);

  std::string value = "unchanged";
  AtQueryVerdict verdict = ParseAtQueryReply(command, answers.front(), value);
  if (verdict == AtQueryVerdict::kOk) {
    NoLineEnds(value);
    if (value.size() > answers.front().size()) std::abort();
  } else if (value != "unchanged") {
    std::abort();  // a failed query leaves the value as it was
  }

  // The whole probe against a device that gives these answers in turn.
  ManualClock clock;
  test::ScriptedBus ports;
  size_t next = 0;
  testing::ScriptPort(ports, "COM6", [&](const std::string&) { return next < answers.size() ? answers[next++] : std::string(); });
  testing::FakeBackend backend;
  PortDiscovery discovery(clock, &backend, [&] { return std::make_unique<test::ScriptedPort>(ports); },
                          [](const std::string&) {});
  DiscoverySettings settings;
  settings.name = (data[0] & 0x10) ? "NQ418" : "NP31";
  discovery.ProbeAtPort(settings, "COM6");
  if (ports.OpenNow() != 0 || discovery.ProbeHandleOpen()) std::abort();
  // Bounded: ATI and at most three queries of 10 polls each.
  if (clock.NowMs() > 5000) std::abort();
  DeviceIdentity id = discovery.Identity();
  NoLineEnds(id.softwareVersion);
  return 0;
}
