// The AT line parser and interpreter on arbitrary bytes: no crash, every line ends in an
// answer that is OK or ERROR, and the echo stays bounded.
#include <cstdlib>
#include <string>

#include <unistd.h>

#include "sim/at_engine.h"

namespace {

upwend::sim::StateStore& State() {
  static upwend::sim::StateStore* state = [] {
    auto* s = new upwend::sim::StateStore;
    const char* home = std::getenv("UPWEND_HOME");
    std::string dir = std::string(home ? home : "/tmp") + "/fuzz-at-" + std::to_string(getpid());
    std::string error;
    if (!s->Open(dir, 1, error)) std::abort();
    return s;
  }();
  return *state;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace upwend::sim;
  std::string line(reinterpret_cast<const char*>(data), size);
  AtCommand c = ParseAtLine(line);
  if (c.form != AtCommand::Form::Invalid && c.upperLine.compare(0, 2, "AT") != 0) std::abort();

  static FaultSet faults;
  AtEngine engine(State(), faults);
  size_t out = 0;
  for (auto& o : engine.Feed(data, size)) {
    out += o.bytes.size();
    // A reboot request is only ever the answer to the one command that asks for it.
    if (o.action == DeviceAction::RebootBootloader && o.bytes != "\r\nOK\r\n") std::abort();
  }
  if (out > 64 * size + 4096) std::abort();
  return 0;
}
