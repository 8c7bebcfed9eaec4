#include "tests/support/reference_hdlc.h"

namespace upwend::test {

namespace {

void PutEscaped(Bytes& out, uint8_t b) {
  if (b == 0x7E || b == 0x7D) {
    out.push_back(0x7D);
    out.push_back(static_cast<uint8_t>(b ^ 0x20));
  } else {
    out.push_back(b);
  }
}

Bytes Wrap(const Bytes& payload, uint16_t crc, bool leadingFlag) {
  Bytes out;
  if (leadingFlag) out.push_back(0x7E);
  for (uint8_t b : payload) PutEscaped(out, b);
  PutEscaped(out, static_cast<uint8_t>(crc & 0xFF));
  PutEscaped(out, static_cast<uint8_t>(crc >> 8));
  out.push_back(0x7E);
  return out;
}

}  // namespace

uint16_t ReferenceCrc(const uint8_t* data, size_t size) {
  uint16_t crc = 0xFFFF;
  for (size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0x8408) : (crc >> 1);
  }
  return static_cast<uint16_t>(~crc);
}

Bytes Frame(const Bytes& payload, bool leadingFlag) {
  return Wrap(payload, ReferenceCrc(payload.data(), payload.size()), leadingFlag);
}

Bytes FrameBadCheck(const Bytes& payload) {
  return Wrap(payload, static_cast<uint16_t>(ReferenceCrc(payload.data(), payload.size()) ^ 0x0101), true);
}

std::vector<Bytes> ReferenceDeframer::Feed(const uint8_t* data, size_t size) {
  std::vector<Bytes> frames;
  for (size_t i = 0; i < size; ++i) {
    const uint8_t b = data[i];
    if (b == 0x7E) {
      if (current_.size() >= 3) {
        const uint16_t crc = ReferenceCrc(current_.data(), current_.size() - 2);
        if ((crc & 0xFF) == current_[current_.size() - 2] && (crc >> 8) == current_[current_.size() - 1]) {
          current_.resize(current_.size() - 2);
          frames.push_back(current_);
        }
      }
      current_.clear();
      escape_ = false;
    } else if (b == 0x7D) {
      escape_ = true;
    } else {
      current_.push_back(escape_ ? b ^ 0x20 : b);
      escape_ = false;
    }
  }
  return frames;
}

std::vector<Bytes> DecodeFrames(const Bytes& wire) { return ReferenceDeframer().Feed(wire.data(), wire.size()); }

}  // namespace upwend::test
