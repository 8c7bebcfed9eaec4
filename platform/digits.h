#pragma once
// Unsigned numbers written as bare digits, as device IDs, sysfs attributes, protocol fields and
// command-line values are.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace upwend {

// The number `text` spells in `base` (10 or 16; hex digits in either case). nullopt when it is
// empty, has more than `maxDigits` characters, or holds anything but digits of that base (no
// sign, blank or "0x"). More digits than a uint64_t holds wrap around.
inline std::optional<uint64_t> ParseDigits(std::string_view text, int base, size_t maxDigits) {
  if (text.empty() || text.size() > maxDigits) return std::nullopt;
  uint64_t value = 0;
  for (char c : text) {
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return std::nullopt;
    value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
  }
  return value;
}

}  // namespace upwend
