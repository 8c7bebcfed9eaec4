#include "platform/payload_archive.h"

#include <fmt/format.h>


#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <utility>

#include "platform/elf_section.h"
#include "platform/ini_file.h"
#include "platform/objcopy.h"

namespace upwend {

namespace {

constexpr char kMagic[8] = {'U', 'P', 'W', 'P', 'A', 'Y', '0', '1'};
constexpr size_t kMinEntrySize = 1 + 1 + 2 + 1 + 8 + 8 + 4;
constexpr size_t kChunk = 1 << 16;

// Files are written beside their target as TARGET.partial and renamed over it when complete: a
// program that has the old file open or mapped (another running copy, a loaded library) keeps
// its bytes intact, and a failure never leaves half a file under the target's name.
std::string PartialName(const std::string& target) { return target + ".partial"; }

// Drops an unfinished partial file and returns why.
Expected<void, std::string> Abandon(std::ofstream& out, const std::string& partial, std::string why) {
  out.close();
  std::remove(partial.c_str());
  return Unexpected(std::move(why));
}

Expected<void, std::string> RenameOver(const std::string& partial, const std::string& target) {
  std::error_code ec;
  std::filesystem::rename(partial, target, ec);
  if (ec) {
    std::remove(partial.c_str());
    return Unexpected(fmt::format("cannot write {}: {}", target, ec.message()));
  }
  return {};
}

// rwxr-xr-x: a product is a program its users start.
void MakeProgramFile(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read |
                            fs::perms::others_exec, ec);
}

std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t[i] = c;
  }
  return t;
}

class Reader {
public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}
  bool Take(size_t n, std::string_view& out) {
    if (bytes_.size() - pos_ < n) return false;
    out = bytes_.substr(pos_, n);
    pos_ += n;
    return true;
  }
  template <typename T>
  bool Number(T& out) {
    std::string_view b;
    if (!Take(sizeof(T), b)) return false;
    uint64_t v = 0;
    for (size_t i = 0; i < sizeof(T); ++i) v |= uint64_t{static_cast<unsigned char>(b[i])} << (8 * i);
    out = static_cast<T>(v);
    return true;
  }
  size_t left() const { return bytes_.size() - pos_; }

private:
  std::string_view bytes_;
  size_t pos_ = 0;
};

template <typename T>
void PutNumber(std::string& out, T v) {
  for (size_t i = 0; i < sizeof(T); ++i) out += static_cast<char>((static_cast<uint64_t>(v) >> (8 * i)) & 0xFF);
}

Expected<uint64_t, std::string> FileSize(const std::string& path) {
  std::error_code ec;
  auto size = std::filesystem::file_size(path, ec);
  if (ec) return Unexpected(fmt::format("cannot read {}: {}", path, ec.message()));
  return static_cast<uint64_t>(size);
}

Expected<std::string, std::string> ReadRange(const std::string& path, uint64_t offset, uint64_t size) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return Unexpected(fmt::format("cannot open {}", path));
  in.seekg(static_cast<std::streamoff>(offset));
  std::string out(size, '\0');
  in.read(out.data(), static_cast<std::streamsize>(size));
  if (static_cast<uint64_t>(in.gcount()) != size) return Unexpected(fmt::format("cannot read {}: file ends early", path));
  return out;
}

bool NameIsSound(std::string_view name, size_t maxLen) {
  if (name.empty() || name.size() > maxLen) return false;
  for (char c : name) {
    if (static_cast<unsigned char>(c) <= ' ' || c == '/' || c == '\\' || c == '#') return false;
  }
  return name != "." && name != "..";
}

}  // namespace

uint32_t Crc32(std::string_view bytes, uint32_t crc) {
  static const std::array<uint32_t, 256> kTable = MakeCrcTable();
  crc = ~crc;
  for (char ch : bytes) crc = kTable[(crc ^ static_cast<unsigned char>(ch)) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

Expected<ParsedIndex, std::string> ParsePayloadIndex(std::string_view indexBytes, uint64_t dataSize) {
  Reader r(indexBytes);
  uint32_t count = 0;
  if (!r.Number(count)) return Unexpected("payload index is truncated");
  if (count > r.left() / kMinEntrySize) return Unexpected("payload index is corrupt: too many entries");
  ParsedIndex out;
  out.entries.reserve(count);
  std::set<std::pair<std::string, std::string>> seen;
  for (uint32_t i = 0; i < count; ++i) {
    ResourceEntry e;
    uint8_t typeLen = 0;
    uint16_t nameLen = 0;
    std::string_view type;
    std::string_view name;
    if (!r.Number(typeLen) || !r.Take(typeLen, type) || !r.Number(nameLen) || !r.Take(nameLen, name) ||
        !r.Number(e.offset) || !r.Number(e.size) || !r.Number(e.crc)) {
      return Unexpected(fmt::format("payload index is truncated at entry {}", i));
    }
    if (!NameIsSound(type, 255) || !NameIsSound(name, 65535)) {
      return Unexpected(fmt::format("payload index is corrupt: bad name at entry {}", i));
    }
    if (e.offset > dataSize || e.size > dataSize - e.offset) {
      return Unexpected(fmt::format("payload index is corrupt: resource {} lies outside the archive", name));
    }
    e.type = std::string(type);
    e.name = std::string(name);
    if (!seen.emplace(AsciiLower(e.name), AsciiLower(e.type)).second) {
      return Unexpected(fmt::format("payload index is corrupt: resource {} ({}) appears twice", e.name, e.type));
    }
    out.entries.push_back(std::move(e));
  }
  if (r.left() != 0) return Unexpected("payload index is corrupt: bytes after the last entry");
  return out;
}

Expected<PayloadArchive, std::string> PayloadArchive::FromTail(std::string_view bytes, uint64_t fileSize) {
  if (bytes.size() < kPayloadTrailerSize || fileSize < bytes.size()) return Unexpected("no payload archive (file too short)");
  Reader t(bytes.substr(bytes.size() - kPayloadTrailerSize));
  std::string_view magic;
  uint64_t archiveSize = 0;
  uint64_t indexSize = 0;
  uint32_t indexCrc = 0;
  uint32_t zero = 0;
  t.Take(8, magic);
  t.Number(archiveSize);
  t.Number(indexSize);
  t.Number(indexCrc);
  t.Number(zero);
  if (std::memcmp(magic.data(), kMagic, sizeof kMagic) != 0) return Unexpected("no payload archive (no trailer)");
  if (archiveSize < kPayloadTrailerSize || archiveSize > fileSize || zero != 0) {
    return Unexpected("payload archive is truncated or corrupt (bad archive size)");
  }
  if (indexSize > archiveSize - kPayloadTrailerSize) return Unexpected("payload archive is corrupt (bad index size)");
  uint64_t tailNeeded = indexSize + kPayloadTrailerSize;
  if (bytes.size() < tailNeeded) return Unexpected("payload archive: index not in the bytes given");
  std::string_view index = bytes.substr(bytes.size() - tailNeeded, indexSize);
  if (Crc32(index) != indexCrc) return Unexpected("payload archive is corrupt (index checksum)");
  auto parsed = ParsePayloadIndex(index, archiveSize - tailNeeded);
  if (!parsed) return Unexpected(parsed.error());
  PayloadArchive a;
  a.archiveStart_ = fileSize - archiveSize;
  a.entries_ = std::move(parsed->entries);
  return a;
}

Expected<PayloadArchive, std::string> PayloadArchive::Open(const std::string& path) {
  auto size = FileSize(path);
  if (!size) return Unexpected(size.error());
  // The archive ends where its ELF section ends, or, in a program it was appended to, at the end
  // of the file.
  uint64_t regionStart = 0;
  uint64_t regionEnd = *size;
  if (auto section = FindElfSectionInFile(path, kPayloadSection)) {
    regionStart = section->offset;
    regionEnd = section->offset + section->size;
  }
  uint64_t regionSize = regionEnd - regionStart;
  if (regionSize < kPayloadTrailerSize) return Unexpected(fmt::format("{} carries no payload", path));
  auto trailer = ReadRange(path, regionEnd - kPayloadTrailerSize, kPayloadTrailerSize);
  if (!trailer) return Unexpected(trailer.error());
  if (std::memcmp(trailer->data(), kMagic, sizeof kMagic) != 0) return Unexpected(fmt::format("{} carries no payload", path));
  Reader t(std::string_view(*trailer).substr(8));
  uint64_t archiveSize = 0;
  uint64_t indexSize = 0;
  t.Number(archiveSize);
  t.Number(indexSize);
  if (indexSize > regionSize - kPayloadTrailerSize) return Unexpected(fmt::format("{}: payload archive is corrupt (bad index size)", path));
  auto tail = ReadRange(path, regionEnd - kPayloadTrailerSize - indexSize, indexSize + kPayloadTrailerSize);
  if (!tail) return Unexpected(tail.error());
  auto a = FromTail(*tail, regionSize);
  if (!a) return Unexpected(fmt::format("{}: {}", path, a.error()));
  a->path_ = path;
  a->archiveStart_ += regionStart;
  return a;
}

const ResourceEntry* PayloadArchive::Find(std::string_view name, std::string_view type) const {
  for (const ResourceEntry& e : entries_) {
    if (EqualsNoCase(e.name, name) && EqualsNoCase(e.type, type)) return &e;
  }
  return nullptr;
}

Expected<std::string, std::string> PayloadArchive::Read(const ResourceEntry& entry) const {
  auto bytes = ReadRange(path_, archiveStart_ + entry.offset, entry.size);
  if (!bytes) return Unexpected(bytes.error());
  if (Crc32(*bytes) != entry.crc) return Unexpected(fmt::format("resource {} is damaged (checksum)", entry.name));
  return bytes;
}

Expected<void, std::string> PayloadArchive::WriteTo(const ResourceEntry& entry, const std::string& path) const {
  std::ifstream in(path_, std::ios::binary);
  if (!in) return Unexpected(fmt::format("cannot open {}", path_));
  in.seekg(static_cast<std::streamoff>(archiveStart_ + entry.offset));
  std::string tmp = PartialName(path);
  std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
  if (!out) return Unexpected(fmt::format("cannot create {}", path));
  auto fail = [&](std::string why) { return Abandon(out, tmp, std::move(why)); };
  std::string buf(kChunk, '\0');
  uint64_t left = entry.size;
  uint32_t crc = 0;
  while (left > 0) {
    size_t n = static_cast<size_t>(std::min<uint64_t>(left, kChunk));
    in.read(buf.data(), static_cast<std::streamsize>(n));
    if (static_cast<size_t>(in.gcount()) != n) return fail(fmt::format("cannot read resource {}: file ends early", entry.name));
    crc = Crc32(std::string_view(buf.data(), n), crc);
    out.write(buf.data(), static_cast<std::streamsize>(n));
    if (!out) return fail(fmt::format("cannot write {}", path));
    left -= n;
  }
  if (crc != entry.crc) return fail(fmt::format("resource {} is damaged (checksum)", entry.name));
  out.close();
  if (!out) return fail(fmt::format("cannot write {}", path));
  // Helper programs are started from where they are written.
  if (EqualsNoCase(entry.type, "EXE")) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::permissions(tmp, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec, fs::perm_options::add, ec);
    if (ec) return fail(fmt::format("cannot make {} executable: {}", path, ec.message()));
  }
  return RenameOver(tmp, path);
}

Expected<uint64_t, std::string> ProgramSizeWithoutPayload(const std::string& path) {
  auto size = FileSize(path);
  if (!size) return Unexpected(size.error());
  // A payload in a section is dropped by objcopy when the program is packed again.
  if (FindElfSectionInFile(path, kPayloadSection)) return *size;
  auto a = PayloadArchive::Open(path);
  return a ? a->archiveStart() : *size;
}

namespace {

// Writes the first `programSize` bytes of `program` followed by the archive of `inputs` to `out`.
Expected<void, std::string> WriteAppended(const std::string& program, uint64_t programSize,
                                          const std::vector<PayloadInput>& inputs, const std::string& out) {
  std::set<std::pair<std::string, std::string>> seen;
  for (const PayloadInput& in : inputs) {
    if (!NameIsSound(in.type, 255) || !NameIsSound(in.name, 65535)) {
      return Unexpected(fmt::format("bad resource name or type: {} {}", in.type, in.name));
    }
    if (!seen.emplace(AsciiLower(in.name), AsciiLower(in.type)).second) {
      return Unexpected(fmt::format("resource {} of type {} is given twice", in.name, in.type));
    }
  }
  std::string tmp = PartialName(out);
  std::ofstream o(tmp, std::ios::binary | std::ios::trunc);
  if (!o) return Unexpected(fmt::format("cannot create {}", tmp));
  auto fail = [&](std::string why) { return Abandon(o, tmp, std::move(why)); };
  auto copy = [&](const std::string& from, uint64_t size, uint32_t* crc) -> Expected<void, std::string> {
    std::ifstream i(from, std::ios::binary);
    if (!i) return Unexpected(fmt::format("cannot open {}", from));
    std::string buf(kChunk, '\0');
    uint64_t left = size;
    while (left > 0) {
      size_t n = static_cast<size_t>(std::min<uint64_t>(left, kChunk));
      i.read(buf.data(), static_cast<std::streamsize>(n));
      if (static_cast<size_t>(i.gcount()) != n) return Unexpected(fmt::format("cannot read {}", from));
      if (crc) *crc = Crc32(std::string_view(buf.data(), n), *crc);
      o.write(buf.data(), static_cast<std::streamsize>(n));
      left -= n;
    }
    return {};
  };
  if (auto r = copy(program, programSize, nullptr); !r) return fail(r.error());

  std::string index;
  PutNumber<uint32_t>(index, static_cast<uint32_t>(inputs.size()));
  uint64_t offset = 0;
  for (const PayloadInput& in : inputs) {
    auto size = FileSize(in.file);
    if (!size) return fail(size.error());
    uint32_t crc = 0;
    if (auto r = copy(in.file, *size, &crc); !r) return fail(r.error());
    PutNumber<uint8_t>(index, static_cast<uint8_t>(in.type.size()));
    index += in.type;
    PutNumber<uint16_t>(index, static_cast<uint16_t>(in.name.size()));
    index += in.name;
    PutNumber<uint64_t>(index, offset);
    PutNumber<uint64_t>(index, *size);
    PutNumber<uint32_t>(index, crc);
    offset += *size;
  }
  std::string trailer(kMagic, sizeof kMagic);
  PutNumber<uint64_t>(trailer, offset + index.size() + kPayloadTrailerSize);
  PutNumber<uint64_t>(trailer, index.size());
  PutNumber<uint32_t>(trailer, Crc32(index));
  PutNumber<uint32_t>(trailer, 0);
  o.write(index.data(), static_cast<std::streamsize>(index.size()));
  o.write(trailer.data(), static_cast<std::streamsize>(trailer.size()));
  o.close();
  if (!o) return fail(fmt::format("cannot write {}", tmp));
  MakeProgramFile(tmp);
  return RenameOver(tmp, out);
}

Expected<void, std::string> CopyPrefix(const std::string& from, uint64_t size, const std::string& to) {
  auto bytes = ReadRange(from, 0, size);
  if (!bytes) return Unexpected(bytes.error());
  std::ofstream o(to, std::ios::binary | std::ios::trunc);
  o.write(bytes->data(), static_cast<std::streamsize>(bytes->size()));
  o.close();
  if (!o) return Unexpected(fmt::format("cannot write {}", to));
  return {};
}

bool IsElf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  char magic[4] = {};
  in.read(magic, sizeof magic);
  return in.gcount() == 4 && std::memcmp(magic, "\x7f" "ELF", 4) == 0;
}

}  // namespace

Expected<void, std::string> WritePayloadProgram(const std::string& program, const std::vector<PayloadInput>& inputs,
                                                const std::string& out) {
  auto programSize = ProgramSizeWithoutPayload(program);
  if (!programSize) return Unexpected(programSize.error());
  if (!IsElf(program)) return WriteAppended(program, *programSize, inputs, out);
  // An ELF program carries the archive in a section of its own: strip keeps sections it does not
  // know, while it drops bytes appended after the last one.
  std::string archive = out + ".payload";
  std::string bare = out + ".bare";
  auto cleanup = [&] {
    std::remove(archive.c_str());
    std::remove(bare.c_str());
  };
  if (auto r = WriteAppended(program, 0, inputs, archive); !r) return r;
  if (auto r = CopyPrefix(program, *programSize, bare); !r) {
    cleanup();
    return r;
  }
  std::string tmp = PartialName(out);
  auto r = RunObjcopy({"--remove-section=" + std::string(kPayloadSection), "--add-section",
                       std::string(kPayloadSection) + "=" + archive, "--set-section-flags",
                       std::string(kPayloadSection) + "=readonly,data", bare, tmp});
  cleanup();
  if (!r) {
    std::remove(tmp.c_str());
    return r;
  }
  MakeProgramFile(tmp);
  return RenameOver(tmp, out);
}

}  // namespace upwend
