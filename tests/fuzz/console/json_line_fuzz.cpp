// Any bytes as the texts of a JSON line: the line is one valid JSON object on one line, in valid
// UTF-8, and every text in it decodes back to exactly the bytes it was made from (valid UTF-8
// as itself, any other byte as the code point of the same value).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/console/json_line.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

int Hex(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// One UTF-8 sequence at `at` by the rules of RFC 3629: its length, 0 when it is not one.
size_t Utf8Sequence(std::string_view s, size_t at) {
  auto b = [&](size_t k) { return static_cast<uint32_t>(static_cast<unsigned char>(s[k])); };
  uint32_t lead = b(at);
  size_t n;
  uint32_t cp;
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) {
    n = 2, cp = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    n = 3, cp = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    n = 4, cp = lead & 0x07;
  } else {
    return 0;
  }
  if (at + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    if ((b(at + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b(at + k) & 0x3F);
  }
  static constexpr uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return n;
}

// Reads the JSON string at `at` and returns the bytes it stands for; `at` ends after it.
std::string ReadString(std::string_view line, size_t& at) {
  Check(at < line.size() && line[at] == '"');
  ++at;
  std::string bytes;
  while (true) {
    Check(at < line.size());
    unsigned char c = static_cast<unsigned char>(line[at]);
    if (c == '"') {
      ++at;
      return bytes;
    }
    Check(c >= 0x20);  // raw control characters are not allowed in a JSON string
    if (c != '\\') {
      size_t n = Utf8Sequence(line, at);
      Check(n > 0);
      bytes.append(line.substr(at, n));
      at += n;
      continue;
    }
    Check(at + 1 < line.size());
    char e = line[at + 1];
    at += 2;
    switch (e) {
      case '"': bytes += '"'; break;
      case '\\': bytes += '\\'; break;
      case '/': bytes += '/'; break;
      case 'n': bytes += '\n'; break;
      case 'r': bytes += '\r'; break;
      case 't': bytes += '\t'; break;
      case 'b': bytes += '\b'; break;
      case 'f': bytes += '\f'; break;
      case 'u': {
        Check(at + 4 <= line.size());
        uint32_t cp = 0;
        for (int k = 0; k < 4; ++k) {
          int h = Hex(line[at + k]);
          Check(h >= 0);
          cp = cp * 16 + static_cast<uint32_t>(h);
        }
        at += 4;
        Check(cp < 0x100);  // an escaped byte stands for the byte of the same value
        bytes += static_cast<char>(cp);
        break;
      }
      default: Check(false);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  // The escaper alone: the whole input back.
  std::string quoted = upwend::JsonString(input);
  size_t at = 0;
  Check(ReadString(quoted, at) == input && at == quoted.size());

  // A line of two texts (the input split at its first byte's value) and a number.
  size_t cut = size == 0 ? 0 : data[0] % size;
  std::string_view key = input.substr(0, cut), text = input.substr(cut);
  std::string line = upwend::JsonLine().Add(key, text).Add("n", uint64_t{size}).Add("x", 0.5 * static_cast<double>(cut)).Finish();
  Check(line.size() >= 2 && line.front() == '{' && line.substr(line.size() - 2) == "}\n");
  Check(line.find('\n') == line.size() - 1);
  at = 1;
  Check(ReadString(line, at) == key);
  Check(line[at++] == ':');
  Check(ReadString(line, at) == text);
  Check(line.compare(at, 5, ",\"n\":") == 0);
  return 0;
}
