#include "engine/diag/diag_tx_frame.h"

#include <algorithm>

#include "engine/diag/crc16_x25.h"
#include "engine/diag/hdlc_scan.h"

namespace upwend {

namespace {

// Room kept free behind the payload: the check value (escaped, up to 4 bytes) and the flag.
constexpr size_t kReservePlain = 6;
constexpr size_t kReserveEscaped = 7;

bool NeedsEscape(uint8_t byte) { return byte == kHdlcFlag || byte == kHdlcEscape; }

}  // namespace

void DiagTxFrame::Begin() {
  length_ = 0;
  overflow_ = false;
  crc_ = kCrc16Init;
}

void DiagTxFrame::AppendSlow(uint8_t byte) {
  if (overflow_) return;
  const size_t reserve = NeedsEscape(byte) ? kReserveEscaped : kReservePlain;
  if (length_ + reserve >= kCapacity) {
    overflow_ = true;
    return;
  }
  crc_ = Crc16Step(crc_, byte);
  PutEscaped(byte);
}

void DiagTxFrame::Append(std::span<const uint8_t> bytes) {
  // Runs of plain bytes are copied in one go; the capacity rule is the per-byte one.
  size_t i = 0;
  while (i < bytes.size() && !overflow_) {
    size_t room = length_ + kReservePlain < kCapacity ? kCapacity - kReservePlain - length_ : 0;
    const size_t limit = std::min(room, bytes.size() - i);
    const size_t run = CopyPlainRun(bytes.data() + i, limit, data_.data() + length_, crc_);
    length_ = static_cast<uint16_t>(length_ + run);
    i += run;
    if (i < bytes.size()) AppendSlow(bytes[i++]);
  }
}

void DiagTxFrame::PutEscaped(uint8_t byte) {
  if (NeedsEscape(byte)) {
    data_[length_++] = kHdlcEscape;
    data_[length_++] = static_cast<uint8_t>(byte ^ kHdlcEscapeXor);
  } else {
    data_[length_++] = byte;
  }
}

void DiagTxFrame::Finish() {
  if (overflow_) {
    std::copy(kOverflowFrame.begin(), kOverflowFrame.end(), data_.begin());
    return;
  }
  // The check value covers the unescaped payload; it was kept up as bytes were appended.
  const uint16_t crc = static_cast<uint16_t>(crc_ ^ 0xFFFF);
  // The capacity rule reserved room for these, so they are placed without it: a payload that
  // just fits must not lose its check value.
  PutEscaped(static_cast<uint8_t>(crc & 0xFF));
  PutEscaped(static_cast<uint8_t>(crc >> 8));
  data_[length_] = kHdlcFlag;
}

std::span<const uint8_t> DiagTxFrame::Wire() const {
  if (overflow_) return {data_.data(), kOverflowFrame.size()};
  return {data_.data(), static_cast<size_t>(length_) + 1};
}

}  // namespace upwend
