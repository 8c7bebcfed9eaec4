#pragma once
// One JSON object on one line (JSON Lines), built field by field. Texts are 8-bit: valid UTF-8
// passes through, any other byte is written as the code point of the same value (Latin-1), so
// every line is valid JSON whatever a device or a product put into a text.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace upwend {

std::string JsonString(std::string_view text);

class JsonLine {
public:
  JsonLine& Add(std::string_view key, std::string_view text);
  JsonLine& Add(std::string_view key, const char* text) { return Add(key, std::string_view(text)); }
  JsonLine& AddOrNull(std::string_view key, const std::string& text);  // null when empty
  JsonLine& Add(std::string_view key, uint64_t number);
  JsonLine& Add(std::string_view key, int number);
  JsonLine& Add(std::string_view key, double number);
  // The object and a newline.
  std::string Finish() const { return body_ + "}\n"; }

private:
  void Key(std::string_view key);
  std::string body_ = "{";
};

}  // namespace upwend
