#include "engine/diag/diag_deframer.h"

#include <algorithm>

#include "engine/diag/crc16_x25.h"
#include "engine/diag/diag_tx_frame.h"
#include "engine/diag/hdlc_scan.h"

namespace upwend {

void DiagDeframer::Reset(Hunt hunt) {
  hunt_ = hunt;
  state_ = State::kHunt;
  escape_ = false;
  count_ = 0;
  crc_ = kCrc16Init;
}

DiagDeframer::Event DiagDeframer::FeedSlow(uint8_t byte) {
  switch (state_) {
    case State::kHunt:
      if (byte == kHdlcFlag) {
        state_ = State::kFlag;
        return Event::kMore;
      }
      if (hunt_ == Hunt::kNeedFlag) return Event::kMore;
      return StartFrame(byte);
    case State::kFlag:
      if (byte == kHdlcFlag) return Event::kMore;
      return StartFrame(byte);
    case State::kData:
      return Data(byte);
  }
  return Event::kMore;
}

DiagDeframer::Event DiagDeframer::FeedMissing(uint8_t placeholder) {
  if (state_ != State::kData) return Event::kMore;
  return Data(placeholder);
}

DiagDeframer::Event DiagDeframer::StartFrame(uint8_t byte) {
  state_ = State::kData;
  count_ = 0;
  crc_ = kCrc16Init;
  return Data(byte);
}

DiagDeframer::Event DiagDeframer::Data(uint8_t byte) {
  if (escape_) {
    // The byte after an escape is taken as data whatever it is, a flag included.
    escape_ = false;
    return Store(static_cast<uint8_t>(byte ^ kHdlcEscapeXor));
  }
  if (byte == kHdlcFlag) return End();
  if (byte == kHdlcEscape) {
    escape_ = true;
    return Event::kEscape;
  }
  return Store(byte);
}

DiagDeframer::Event DiagDeframer::Store(uint8_t byte) {
  if (count_ >= kMaxContent) return Event::kTooLong;
  buffer_[count_++] = byte;
  crc_ = Crc16Step(crc_, byte);
  return Event::kMore;
}

DiagDeframer::Event DiagDeframer::End() {
  if (count_ < 3) return Event::kShort;
  if (crc_ != kCrc16GoodResidue) return Event::kBadCheck;
  return Event::kGood;
}

DiagDeframer::Event DiagDeframer::FeedBlock(std::span<const uint8_t> bytes, size_t& used) {
  size_t i = 0;
  while (i < bytes.size()) {
    if (state_ == State::kData && !escape_) {
      // Plain content runs: copy and check in bulk up to the next flag or escape.
      const size_t room = kMaxContent - count_;
      const size_t limit = std::min(room, bytes.size() - i);
      const uint8_t* start = bytes.data() + i;
      const size_t run = CopyPlainRun(start, limit, buffer_.data() + count_, crc_);
      if (run > 0) {
        count_ += run;
        i += run;
        continue;
      }
    }
    Event e = Feed(bytes[i++]);
    if (e != Event::kMore && e != Event::kEscape) {
      used = i;
      return e;
    }
  }
  used = i;
  return Event::kMore;
}

}  // namespace upwend
