#pragma once
// Intel hex to a flat binary image. Accepts data (00), end-of-file (01), extended segment
// address (02) and extended linear address (04) records; start address records (03, 05) are
// checked and ignored. Every record's checksum is verified, records that write the same byte
// twice are rejected, and gaps between records are filled with 0xFF (erased flash). The image
// starts at the lowest address written.
#include <cstdint>
#include "platform/expected.h"
#include <string>
#include <string_view>
#include <vector>

namespace upwend::hex {

struct HexImage {
  uint32_t baseAddress = 0;    // address of bytes[0]
  std::vector<uint8_t> bytes;  // lowest to highest address written, gaps filled with 0xFF
};

// A flash programmer is a few MiB at most; a larger span means records far apart (a stray
// address record) and would otherwise produce a multi-GiB file of 0xFF.
inline constexpr uint64_t kDefaultMaxSpan = 256ull * 1024 * 1024;

// Parses the whole text of a hex file. Errors name the line (1-based) and the fault.
Expected<HexImage, std::string> ParseIntelHex(std::string_view text, uint64_t maxSpan = kDefaultMaxSpan);

}  // namespace upwend::hex
