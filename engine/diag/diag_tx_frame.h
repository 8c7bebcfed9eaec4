#pragma once
// The worker's one transmit frame buffer for DIAG requests: the escaped payload, the escaped
// check value and the trailing flag, built in place. A request that would not leave room for
// its check value and flag is marked overflowed and finished as the fixed overflow frame.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "engine/diag/crc16_x25.h"

namespace upwend {

constexpr uint8_t kHdlcFlag = 0x7E;
constexpr uint8_t kHdlcEscape = 0x7D;
constexpr uint8_t kHdlcEscapeXor = 0x20;

class DiagTxFrame {
public:
  static constexpr size_t kCapacity = 36864;
  // A NAK (reason 3, invalid length) of the download protocol, complete with check value and flag.
  static constexpr std::array<uint8_t, 6> kOverflowFrame = {0x03, 0x00, 0x03, 0x33, 0x1B, 0x7E};

  void Begin();
  // Appends one payload byte, escaped when it is a flag or escape byte, under the capacity rule.
  void Append(uint8_t byte) {
    if (byte != kHdlcFlag && byte != kHdlcEscape && !overflow_ && length_ + 6u < kCapacity) {
      crc_ = Crc16Step(crc_, byte);
      data_[length_++] = byte;
      return;
    }
    AppendSlow(byte);
  }
  void Append(std::span<const uint8_t> bytes);
  // Appends the check value and places the trailing flag (not counted in length()).
  void Finish();

  // Escaped payload and check bytes; the trailing flag sits at data()[length()].
  uint16_t length() const { return length_; }
  bool overflowed() const { return overflow_; }
  const uint8_t* data() const { return data_.data(); }
  // The bytes a send puts on the wire after Finish(): the frame and its flag, or only the six
  // bytes of the overflow frame (the stale content behind them is never sent).
  std::span<const uint8_t> Wire() const;

private:
  void AppendSlow(uint8_t byte);
  void PutEscaped(uint8_t byte);

  uint16_t length_ = 0;
  bool overflow_ = false;
  uint16_t crc_ = 0xFFFF;  // running check value over the unescaped payload
  std::array<uint8_t, kCapacity> data_{};
};

}  // namespace upwend
