#include "app/console/json_line.h"

#include <fmt/format.h>

#include <cmath>

namespace upwend {

namespace {

// Length of the valid UTF-8 sequence at `i` (0 when it is not one).
size_t Utf8Length(std::string_view s, size_t i) {
  auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char c = byte(i);
  size_t n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 && c < 0xF0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
  if (n == 0 || i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k)
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  // Overlong forms, surrogates and code points above U+10FFFF.
  if (n == 3 && c == 0xE0 && byte(i + 1) < 0xA0) return 0;
  if (n == 3 && c == 0xED && byte(i + 1) >= 0xA0) return 0;
  if (n == 4 && c == 0xF0 && byte(i + 1) < 0x90) return 0;
  if (n == 4 && c == 0xF4 && byte(i + 1) >= 0x90) return 0;
  return n;
}

}  // namespace

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      out += fmt::format("\\u{:04x}", c);
    } else if (c >= 0x80) {
      size_t n = Utf8Length(text, i);
      if (n == 0) {
        out += fmt::format("\\u{:04x}", c);
      } else {
        out.append(text.substr(i, n));
        i += n;
        continue;
      }
    } else {
      out += static_cast<char>(c);
    }
    ++i;
  }
  return out + "\"";
}

void JsonLine::Key(std::string_view key) {
  if (body_.size() > 1) body_ += ',';
  body_ += JsonString(key);
  body_ += ':';
}

JsonLine& JsonLine::Add(std::string_view key, std::string_view text) {
  Key(key);
  body_ += JsonString(text);
  return *this;
}

JsonLine& JsonLine::AddOrNull(std::string_view key, const std::string& text) {
  Key(key);
  body_ += text.empty() ? "null" : JsonString(text);
  return *this;
}

JsonLine& JsonLine::Add(std::string_view key, uint64_t number) {
  Key(key);
  body_ += std::to_string(number);
  return *this;
}

JsonLine& JsonLine::Add(std::string_view key, int number) {
  Key(key);
  body_ += std::to_string(number);
  return *this;
}

JsonLine& JsonLine::Add(std::string_view key, double number) {
  Key(key);
  body_ += std::isfinite(number) ? fmt::format("{:.0f}", number) : "null";
  return *this;
}

}  // namespace upwend
