#pragma once
// Finds a named section in an ELF file (32 or 64 bit, either byte order), so that data carried
// in a section can be read where `strip` moved it. Every offset is checked against the file.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace upwend {

struct FileRange {
  uint64_t offset = 0;
  uint64_t size = 0;
};

// The section's bytes in `image` (the whole file); nullopt when it is not ELF or has none.
std::optional<FileRange> FindElfSection(std::string_view image, std::string_view name);
// The same for a file on disk, reading only the headers it needs.
std::optional<FileRange> FindElfSectionInFile(const std::string& path, std::string_view name);

}  // namespace upwend
