#pragma once
// EFS2 requests of the DIAG file system subsystem: how each request is laid out and how the
// replies the tool reads are taken apart. No I/O here, so the QMSL library and the fuzz targets
// use the same code. Every integer field is little-endian; paths go out as their characters
// followed by one 0x00. The decoders look only at the bytes a reply really has.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace upwend {

using EfsBytes = std::vector<uint8_t>;

constexpr uint8_t kDiagSubsysCmd = 0x4B;
constexpr uint8_t kDiagSubsysFs = 0x13;

enum class Efs2Cmd : uint16_t {
  kOpen = 0x0002,
  kClose = 0x0003,
  kRead = 0x0004,
  kWrite = 0x0005,
  kUnlink = 0x0008,
  kMkdir = 0x0009,
  kRmdir = 0x000A,
  kOpendir = 0x000B,
  kReaddir = 0x000C,
  kClosedir = 0x000D,
  kStat = 0x000F,
  kStatfs = 0x0013,
};

// Open flags and modes the tool uses.
constexpr uint32_t kEfsOpenReadFlags = 0x0000;
constexpr uint32_t kEfsOpenReadMode = 0x0124;    // 0444
constexpr uint32_t kEfsOpenWriteFlags = 0x0241;  // write-only, create, truncate
constexpr uint32_t kEfsOpenWriteMode = 0x01B6;   // 0666
constexpr uint16_t kEfsMkdirMode = 0x01FF;       // 0777

// The tool keeps one file and one folder open and relies on these numbers.
constexpr uint32_t kEfsFileDescriptor = 0;
constexpr uint32_t kEfsDirHandle = 1;

constexpr size_t kEfsReadChunk = 512;
constexpr size_t kEfsWriteChunk = 1488;

// Device error numbers the replies are tested against.
constexpr uint8_t kEfsErrNoEntry = 2;
constexpr uint8_t kEfsErrExists = 6;
// The POSIX "exists" a device may also give for a folder that is already there.
constexpr uint8_t kEfsErrExistsPosix = 17;

// Readdir entry types and the folder/plain-file bits of a mode's second byte.
constexpr uint32_t kEfsEntryFile = 0;
constexpr uint32_t kEfsEntryDir = 1;

EfsBytes EncodeEfsOpen(uint32_t flags, uint32_t mode, std::string_view path);
EfsBytes EncodeEfsClose(uint32_t descriptor);
EfsBytes EncodeEfsRead(uint32_t descriptor, uint32_t count, uint32_t offset);
EfsBytes EncodeEfsWrite(uint32_t descriptor, uint32_t offset, std::span<const uint8_t> data);
EfsBytes EncodeEfsUnlink(std::string_view path);
EfsBytes EncodeEfsMkdir(uint16_t mode, std::string_view path);
EfsBytes EncodeEfsRmdir(std::string_view path);
EfsBytes EncodeEfsOpendir(std::string_view path);
// The sequence number goes out in all four bytes, so folders of more than 255 entries list on.
EfsBytes EncodeEfsReaddir(uint32_t handle, uint32_t sequence);
EfsBytes EncodeEfsClosedir(uint32_t handle);
EfsBytes EncodeEfsStat(std::string_view path);
EfsBytes EncodeEfsStatfs();

// The payload of a reply: the received content without its two check bytes.
std::span<const uint8_t> EfsPayload(std::span<const uint8_t> contentWithCheck);

// Whether a payload begins with 0x4B 0x13 and the command's low byte (bytes 0-2), and, with
// `fullCode`, also the command's high byte (byte 3).
bool HasEfsHeader(std::span<const uint8_t> payload, Efs2Cmd cmd, bool fullCode = false);
// Byte 4 (an error or descriptor, low byte); nullopt when the payload is too short.
std::optional<uint8_t> EfsByte4(std::span<const uint8_t> payload);
uint32_t ReadLe32(std::span<const uint8_t> bytes, size_t offset);

struct EfsStatReply {
  uint32_t error = 0;
  uint32_t mode = 0;
  uint32_t size = 0;
  uint32_t linkCount = 0;
};
std::optional<EfsStatReply> ParseEfsStat(std::span<const uint8_t> payload);

struct EfsReadReply {
  uint32_t descriptor = 0;
  uint32_t offset = 0;
  uint32_t count = 0;
  uint32_t error = 0;
  std::span<const uint8_t> data;  // from byte 20 to the end of the payload
};
std::optional<EfsReadReply> ParseEfsRead(std::span<const uint8_t> payload);

struct EfsDirEntry {
  uint32_t handle = 0;
  uint32_t sequence = 0;
  uint32_t error = 0;
  uint32_t type = 0;
  uint32_t mode = 0;
  uint32_t size = 0;
  std::string name;  // from byte 40 up to its 0x00 or the end of the payload, however long
  uint8_t ModeByte0() const { return static_cast<uint8_t>(mode & 0xFF); }
  uint8_t ModeByte1() const { return static_cast<uint8_t>((mode >> 8) & 0xFF); }
};
// A readdir reply of at least the 40 fixed bytes.
std::optional<EfsDirEntry> ParseEfsReaddir(std::span<const uint8_t> payload);

enum class EfsEntryKind { kFolder, kFile, kEnd, kOther };
// Folder: type 1 with mode byte 1 from 0x40 to 0x4F; plain file: type 0 with mode byte 1 from
// 0x80 to 0x8F; end of the folder: type 0 with mode byte 0 equal to 0; anything else is skipped.
EfsEntryKind ClassifyEfsEntry(const EfsDirEntry& entry);

// "%s%s" when the folder ends with "/", else "%s/%s"; then a leading "/" dropped from a result
// longer than one character.
std::string JoinEfsPath(std::string_view folder, std::string_view name);

}  // namespace upwend
