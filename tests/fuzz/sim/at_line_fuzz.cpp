// The AT line parser and interpreter on arbitrary bytes: no crash, every line ends in an
// answer that is OK or ERROR, and the echo stays bounded.
#include <cstdlib>
#include <string>

#include "sim/at_engine.h"
#include "tests/fuzz/sim/fuzz_state.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace upwend::sim;
  std::string line(reinterpret_cast<const char*>(data), size);
  AtCommand c = ParseAtLine(line);
  if (c.form != AtCommand::Form::Invalid && c.upperLine.compare(0, 2, "AT") != 0) std::abort();

  static FaultSet faults;
  AtEngine engine(FuzzState("fuzz-at"), faults);
  size_t out = 0;
  for (auto& o : engine.Feed(data, size)) {
    out += o.bytes.size();
    // A reboot request is only ever the answer to the one command that asks for it.
    if (o.action == DeviceAction::RebootBootloader && o.bytes != "\r\nOK\r\n") std::abort();
  }
  if (out > 64 * size + 4096) std::abort();
  return 0;
}
