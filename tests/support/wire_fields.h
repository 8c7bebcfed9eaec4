#pragma once
// Fields of DIAG requests and replies as the device models read and write them: little-endian
// numbers and NUL-ended paths.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace upwend::test {

inline void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// The text from `at` to the first NUL (or the end).
inline std::string PathAt(const std::vector<uint8_t>& bytes, size_t at) {
  std::string path;
  for (size_t i = at; i < bytes.size() && bytes[i] != 0; ++i) path.push_back(static_cast<char>(bytes[i]));
  return path;
}

}  // namespace upwend::test
