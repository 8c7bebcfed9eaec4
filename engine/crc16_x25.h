#pragma once
// CRC-16/X.25 (the PPP FCS-16): reflected polynomial 0x8408, initial value 0xFFFF, the result
// inverted. DIAG frames carry it low byte first; a receiver that runs the same step over the
// payload and both received check bytes ends on kCrc16GoodResidue when the frame is intact.
#include <cstddef>
#include <cstdint>

namespace upwend {

constexpr uint16_t kCrc16Init = 0xFFFF;
constexpr uint16_t kCrc16GoodResidue = 0xF0B8;

// One table-driven byte step (no final inversion).
uint16_t Crc16Step(uint16_t crc, uint8_t byte);
// Steps over a block; eight bytes at a time where it can.
uint16_t Crc16Update(uint16_t crc, const uint8_t* data, size_t size);
// The finished check value (inverted) of a block.
inline uint16_t Crc16X25(const uint8_t* data, size_t size) {
  return static_cast<uint16_t>(Crc16Update(kCrc16Init, data, size) ^ 0xFFFF);
}

}  // namespace upwend
