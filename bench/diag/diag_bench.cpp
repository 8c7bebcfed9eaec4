// Throughput of DIAG framing (escape + check value into the transmit buffer) and deframing
// (state machine + unescape + check value into the receive buffer), beside a plain memcpy of
// the same payload bytes in the same run. Byte-wise paths are the ones the receive procedures
// take per byte read; block paths are what a bulk caller gets.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "engine/diag/crc16_x25.h"
#include "engine/diag/diag_deframer.h"
#include "engine/diag/diag_tx_frame.h"
#include "diag_wire.h"

namespace upwend {
namespace {

using bench::DiagPayload;

void BM_Memcpy(benchmark::State& state) {
  auto payload = DiagPayload();
  std::vector<uint8_t> out(payload.size());
  for (auto _ : state) {
    std::memcpy(out.data(), payload.data(), payload.size());
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * payload.size()));
}

void BM_Crc16(benchmark::State& state) {
  auto payload = DiagPayload();
  for (auto _ : state) benchmark::DoNotOptimize(Crc16X25(payload.data(), payload.size()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * payload.size()));
}

// Frames the payload once per iteration; `append(frame, payload)` hands it the bytes.
template <typename Append>
void FrameEach(benchmark::State& state, Append append) {
  auto payload = DiagPayload();
  auto tx = std::make_unique<DiagTxFrame>();
  for (auto _ : state) {
    tx->Begin();
    append(*tx, payload);
    tx->Finish();
    benchmark::DoNotOptimize(tx->data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * payload.size()));
}

void BM_FrameBytewise(benchmark::State& state) {
  FrameEach(state, [](DiagTxFrame& tx, const std::vector<uint8_t>& payload) {
    for (uint8_t b : payload) tx.Append(b);
  });
}

void BM_FrameBlock(benchmark::State& state) {
  FrameEach(state, [](DiagTxFrame& tx, const std::vector<uint8_t>& payload) {
    tx.Append(std::span<const uint8_t>(payload));
  });
}

void BM_DeframeBytewise(benchmark::State& state) {
  bench::DeframeEach(state, DiagDeframer::Hunt::kNeedFlag, [](DiagDeframer& d, const std::vector<uint8_t>& wire) {
    DiagDeframer::Event e = DiagDeframer::Event::kMore;
    for (uint8_t b : wire) e = d.Feed(b);
    return e;
  });
}

void BM_DeframeBlock(benchmark::State& state) {
  bench::DeframeEach(state, DiagDeframer::Hunt::kNeedFlag, bench::FeedWholeBlock);
}

BENCHMARK(BM_Memcpy);
BENCHMARK(BM_Crc16);
BENCHMARK(BM_FrameBytewise);
BENCHMARK(BM_FrameBlock);
BENCHMARK(BM_DeframeBytewise);
BENCHMARK(BM_DeframeBlock);

}  // namespace
}  // namespace upwend

BENCHMARK_MAIN();
