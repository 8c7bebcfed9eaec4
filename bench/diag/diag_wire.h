#pragma once
// The reply both DIAG benchmarks feed: 4094 random payload bytes (about one in 128 a flag or
// escape byte), the largest the receive buffer holds, framed with a leading flag; and the loop
// that deframes it.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <span>
#include <vector>

#include "engine/diag/diag_deframer.h"
#include "engine/diag/diag_tx_frame.h"

namespace upwend::bench {

inline constexpr size_t kDiagPayload = 4094;

inline std::vector<uint8_t> DiagPayload() {
  std::mt19937 rng(42);
  std::vector<uint8_t> p(kDiagPayload);
  for (auto& b : p) b = static_cast<uint8_t>(rng());
  return p;
}

inline std::vector<uint8_t> DiagWire(const std::vector<uint8_t>& payload) {
  auto tx = std::make_unique<DiagTxFrame>();
  tx->Begin();
  tx->Append(std::span<const uint8_t>(payload));
  tx->Finish();
  std::vector<uint8_t> wire{kHdlcFlag};
  auto w = tx->Wire();
  wire.insert(wire.end(), w.begin(), w.end());
  return wire;
}

// Deframes the reply once per iteration, starting in `hunt`; `feed(deframer, wire)` hands it the
// bytes and returns the last event, which must be a good frame.
template <typename Feed>
void DeframeEach(benchmark::State& state, DiagDeframer::Hunt hunt, Feed feed) {
  const auto wire = DiagWire(DiagPayload());
  auto buffer = std::make_unique<DiagDeframer::Buffer>();
  DiagDeframer d(*buffer);
  for (auto _ : state) {
    d.Reset(hunt);
    if (feed(d, wire) != DiagDeframer::Event::kGood) state.SkipWithError("frame not good");
    benchmark::DoNotOptimize(buffer->data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kDiagPayload));
}

// The whole reply in one call, as a bulk caller hands it over.
inline DiagDeframer::Event FeedWholeBlock(DiagDeframer& d, const std::vector<uint8_t>& wire) {
  size_t used = 0;
  return d.FeedBlock(wire, used);
}

}  // namespace upwend::bench
