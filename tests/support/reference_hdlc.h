#pragma once
// HDLC framing as the device does it, written independently of the tool's encoder (a bitwise
// CRC, not the engine's table) so that a mistake shared by both cannot hide.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace upwend::test {

using Bytes = std::vector<uint8_t>;

uint16_t ReferenceCrc(const uint8_t* data, size_t size);
// A whole frame: leading flag (optional), escaped content and check value, flag.
Bytes Frame(const Bytes& payload, bool leadingFlag = true);
// The device's own replies carry no leading flag.
inline Bytes ReferenceFrame(const Bytes& payload) { return Frame(payload, false); }
// Content with a deliberately wrong check value.
Bytes FrameBadCheck(const Bytes& payload);

// Splits a byte stream into frame payloads whose check value is right; others are dropped.
class ReferenceDeframer {
public:
  std::vector<Bytes> Feed(const uint8_t* data, size_t size);

private:
  Bytes current_;
  bool escape_ = false;
};

// The frames of one stretch of wire bytes.
std::vector<Bytes> DecodeFrames(const Bytes& wire);

}  // namespace upwend::test
