// Configured NV lines: any text splits into an id and byte texts without a crash, and every
// accepted piece is what the format allows.
#include <cstdlib>
#include <string>

#include "engine/nv/nv_config_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace upwend;
  const std::string line(reinterpret_cast<const char*>(data), size);
  const NvConfigLine parsed = SplitNvConfigLine(line);
  if (parsed.verdict == NvConfigLine::Verdict::kNoId) return 0;
  if (parsed.idText.empty() || parsed.idText.find(':') != std::string::npos) std::abort();
  if (parsed.idText.size() + 1 + parsed.dataText.size() != line.size()) std::abort();
  if (auto id = ParseNvIdText(parsed.idText)) {
    if (std::to_string(*id).size() > parsed.idText.size()) std::abort();
  }
  for (std::string_view text : SplitNvByteTexts(parsed.dataText)) {
    if (text.empty() || text.find_first_of(", \t") != std::string_view::npos) std::abort();
    if (auto value = ParseHexByteText(text)) {
      static const char kDigits[] = "0123456789ABCDEF";
      if (text.size() != 2 || text[0] != kDigits[*value >> 4] || text[1] != kDigits[*value & 15]) std::abort();
    }
  }
  return 0;
}
