#include "engine/diag/crc16_x25.h"

namespace upwend {

uint16_t Crc16Update(uint16_t crc, const uint8_t* data, size_t size) {
  while (size >= 8) {
    crc = Crc16Fold8(crc, data);
    data += 8;
    size -= 8;
  }
  while (size-- > 0) crc = Crc16Step(crc, *data++);
  return crc;
}

}  // namespace upwend
