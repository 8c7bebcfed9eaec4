#pragma once
// DIAG serial framing as the device speaks it: escaped payload, CRC-16/X.25 low byte first,
// trailing 0x7E. The simulator keeps its own implementation so that it never shares a bug with
// the tool's framing.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace upwend::sim {

using Bytes = std::vector<uint8_t>;

// CRC-16/X.25 (reflected 0x1021, init 0xFFFF, final XOR 0xFFFF): "123456789" -> 0x906E.
uint16_t Crc16X25(const uint8_t* data, size_t len);

// Frames a payload: optional leading flag, escaped payload and check value, trailing flag.
Bytes EncodeHdlc(const Bytes& payload, bool leadingFlag);
// The same with a given check value (a wrong one, to spoil a frame on purpose).
Bytes EncodeHdlcWithCrc(const Bytes& payload, uint16_t crc, bool leadingFlag);

// Collects frames from a byte stream that may be split anywhere. Leading and repeated flags
// are skipped; a frame longer than kMaxFrame is thrown away up to the next flag, so garbage
// never makes the buffer grow without bound.
class HdlcDeframer {
public:
  static constexpr size_t kMaxFrame = 64 * 1024;

  struct Frame {
    Bytes payload;        // without the check value; valid only when crcOk
    bool crcOk = false;
    bool leadingFlag = false;  // the frame followed a 0x7E (the sender used a leading flag)
    bool tooShort = false;     // fewer than 3 bytes between flags
  };

  // Feeds bytes; complete frames are appended to `out`.
  void Feed(const uint8_t* data, size_t len, std::vector<Frame>& out);
  void Reset();

private:
  Bytes raw_;          // unescaped bytes of the current frame
  bool escape_ = false;
  bool overflow_ = false;
  bool afterFlag_ = false;
};

}  // namespace upwend::sim
