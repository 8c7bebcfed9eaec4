#include "engine/nv/nv_config_line.h"

namespace upwend {

namespace {

bool IsSeparator(char c) { return c == ',' || c == ' ' || c == '\t'; }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

NvConfigLine SplitNvConfigLine(std::string_view line) {
  NvConfigLine result;
  const size_t colon = line.find(':');
  if (colon == std::string_view::npos || colon == 0) {
    result.verdict = NvConfigLine::Verdict::kNoId;
    return result;
  }
  result.idText = std::string(line.substr(0, colon));
  result.dataText = std::string(line.substr(colon + 1));
  if (result.dataText.empty()) result.verdict = NvConfigLine::Verdict::kNoData;
  return result;
}

std::vector<std::string_view> SplitNvByteTexts(std::string_view dataText) {
  std::vector<std::string_view> texts;
  size_t i = 0;
  while (i < dataText.size()) {
    while (i < dataText.size() && IsSeparator(dataText[i])) ++i;
    const size_t begin = i;
    while (i < dataText.size() && !IsSeparator(dataText[i])) ++i;
    if (i > begin) texts.push_back(dataText.substr(begin, i - begin));
  }
  return texts;
}

std::optional<uint8_t> ParseHexByteText(std::string_view text) {
  if (text.size() != 2) return std::nullopt;
  const int high = HexDigit(text[0]);
  const int low = HexDigit(text[1]);
  if (high < 0 || low < 0) return std::nullopt;
  return static_cast<uint8_t>(high * 16 + low);
}

std::optional<uint16_t> ParseNvIdText(std::string_view text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
  while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
  if (begin == end) return std::nullopt;
  uint32_t value = 0;
  for (size_t i = begin; i < end; ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    value = value * 10 + static_cast<uint32_t>(text[i] - '0');
    if (value > 0xFFFF) return std::nullopt;
  }
  return static_cast<uint16_t>(value);
}

}  // namespace upwend
