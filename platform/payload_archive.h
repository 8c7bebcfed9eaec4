#pragma once
// The payload archive: named resources of custom types appended to an executable, as a
// Windows program carries resources. Layout (all numbers little-endian):
//
//   [resource bytes ...][index][trailer]
//   index:   u32 count, then per resource: u8 type length, type, u16 name length, name,
//            u64 offset (from the start of the archive), u64 size, u32 CRC-32 of the bytes
//   trailer: "UPWPAY01", u64 archive size (index and trailer included), u64 index size,
//            u32 CRC-32 of the index, u32 zero
//
// The reader trusts nothing: every length, offset and count is checked against the file, the
// index carries a checksum, and each resource's checksum is checked when it is read, so a
// truncated or damaged archive gives a clear error and never a crash or a wrong file.
// Names and types are matched without regard to case.
#include <cstdint>
#include "platform/expected.h"
#include <string>
#include <string_view>
#include <vector>

namespace upwend {

uint32_t Crc32(std::string_view bytes, uint32_t crc = 0);

struct ResourceEntry {
  std::string type;
  std::string name;
  uint64_t offset = 0;  // from the start of the archive
  uint64_t size = 0;
  uint32_t crc = 0;
};

constexpr size_t kPayloadTrailerSize = 32;
// The ELF section that carries the archive in a packed program (survives strip).
inline constexpr const char* kPayloadSection = ".upwend_payload";

struct ParsedIndex {
  std::vector<ResourceEntry> entries;
};

// Parses an index of `indexBytes` for an archive whose resource bytes span `dataSize` bytes.
Expected<ParsedIndex, std::string> ParsePayloadIndex(std::string_view indexBytes, uint64_t dataSize);

class PayloadArchive {
public:
  // Reads the archive at the end of the file. An error when the file has none or it is damaged.
  static Expected<PayloadArchive, std::string> Open(const std::string& path);
  // Parses an archive held in memory (the whole file or just its tail); for checks and fuzzing.
  static Expected<PayloadArchive, std::string> FromTail(std::string_view bytes, uint64_t fileSize);

  const std::vector<ResourceEntry>& entries() const { return entries_; }
  // The resource of that name and type, compared without regard to case; nullptr when absent.
  const ResourceEntry* Find(std::string_view name, std::string_view type) const;
  // Where the archive starts in the file (the size of the program without its payload).
  uint64_t archiveStart() const { return archiveStart_; }

  // The resource's bytes, checked against its checksum.
  Expected<std::string, std::string> Read(const ResourceEntry& entry) const;
  // Writes the resource to `path` (replacing it); on any error the partial file is removed.
  Expected<void, std::string> WriteTo(const ResourceEntry& entry, const std::string& path) const;

private:
  std::string path_;
  uint64_t archiveStart_ = 0;
  std::vector<ResourceEntry> entries_;
};

// The size of a program file without any payload archive appended to it.
Expected<uint64_t, std::string> ProgramSizeWithoutPayload(const std::string& path);

struct PayloadInput {
  std::string type;
  std::string name;
  std::string file;  // where the bytes come from
};

// Writes `program` (without any payload it already carries) with an archive of `inputs` to `out`,
// made executable: an ELF program gets the archive as its section kPayloadSection (through
// objcopy), any other file gets it appended. Refuses an empty or over-long name or type and a (name, type)
// given twice (without regard to case).
Expected<void, std::string> WritePayloadProgram(const std::string& program, const std::vector<PayloadInput>& inputs,
                                                     const std::string& out);

}  // namespace upwend
