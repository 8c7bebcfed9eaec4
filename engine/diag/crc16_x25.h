#pragma once
// CRC-16/X.25 (the PPP FCS-16): reflected polynomial 0x8408, initial value 0xFFFF, the result
// inverted. DIAG frames carry it low byte first; a receiver that runs the same step over the
// payload and both received check bytes ends on kCrc16GoodResidue when the frame is intact.
#include <array>
#include <cstddef>
#include <cstdint>

namespace upwend {

constexpr uint16_t kCrc16Init = 0xFFFF;
constexpr uint16_t kCrc16GoodResidue = 0xF0B8;

constexpr std::array<uint16_t, 256> MakeCrc16Table() {
  std::array<uint16_t, 256> t{};
  for (unsigned i = 0; i < 256; ++i) {
    uint16_t crc = static_cast<uint16_t>(i);
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0x8408) : static_cast<uint16_t>(crc >> 1);
    t[i] = crc;
  }
  return t;
}
inline constexpr std::array<uint16_t, 256> kCrc16Table = MakeCrc16Table();

// Slice tables: slice k advances a byte that sits k positions before the end of an 8-byte
// group, so eight bytes fold into one step.
using Crc16Slices = std::array<std::array<uint16_t, 256>, 8>;
constexpr Crc16Slices MakeCrc16Slices() {
  Crc16Slices t{};
  t[0] = MakeCrc16Table();
  for (unsigned i = 0; i < 256; ++i) {
    for (size_t k = 1; k < 8; ++k) {
      const uint16_t prev = t[k - 1][i];
      t[k][i] = static_cast<uint16_t>((prev >> 8) ^ t[0][prev & 0xFF]);
    }
  }
  return t;
}
inline constexpr Crc16Slices kCrc16Slices = MakeCrc16Slices();

// Eight bytes in one step.
inline uint16_t Crc16Fold8(uint16_t crc, const uint8_t* p) {
  const auto& t = kCrc16Slices;
  return static_cast<uint16_t>(t[7][p[0] ^ (crc & 0xFF)] ^ t[6][p[1] ^ (crc >> 8)] ^ t[5][p[2]] ^ t[4][p[3]] ^
                               t[3][p[4]] ^ t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]]);
}

// One table-driven byte step (no final inversion); inline, as the receivers take it per byte.
inline uint16_t Crc16Step(uint16_t crc, uint8_t byte) {
  return static_cast<uint16_t>((crc >> 8) ^ kCrc16Table[(crc ^ byte) & 0xFF]);
}
// Steps over a block; eight bytes at a time where it can.
uint16_t Crc16Update(uint16_t crc, const uint8_t* data, size_t size);
// The finished check value (inverted) of a block.
inline uint16_t Crc16X25(const uint8_t* data, size_t size) {
  return static_cast<uint16_t>(Crc16Update(kCrc16Init, data, size) ^ 0xFFFF);
}

}  // namespace upwend
