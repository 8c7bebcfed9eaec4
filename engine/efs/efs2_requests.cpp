#include "engine/efs/efs2_requests.h"

#include <algorithm>
#include <initializer_list>

namespace upwend {

namespace {

constexpr size_t kHeaderSize = 4;
constexpr size_t kCheckBytes = 2;
constexpr size_t kStatFixed = 20;
constexpr size_t kReadDataOffset = 20;
constexpr size_t kReaddirNameOffset = 40;

EfsBytes Header(Efs2Cmd cmd) {
  const auto code = static_cast<uint16_t>(cmd);
  return {kDiagSubsysCmd, kDiagSubsysFs, static_cast<uint8_t>(code & 0xFF), static_cast<uint8_t>(code >> 8)};
}

void PutLe32(EfsBytes& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void PutLe16(EfsBytes& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value & 0xFF));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

void PutPath(EfsBytes& out, std::string_view path) {
  out.insert(out.end(), path.begin(), path.end());
  out.push_back(0x00);
}

EfsBytes PathRequest(Efs2Cmd cmd, std::string_view path) {
  EfsBytes out = Header(cmd);
  PutPath(out, path);
  return out;
}

// A request whose fields are all 32-bit values, in the order given.
EfsBytes Le32Request(Efs2Cmd cmd, std::initializer_list<uint32_t> fields) {
  EfsBytes out = Header(cmd);
  for (uint32_t field : fields) PutLe32(out, field);
  return out;
}

}  // namespace

EfsBytes EncodeEfsOpen(uint32_t flags, uint32_t mode, std::string_view path) {
  EfsBytes out = Header(Efs2Cmd::kOpen);
  PutLe32(out, flags);
  PutLe32(out, mode);
  PutPath(out, path);
  return out;
}

EfsBytes EncodeEfsClose(uint32_t descriptor) { return Le32Request(Efs2Cmd::kClose, {descriptor}); }

EfsBytes EncodeEfsRead(uint32_t descriptor, uint32_t count, uint32_t offset) {
  return Le32Request(Efs2Cmd::kRead, {descriptor, count, offset});
}

EfsBytes EncodeEfsWrite(uint32_t descriptor, uint32_t offset, std::span<const uint8_t> data) {
  EfsBytes out = Header(Efs2Cmd::kWrite);
  PutLe32(out, descriptor);
  PutLe32(out, offset);
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

EfsBytes EncodeEfsUnlink(std::string_view path) { return PathRequest(Efs2Cmd::kUnlink, path); }

EfsBytes EncodeEfsMkdir(uint16_t mode, std::string_view path) {
  EfsBytes out = Header(Efs2Cmd::kMkdir);
  PutLe16(out, mode);
  PutPath(out, path);
  return out;
}

EfsBytes EncodeEfsRmdir(std::string_view path) { return PathRequest(Efs2Cmd::kRmdir, path); }
EfsBytes EncodeEfsOpendir(std::string_view path) { return PathRequest(Efs2Cmd::kOpendir, path); }

EfsBytes EncodeEfsReaddir(uint32_t handle, uint32_t sequence) {
  return Le32Request(Efs2Cmd::kReaddir, {handle, sequence});
}

EfsBytes EncodeEfsClosedir(uint32_t handle) { return Le32Request(Efs2Cmd::kClosedir, {handle}); }

EfsBytes EncodeEfsStat(std::string_view path) { return PathRequest(Efs2Cmd::kStat, path); }
EfsBytes EncodeEfsStatfs() { return PathRequest(Efs2Cmd::kStatfs, ""); }

std::span<const uint8_t> EfsPayload(std::span<const uint8_t> contentWithCheck) {
  if (contentWithCheck.size() < kCheckBytes) return {};
  return contentWithCheck.first(contentWithCheck.size() - kCheckBytes);
}

bool HasEfsHeader(std::span<const uint8_t> payload, Efs2Cmd cmd, bool fullCode) {
  const auto code = static_cast<uint16_t>(cmd);
  if (payload.size() < (fullCode ? kHeaderSize : 3)) return false;
  if (payload[0] != kDiagSubsysCmd || payload[1] != kDiagSubsysFs || payload[2] != (code & 0xFF)) return false;
  return !fullCode || payload[3] == (code >> 8);
}

std::optional<uint8_t> EfsByte4(std::span<const uint8_t> payload) {
  if (payload.size() <= kHeaderSize) return std::nullopt;
  return payload[kHeaderSize];
}

uint32_t ReadLe32(std::span<const uint8_t> bytes, size_t offset) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4 && offset + i < bytes.size(); ++i) value |= static_cast<uint32_t>(bytes[offset + i]) << (8 * i);
  return value;
}

std::optional<EfsStatReply> ParseEfsStat(std::span<const uint8_t> payload) {
  if (payload.size() < kStatFixed) return std::nullopt;
  return EfsStatReply{ReadLe32(payload, 4), ReadLe32(payload, 8), ReadLe32(payload, 12), ReadLe32(payload, 16)};
}

std::optional<EfsReadReply> ParseEfsRead(std::span<const uint8_t> payload) {
  if (payload.size() < kReadDataOffset) return std::nullopt;
  return EfsReadReply{ReadLe32(payload, 4), ReadLe32(payload, 8), ReadLe32(payload, 12), ReadLe32(payload, 16),
                      payload.subspan(kReadDataOffset)};
}

std::optional<EfsDirEntry> ParseEfsReaddir(std::span<const uint8_t> payload) {
  if (payload.size() < kReaddirNameOffset) return std::nullopt;
  EfsDirEntry entry;
  entry.handle = ReadLe32(payload, 4);
  entry.sequence = ReadLe32(payload, 8);
  entry.error = ReadLe32(payload, 12);
  entry.type = ReadLe32(payload, 16);
  entry.mode = ReadLe32(payload, 20);
  entry.size = ReadLe32(payload, 24);
  const auto name = payload.subspan(kReaddirNameOffset);
  const auto end = std::find(name.begin(), name.end(), uint8_t{0});
  entry.name.assign(name.begin(), end);
  return entry;
}

EfsEntryKind ClassifyEfsEntry(const EfsDirEntry& entry) {
  const uint8_t high = entry.ModeByte1();
  if (entry.type == kEfsEntryDir && high >= 0x40 && high <= 0x4F) return EfsEntryKind::kFolder;
  if (entry.type == kEfsEntryFile && high >= 0x80 && high <= 0x8F) return EfsEntryKind::kFile;
  if (entry.type == kEfsEntryFile && entry.ModeByte0() == 0) return EfsEntryKind::kEnd;
  return EfsEntryKind::kOther;
}

std::string JoinEfsPath(std::string_view folder, std::string_view name) {
  std::string path(folder);
  if (path.empty() || path.back() != '/') path += '/';
  path += name;
  if (path.size() > 1 && path.front() == '/') path.erase(0, 1);
  return path;
}

}  // namespace upwend
