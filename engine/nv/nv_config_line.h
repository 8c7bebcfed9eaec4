#pragma once
// Configured NV item lines ("4:00,01,0A", upper-cased by the configuration loader): the split
// at the first ":", the byte texts of the data part and their values. Pure functions, so they
// can be checked against any bytes.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace upwend {

constexpr size_t kNvDataSize = 128;

struct NvConfigLine {
  enum class Verdict {
    kOk,
    kNoId,    // no ":", or nothing before it
    kNoData,  // nothing after the ":"
  };
  Verdict verdict = Verdict::kOk;
  std::string idText;
  std::string dataText;
};

NvConfigLine SplitNvConfigLine(std::string_view line);

// The byte texts of a data part: separated by commas and blanks; empty pieces are dropped.
std::vector<std::string_view> SplitNvByteTexts(std::string_view dataText);

// The value whose two-digit upper-case hexadecimal text is exactly `text` ("00" to "FF").
std::optional<uint8_t> ParseHexByteText(std::string_view text);

// An item id in decimal (blanks around it allowed), 0 to 65535.
std::optional<uint16_t> ParseNvIdText(std::string_view text);

}  // namespace upwend
