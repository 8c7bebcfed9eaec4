#pragma once
// Runs of bytes that need no escaping (neither flag 0x7E nor escape 0x7D), found eight bytes at
// a time: 0x7C..0x7F share their top six bits, so a word whose masked bytes hold no 0x7C has no
// special byte; a hit is then looked at byte by byte.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "engine/diag/crc16_x25.h"

namespace upwend {

inline bool IsHdlcSpecial(uint8_t b) { return b == 0x7E || b == 0x7D; }

inline bool MayHoldHdlcSpecial(uint64_t w) {
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  constexpr uint64_t kHighs = 0x8080808080808080ull;
  const uint64_t x = (w & (kOnes * 0xFC)) ^ (kOnes * 0x7C);
  return ((x - kOnes) & ~x & kHighs) != 0;
}

// Copies the leading run of plain bytes of src (at most n) to dst, folding them into crc, in
// one pass; returns the run's length.
inline size_t CopyPlainRun(const uint8_t* src, size_t n, uint8_t* dst, uint16_t& crc) {
  size_t i = 0;
  while (i + 8 <= n) {
    uint64_t w;
    std::memcpy(&w, src + i, 8);
    if (MayHoldHdlcSpecial(w)) {
      size_t k = 0;
      while (k < 8 && !IsHdlcSpecial(src[i + k])) ++k;
      if (k < 8) {
        std::memcpy(dst + i, src + i, k);
        crc = Crc16Update(crc, src + i, k);
        return i + k;
      }
    }
    std::memcpy(dst + i, &w, 8);
    crc = Crc16Fold8(crc, src + i);
    i += 8;
  }
  while (i < n && !IsHdlcSpecial(src[i])) {
    dst[i] = src[i];
    crc = Crc16Step(crc, src[i]);
    ++i;
  }
  return i;
}

}  // namespace upwend
