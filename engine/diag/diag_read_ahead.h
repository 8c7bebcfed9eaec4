#pragma once
// Bytes the DIAG port handed over in one large read and the byte-wise receives have not taken
// yet. Reading a reply one read call per byte costs a system call per byte; with the DIAG
// time-outs a large read returns at the same moment a one-byte read would (at once with what
// has arrived, or after the wait for the first byte), so the receives take their bytes from
// here instead. A purge of the receive side empties it as it empties the driver's queue.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace upwend {

class DiagReadAhead {
public:
  static constexpr size_t kCapacity = 8192;

  bool Empty() const { return begin_ == end_; }
  std::span<const uint8_t> Bytes() const { return {data_.data() + begin_, end_ - begin_}; }
  void Consume(size_t n) { begin_ += std::min(n, end_ - begin_); }
  void Clear() { begin_ = end_ = 0; }
  // Hands out up to `count` buffered bytes; returns how many.
  size_t Take(uint8_t* out, size_t count) {
    const size_t n = std::min(count, end_ - begin_);
    if (n > 0) std::memcpy(out, data_.data() + begin_, n);
    begin_ += n;
    return n;
  }
  // The area a fill reads into (only called when empty), and how many bytes the fill got.
  uint8_t* FillArea() {
    Clear();
    return data_.data();
  }
  void Filled(size_t n) { end_ = std::min(n, kCapacity); }

private:
  std::array<uint8_t, kCapacity> data_{};
  size_t begin_ = 0;
  size_t end_ = 0;
};

}  // namespace upwend
