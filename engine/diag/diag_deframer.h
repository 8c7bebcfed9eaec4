#pragma once
// The receive state machine of DIAG frames, fed one byte at a time: hunting for a frame,
// skipping flags, unescaping content into the receive buffer while keeping the running check
// value, and deciding the frame at its trailing flag. It does no I/O and keeps no time; the
// receive procedures wrap it with their reads, waits and result codes.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "engine/diag/crc16_x25.h"

namespace upwend {

class DiagDeframer {
public:
  static constexpr size_t kMaxContent = 4096;
  // Content bytes plus the trailing flag that one receive procedure stores behind them.
  using Buffer = std::array<uint8_t, kMaxContent + 1>;

  enum class Hunt : uint8_t {
    kNeedFlag,  // bytes before the first flag are dropped
    kAnyByte,   // leading flags are skipped, but any other byte already starts the frame
  };
  enum class Event : uint8_t {
    kMore,      // keep feeding
    kEscape,    // the next byte is the escaped one
    kGood,      // trailing flag of a frame with a good check value
    kBadCheck,  // trailing flag, check value wrong
    kShort,     // trailing flag after fewer than 3 content bytes
    kTooLong,   // a content byte arrived with kMaxContent already stored
  };

  explicit DiagDeframer(Buffer& buffer) : buffer_(buffer) {}

  void Reset(Hunt hunt);
  Event Feed(uint8_t byte) {
    // Plain content bytes, nearly all of a frame, take the short way.
    if (state_ == State::kData && !escape_ && byte != 0x7E && byte != 0x7D && count_ < kMaxContent) {
      buffer_[count_++] = byte;
      crc_ = Crc16Step(crc_, byte);
      return Event::kMore;
    }
    return FeedSlow(byte);
  }
  // A wait that ended without a byte: nothing outside a frame; inside one the read's
  // placeholder byte is taken as received (it spoils the check value, as a lost byte should).
  Event FeedMissing(uint8_t placeholder);
  // Feeds bytes until an event other than kMore/kEscape; returns it and how many were used.
  Event FeedBlock(std::span<const uint8_t> bytes, size_t& used);

  bool InFrame() const { return state_ == State::kData; }
  bool EscapePending() const { return escape_; }
  size_t count() const { return count_; }

private:
  enum class State : uint8_t { kHunt, kFlag, kData };
  Event FeedSlow(uint8_t byte);
  Event StartFrame(uint8_t byte);
  Event Data(uint8_t byte);
  Event Store(uint8_t byte);
  Event End();

  Buffer& buffer_;
  Hunt hunt_ = Hunt::kNeedFlag;
  State state_ = State::kHunt;
  bool escape_ = false;
  size_t count_ = 0;
  uint16_t crc_ = 0xFFFF;
};

}  // namespace upwend
