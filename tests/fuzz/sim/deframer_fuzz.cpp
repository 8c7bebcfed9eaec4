// The DIAG deframer and the service behind it on arbitrary bytes: no crash, no unbounded
// growth, and every frame it accepts carries a check value that verifies.
#include <cstdlib>
#include <filesystem>
#include <string>

#include "sim/diag_engine.h"
#include "sim/hdlc.h"
#include "tests/fuzz/sim/fuzz_state.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace upwend::sim;
  HdlcDeframer d;
  std::vector<HdlcDeframer::Frame> frames;
  // Fed in two pieces, split where the first byte says, to reach the split paths too.
  size_t cut = size ? data[0] % (size + 1) : 0;
  d.Feed(data, cut, frames);
  d.Feed(data + cut, size - cut, frames);
  for (auto& f : frames) {
    if (!f.crcOk) continue;
    Bytes again = EncodeHdlc(f.payload, false);
    HdlcDeframer check;
    std::vector<HdlcDeframer::Frame> back;
    check.Feed(again.data(), again.size(), back);
    if (back.size() != 1 || back[0].payload != f.payload) std::abort();
  }
  // The DIAG service on the same bytes, as they would arrive on the port. EFS writes stay in
  // the device tree; the engine is rebuilt per input so no descriptor leaks across inputs.
  static FaultSet faults;
  DiagEngine engine(FuzzState("fuzz-diag"), faults);
  engine.Feed(data, size);
  return 0;
}
