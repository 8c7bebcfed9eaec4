// The QMSL library's EFS2 file copies: stat, open, read or write in blocks, close.
#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "engine/qmsl/qmsl_session.h"

namespace upwend {

namespace {

constexpr uint8_t kSubsystemCommand = 0x4B;
constexpr uint8_t kFileSystem = 0x13;
constexpr uint16_t kEfsOpen = 0x0002;
constexpr uint16_t kEfsClose = 0x0003;
constexpr uint16_t kEfsRead = 0x0004;
constexpr uint16_t kEfsWrite = 0x0005;
constexpr uint16_t kEfsMkdir = 0x0009;
constexpr uint16_t kEfsStat = 0x000F;
constexpr uint32_t kOpenReadOnly = 0;
constexpr uint32_t kOpenWriteCreateTruncate = 0x0241;
constexpr uint32_t kModeFile = 0x01B6;
constexpr uint16_t kModeFolder = 0x01FF;
constexpr size_t kReadReplyHead = 20;
// Local files larger than this are no EFS item files; they are refused rather than loaded.
constexpr uintmax_t kMaxLocalFile = 16u << 20;

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void PutPath(std::vector<uint8_t>& out, const std::string& path) {
  out.insert(out.end(), path.begin(), path.end());
  out.push_back(0);
}

std::optional<uint32_t> Get32(const std::vector<uint8_t>& r, size_t offset) {
  if (r.size() < offset + 4) return std::nullopt;
  return static_cast<uint32_t>(r[offset] | (r[offset + 1] << 8) | (r[offset + 2] << 16) |
                               (static_cast<uint32_t>(r[offset + 3]) << 24));
}

bool WriteLocalFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  const std::string temporary = path + ".part";
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const bool closed = std::fclose(file) == 0;
  std::error_code ec;
  if (written && closed) std::filesystem::rename(temporary, path, ec);
  if (!written || !closed || ec) {
    std::filesystem::remove(temporary, ec);
    return false;
  }
  return true;
}

std::optional<std::vector<uint8_t>> ReadLocalFile(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec) || std::filesystem::file_size(path, ec) > kMaxLocalFile || ec) {
    return std::nullopt;
  }
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return std::nullopt;
  std::vector<uint8_t> bytes;
  uint8_t chunk[4096];
  size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) return std::nullopt;
  return bytes;
}

}  // namespace

std::optional<std::vector<uint8_t>> QmslSession::EfsRequest(uint16_t command, std::span<const uint8_t> fields) {
  std::vector<uint8_t> request(4 + fields.size());
  request[0] = kSubsystemCommand;
  request[1] = kFileSystem;
  request[2] = static_cast<uint8_t>(command & 0xFF);
  request[3] = static_cast<uint8_t>(command >> 8);
  std::copy(fields.begin(), fields.end(), request.begin() + 4);
  return Request(request, [&](const std::vector<uint8_t>& r) {
    return r.size() >= 8 && r[0] == request[0] && r[1] == request[1] && r[2] == request[2] && r[3] == request[3];
  });
}

std::optional<uint32_t> QmslSession::EfsStatSize(const std::string& path) {
  std::vector<uint8_t> fields;
  PutPath(fields, path);
  auto reply = EfsRequest(kEfsStat, fields);
  if (!reply) return std::nullopt;
  auto error = Get32(*reply, 4);
  auto size = Get32(*reply, 12);
  if (!error || *error != 0 || !size) return std::nullopt;
  return size;
}

std::optional<int32_t> QmslSession::EfsOpen(const std::string& path, uint32_t flags, uint32_t mode) {
  std::vector<uint8_t> fields;
  Put32(fields, flags);
  Put32(fields, mode);
  PutPath(fields, path);
  auto reply = EfsRequest(kEfsOpen, fields);
  if (!reply) return std::nullopt;
  auto fd = Get32(*reply, 4);
  auto error = Get32(*reply, 8);
  if (!fd || static_cast<int32_t>(*fd) < 0 || (error && *error != 0)) return std::nullopt;
  return static_cast<int32_t>(*fd);
}

bool QmslSession::EfsCloseFile(int32_t fd) {
  std::vector<uint8_t> fields;
  Put32(fields, static_cast<uint32_t>(fd));
  auto reply = EfsRequest(kEfsClose, fields);
  auto error = reply ? Get32(*reply, 4) : std::nullopt;
  return error && *error == 0;
}

void QmslSession::EfsMakeParents(const std::string& path) {
  // Each folder above the file, from the top; a folder that is already there answers with an
  // error that does not matter here.
  std::string folder;
  size_t pos = 0;
  while ((pos = path.find('/', pos)) != std::string::npos) {
    const std::string part = path.substr(0, pos);
    ++pos;
    if (part.empty() || part == folder || part.back() == '/') continue;
    folder = part;
    std::vector<uint8_t> fields = {static_cast<uint8_t>(kModeFolder & 0xFF), static_cast<uint8_t>(kModeFolder >> 8)};
    PutPath(fields, part);
    EfsRequest(kEfsMkdir, fields);
  }
}

bool QmslSession::EfsRead(const std::string& devicePath, const std::string& localPath) {
  std::lock_guard lock(mutex_);
  const std::optional<uint32_t> size = EfsStatSize(devicePath);
  if (!size) return false;
  const std::optional<int32_t> fd = EfsOpen(devicePath, kOpenReadOnly, 0);
  if (!fd) return false;
  std::vector<uint8_t> data;
  bool complete = true;
  while (data.size() < *size) {
    std::vector<uint8_t> fields;
    Put32(fields, static_cast<uint32_t>(*fd));
    Put32(fields, static_cast<uint32_t>(kEfsReadBlock));
    Put32(fields, static_cast<uint32_t>(data.size()));
    auto reply = EfsRequest(kEfsRead, fields);
    auto offset = reply ? Get32(*reply, 8) : std::nullopt;
    auto count = reply ? Get32(*reply, 12) : std::nullopt;
    auto error = reply ? Get32(*reply, 16) : std::nullopt;
    // A file that ends before the size the device gave is not a whole copy.
    if (!offset || !count || !error || *error != 0 || *offset != data.size() || *count == 0 ||
        *count > kEfsReadBlock || reply->size() < kReadReplyHead + *count) {
      complete = false;
      break;
    }
    data.insert(data.end(), reply->begin() + kReadReplyHead, reply->begin() + kReadReplyHead + *count);
  }
  const bool closed = EfsCloseFile(*fd);
  return complete && closed && WriteLocalFile(localPath, data);
}

bool QmslSession::EfsWrite(const std::string& localPath, const std::string& devicePath) {
  std::lock_guard lock(mutex_);
  const std::optional<std::vector<uint8_t>> data = ReadLocalFile(localPath);
  if (!data) return false;
  std::optional<int32_t> fd = EfsOpen(devicePath, kOpenWriteCreateTruncate, kModeFile);
  if (!fd) {
    // The flash may have taken the item folders with it.
    EfsMakeParents(devicePath);
    fd = EfsOpen(devicePath, kOpenWriteCreateTruncate, kModeFile);
    if (!fd) return false;
  }
  bool complete = true;
  for (size_t offset = 0; offset < data->size(); offset += kEfsWriteBlock) {
    const size_t count = std::min(kEfsWriteBlock, data->size() - offset);
    std::vector<uint8_t> fields;
    Put32(fields, static_cast<uint32_t>(*fd));
    Put32(fields, static_cast<uint32_t>(offset));
    fields.insert(fields.end(), data->begin() + offset, data->begin() + offset + count);
    auto reply = EfsRequest(kEfsWrite, fields);
    auto written = reply ? Get32(*reply, 12) : std::nullopt;
    auto error = reply ? Get32(*reply, 16) : std::nullopt;
    if (!reply || (written && *written != count) || (error && *error != 0)) {
      complete = false;
      break;
    }
  }
  const bool closed = EfsCloseFile(*fd);
  return complete && closed;
}

}  // namespace upwend
