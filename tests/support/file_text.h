#pragma once
// A whole file as a test compares it: its bytes, or nothing when it cannot be read.
#include <filesystem>
#include <string>

#include "platform/file_io.h"

namespace upwend::testing {

inline std::string ReadFile(const std::filesystem::path& path) {
  auto bytes = ReadWholeFile(path.string());
  return bytes ? std::move(*bytes) : std::string();
}

}  // namespace upwend::testing
