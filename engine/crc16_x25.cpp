#include "engine/crc16_x25.h"

#include <array>
#include <cstring>

namespace upwend {

namespace {

// Slice tables: kTables[0] is the classic byte table; kTables[k] advances a byte that sits k
// positions earlier, so eight bytes fold into one step.
using SliceTables = std::array<std::array<uint16_t, 256>, 8>;

constexpr SliceTables MakeTables() {
  SliceTables t{};
  t[0] = MakeCrc16Table();
  for (unsigned i = 0; i < 256; ++i) {
    for (size_t k = 1; k < 8; ++k) {
      uint16_t prev = t[k - 1][i];
      t[k][i] = static_cast<uint16_t>((prev >> 8) ^ t[0][prev & 0xFF]);
    }
  }
  return t;
}

constexpr SliceTables kTables = MakeTables();

}  // namespace

uint16_t Crc16Update(uint16_t crc, const uint8_t* data, size_t size) {
  while (size >= 8) {
    uint8_t b[8];
    std::memcpy(b, data, 8);
    b[0] = static_cast<uint8_t>(b[0] ^ (crc & 0xFF));
    b[1] = static_cast<uint8_t>(b[1] ^ (crc >> 8));
    crc = static_cast<uint16_t>(kTables[7][b[0]] ^ kTables[6][b[1]] ^ kTables[5][b[2]] ^ kTables[4][b[3]] ^
                                kTables[3][b[4]] ^ kTables[2][b[5]] ^ kTables[1][b[6]] ^ kTables[0][b[7]]);
    data += 8;
    size -= 8;
  }
  while (size-- > 0) crc = Crc16Step(crc, *data++);
  return crc;
}

}  // namespace upwend
