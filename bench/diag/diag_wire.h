#pragma once
// The reply both DIAG benchmarks feed: 4094 random payload bytes (about one in 128 a flag or
// escape byte), the largest the receive buffer holds, framed with a leading flag.
#include <memory>
#include <random>
#include <span>
#include <vector>

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

}  // namespace upwend::bench
