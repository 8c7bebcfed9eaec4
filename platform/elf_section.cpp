#include "platform/elf_section.h"

#include <fstream>
#include <vector>

namespace upwend {

namespace {

constexpr size_t kIdentSize = 16;
constexpr uint8_t kClass32 = 1, kClass64 = 2;
constexpr uint8_t kDataLittle = 1, kDataBig = 2;
constexpr uint32_t kShtNobits = 8;
constexpr uint64_t kMaxSections = 65535;

// Reads bytes at absolute offsets of the file through a callback, so the file need not be read whole.
template <typename ReadAt>
class ElfReader {
public:
  ElfReader(ReadAt readAt, uint64_t fileSize) : readAt_(readAt), fileSize_(fileSize) {}

  std::optional<FileRange> Find(std::string_view name) {
    std::string ident;
    if (!readAt_(0, kIdentSize, ident) || ident.compare(0, 4, "\x7f" "ELF") != 0) return std::nullopt;
    is64_ = static_cast<uint8_t>(ident[4]) == kClass64;
    if (!is64_ && static_cast<uint8_t>(ident[4]) != kClass32) return std::nullopt;
    uint8_t data = static_cast<uint8_t>(ident[5]);
    if (data != kDataLittle && data != kDataBig) return std::nullopt;
    little_ = data == kDataLittle;
    std::string header;
    if (!readAt_(0, is64_ ? 64 : 52, header)) return std::nullopt;
    uint64_t shoff = is64_ ? Num(header, 0x28, 8) : Num(header, 0x20, 4);
    uint64_t shentsize = Num(header, is64_ ? 0x3A : 0x2E, 2);
    uint64_t shnum = Num(header, is64_ ? 0x3C : 0x30, 2);
    uint64_t shstrndx = Num(header, is64_ ? 0x3E : 0x32, 2);
    uint64_t minEntry = is64_ ? 64 : 40;
    if (shnum == 0 || shnum > kMaxSections || shentsize < minEntry || shstrndx >= shnum) return std::nullopt;
    if (shoff > fileSize_ || shnum * shentsize > fileSize_ - shoff) return std::nullopt;
    std::string table;
    if (!readAt_(shoff, shnum * shentsize, table)) return std::nullopt;
    auto section = [&](uint64_t i) { return std::string_view(table).substr(i * shentsize, shentsize); };
    auto strtab = Range(section(shstrndx));
    if (!strtab) return std::nullopt;
    std::string names;
    if (!readAt_(strtab->offset, strtab->size, names)) return std::nullopt;
    for (uint64_t i = 0; i < shnum; ++i) {
      std::string_view s = section(i);
      uint64_t nameOffset = Num(s, 0, 4);
      if (nameOffset >= names.size()) continue;
      std::string_view sectionName(names.c_str() + nameOffset);
      if (sectionName == name) return Range(s);
    }
    return std::nullopt;
  }

private:
  uint64_t Num(std::string_view b, size_t at, size_t width) const {
    uint64_t v = 0;
    for (size_t k = 0; k < width; ++k) {
      uint64_t byte = static_cast<unsigned char>(b[at + (little_ ? k : width - 1 - k)]);
      v |= byte << (8 * k);
    }
    return v;
  }
  // A section's place in the file; nullopt for one without file bytes or outside the file.
  std::optional<FileRange> Range(std::string_view s) const {
    uint64_t type = Num(s, 4, 4);
    uint64_t offset = is64_ ? Num(s, 0x18, 8) : Num(s, 0x10, 4);
    uint64_t size = is64_ ? Num(s, 0x20, 8) : Num(s, 0x14, 4);
    if (type == kShtNobits || offset > fileSize_ || size > fileSize_ - offset) return std::nullopt;
    return FileRange{offset, size};
  }

  ReadAt readAt_;
  uint64_t fileSize_;
  bool is64_ = true;
  bool little_ = true;
};

}  // namespace

std::optional<FileRange> FindElfSection(std::string_view image, std::string_view name) {
  auto readAt = [image](uint64_t offset, uint64_t size, std::string& out) {
    if (offset > image.size() || size > image.size() - offset) return false;
    out.assign(image.substr(offset, size));
    return true;
  };
  return ElfReader<decltype(readAt)>(readAt, image.size()).Find(name);
}

std::optional<FileRange> FindElfSectionInFile(const std::string& path, std::string_view name) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return std::nullopt;
  auto end = in.tellg();
  if (end < 0) return std::nullopt;
  uint64_t fileSize = static_cast<uint64_t>(end);
  auto readAt = [&in, fileSize](uint64_t offset, uint64_t size, std::string& out) {
    if (offset > fileSize || size > fileSize - offset) return false;
    out.resize(size);
    in.clear();
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(out.data(), static_cast<std::streamsize>(size));
    return static_cast<uint64_t>(in.gcount()) == size;
  };
  return ElfReader<decltype(readAt)>(readAt, fileSize).Find(name);
}

}  // namespace upwend
