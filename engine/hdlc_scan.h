#pragma once
// Finds the end of a run of bytes that need no escaping (neither flag 0x7E nor escape 0x7D),
// eight bytes at a time: 0x7C..0x7F share their top six bits, so a word whose masked bytes hold
// no 0x7C has no special byte; a hit is then checked byte by byte.
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace upwend {

inline size_t PlainRunLength(const uint8_t* p, size_t n) {
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  constexpr uint64_t kHighs = 0x8080808080808080ull;
  size_t i = 0;
  while (i + 8 <= n) {
    uint64_t w;
    std::memcpy(&w, p + i, 8);
    const uint64_t x = (w & (kOnes * 0xFC)) ^ (kOnes * 0x7C);
    if (((x - kOnes) & ~x & kHighs) != 0) break;
    i += 8;
  }
  while (i < n && p[i] != 0x7E && p[i] != 0x7D) ++i;
  return i;
}

}  // namespace upwend
