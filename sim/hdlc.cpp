#include "sim/hdlc.h"

#include <array>

namespace upwend::sim {
namespace {

constexpr uint8_t kFlag = 0x7E;
constexpr uint8_t kEscape = 0x7D;
constexpr uint8_t kEscapeXor = 0x20;
constexpr uint16_t kCrcGood = 0xF0B8;  // residue over payload plus its own check value

// The bit-by-bit step, folded into a table once: every byte of every frame goes through it, and
// eight branches per byte made the simulator's check the larger part of an EFS write's time.
constexpr std::array<uint16_t, 256> MakeCrcTable() {
  std::array<uint16_t, 256> table{};
  for (unsigned n = 0; n < 256; ++n) {
    uint16_t crc = static_cast<uint16_t>(n);
    for (int i = 0; i < 8; ++i) crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0x8408) : static_cast<uint16_t>(crc >> 1);
    table[n] = crc;
  }
  return table;
}
constexpr std::array<uint16_t, 256> kCrcTable = MakeCrcTable();

uint16_t CrcStep(uint16_t crc, uint8_t byte) { return static_cast<uint16_t>((crc >> 8) ^ kCrcTable[(crc ^ byte) & 0xFF]); }

void PutEscaped(Bytes& out, uint8_t b) {
  if (b == kFlag || b == kEscape) {
    out.push_back(kEscape);
    out.push_back(static_cast<uint8_t>(b ^ kEscapeXor));
  } else {
    out.push_back(b);
  }
}

}  // namespace

uint16_t Crc16X25(const uint8_t* data, size_t len) {
  uint16_t crc = 0xFFFF;
  for (size_t i = 0; i < len; ++i) crc = CrcStep(crc, data[i]);
  return static_cast<uint16_t>(~crc);
}

Bytes EncodeHdlc(const Bytes& payload, bool leadingFlag) {
  return EncodeHdlcWithCrc(payload, Crc16X25(payload.data(), payload.size()), leadingFlag);
}

Bytes EncodeHdlcWithCrc(const Bytes& payload, uint16_t crc, bool leadingFlag) {
  Bytes out;
  out.reserve(payload.size() * 2 + 6);
  if (leadingFlag) out.push_back(kFlag);
  for (uint8_t b : payload) PutEscaped(out, b);
  PutEscaped(out, static_cast<uint8_t>(crc & 0xFF));
  PutEscaped(out, static_cast<uint8_t>(crc >> 8));
  out.push_back(kFlag);
  return out;
}

void HdlcDeframer::Reset() {
  raw_.clear();
  escape_ = false;
  overflow_ = false;
  afterFlag_ = false;
}

void HdlcDeframer::Feed(const uint8_t* data, size_t len, std::vector<Frame>& out) {
  for (size_t i = 0; i < len; ++i) {
    uint8_t b = data[i];
    if (b == kFlag) {
      if (!raw_.empty() && !overflow_) {
        Frame f;
        f.leadingFlag = afterFlag_;
        if (raw_.size() < 3) {
          f.tooShort = true;
        } else {
          uint16_t crc = 0xFFFF;
          for (uint8_t c : raw_) crc = CrcStep(crc, c);
          f.crcOk = crc == kCrcGood;
          if (f.crcOk) f.payload.assign(raw_.begin(), raw_.end() - 2);
        }
        out.push_back(std::move(f));
      }
      // A flag outside a frame is a leading flag; the one that closes a frame is not.
      afterFlag_ = raw_.empty() && !overflow_;
      raw_.clear();
      escape_ = false;
      overflow_ = false;
      continue;
    }
    if (overflow_) continue;
    if (b == kEscape && !escape_) {
      escape_ = true;
      continue;
    }
    if (escape_) {
      b ^= kEscapeXor;
      escape_ = false;
    }
    if (raw_.size() >= kMaxFrame) {
      overflow_ = true;
      raw_.clear();
      continue;
    }
    raw_.push_back(b);
  }
}

}  // namespace upwend::sim
