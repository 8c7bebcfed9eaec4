// The receive procedure itself (ReceiveFrame through the DIAG transport) on a scripted line that
// gets one 4094-byte reply before each receive: with the port handing over all it has per read, as a serial
// driver does, beside a port that hands over one byte per read (what a read call per byte
// costs), and beside the deframer alone on the same bytes (the ceiling).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "bench/support/bench_context.h"
#include "engine/diag/diag_deframer.h"
#include "engine/diag/diag_framing.h"
#include "engine/diag/diag_transport.h"
#include "diag_wire.h"
#include "platform/manual_clock.h"
#include "tests/support/scripted_port.h"

namespace upwend {
namespace {

constexpr size_t kPayload = bench::kDiagPayload;

std::vector<uint8_t> Wire() { return bench::DiagWire(bench::DiagPayload()); }

void ReceiveFrames(benchmark::State& state, uint32_t perRead) {
  const auto wire = Wire();
  ManualClock clock;
  bench::PrintingContext worker(clock);
  test::ScriptedLine line(clock);
  line.readLimit = perRead;
  DiagTransport transport(worker, [&] { return std::make_unique<test::ScriptedPort>(line); });
  transport.config().comPort = 3;
  transport.OpenDiagPort();
  auto framing = std::make_unique<DiagFraming>(worker, transport);
  for (auto _ : state) {
    line.Arrive(wire);
    if (framing->ReceiveFrame() != static_cast<int16_t>(kPayload + 2)) state.SkipWithError("frame not good");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kPayload));
}

void BM_ReceiveFrameLargeReads(benchmark::State& state) { ReceiveFrames(state, 1u << 20); }
void BM_ReceiveFrameOneByteReads(benchmark::State& state) { ReceiveFrames(state, 1); }

void BM_DeframerAlone(benchmark::State& state) {
  bench::DeframeEach(state, DiagDeframer::Hunt::kAnyByte, bench::FeedWholeBlock);
}

BENCHMARK(BM_ReceiveFrameLargeReads);
BENCHMARK(BM_ReceiveFrameOneByteReads);
BENCHMARK(BM_DeframerAlone);

}  // namespace
}  // namespace upwend
