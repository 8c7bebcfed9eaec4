#include "sim/efs_service.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

namespace upwend::sim {
namespace fs = std::filesystem;
namespace {

constexpr uint16_t kHello = 0x00, kOpen = 0x02, kClose = 0x03, kRead = 0x04, kWrite = 0x05, kUnlink = 0x08,
                   kMkdir = 0x09, kRmdir = 0x0A, kOpendir = 0x0B, kReaddir = 0x0C, kClosedir = 0x0D,
                   kStat = 0x0F, kStatfs = 0x13;
constexpr uint32_t kFileMode = 0100666;  // what the device reports for every plain file
constexpr uint32_t kDirMode = 040777;
constexpr size_t kHeader = 4;
constexpr uint32_t kNoHandle = 0xFFFFFFFF;

uint32_t Get32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) | (uint32_t(b[at + 1]) << 8) | (uint32_t(b[at + 2]) << 16) | (uint32_t(b[at + 3]) << 24);
}

void Put32(std::vector<uint8_t>& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// Whether the request carries `n` bytes after its header.
bool Need(const std::vector<uint8_t>& req, size_t n) { return req.size() >= kHeader + n; }

// The NUL-terminated path that starts at `at`; nullopt when there is no terminator.
std::optional<std::string> GetPath(const std::vector<uint8_t>& b, size_t at) {
  if (at > b.size()) return std::nullopt;
  auto end = std::find(b.begin() + static_cast<long>(at), b.end(), 0);
  if (end == b.end()) return std::nullopt;
  return std::string(b.begin() + static_cast<long>(at), end);
}

uint32_t ErrnoCode(int e) {
  switch (e) {
    case ENOENT: return EfsService::kENOENT;
    case EEXIST: return EfsService::kEEXIST;
    case ENOTDIR: return EfsService::kENOTDIR;
    case EISDIR: return EfsService::kEISDIR;
    case ENOTEMPTY: return EfsService::kENOTEMPTY;
    case ENOSPC: return EfsService::kENOSPC;
    case ENAMETOOLONG: return EfsService::kENAMETOOLONG;
    case EACCES: return EfsService::kEACCES;
    default: return EfsService::kEINVAL;
  }
}

template <typename Map>
uint32_t LowestFree(const Map& m, uint32_t first) {
  uint32_t h = first;
  while (m.count(h)) ++h;
  return h;
}

}  // namespace

EfsService::~EfsService() { CloseAll(); }

void EfsService::CloseAll() {
  for (auto& [h, f] : files_) close(f.fd);
  files_.clear();
  dirs_.clear();
}

std::optional<std::string> EfsService::HostPath(const std::string& devicePath, uint32_t& error) const {
  std::string norm = NormalizeEfsPath(devicePath);
  if (norm.size() > 1024) {
    error = kENAMETOOLONG;
    return std::nullopt;
  }
  size_t start = 0;
  while (start <= norm.size() && !norm.empty()) {
    size_t slash = norm.find('/', start);
    std::string part = norm.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    if (part == "." || part == "..") {
      error = kEINVAL;
      return std::nullopt;
    }
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  if (norm.find('\0') != std::string::npos) {
    error = kEINVAL;
    return std::nullopt;
  }
  if (auto injected = faults_.EfsError(norm)) {
    error = *injected;
    return std::nullopt;
  }
  return norm.empty() ? root_ : root_ + "/" + norm;
}

std::optional<EfsService::NamedPath> EfsService::PathAt(const std::vector<uint8_t>& req, size_t at) const {
  auto path = GetPath(req, at);
  if (!path) return std::nullopt;
  NamedPath named{*path, std::nullopt, 0};
  named.host = HostPath(named.device, named.error);
  return named;
}

std::optional<std::vector<uint8_t>> EfsService::Handle(const std::vector<uint8_t>& req) {
  if (req.size() < kHeader) return std::nullopt;
  uint16_t code = static_cast<uint16_t>(req[2] | (req[3] << 8));
  std::vector<uint8_t> r(req.begin(), req.begin() + kHeader);
  switch (code) {
    case kHello:
      // The whole request back: the host's window parameters echoed, as an agreement.
      return req;
    case kOpen: return Open(req, r);
    case kClose: return Close(req, r);
    case kRead: return Read(req, r);
    case kWrite: return Write(req, r);
    case kUnlink:
    case kRmdir:
    case kMkdir: return ChangePath(code, req, r);
    case kOpendir: return Opendir(req, r);
    case kReaddir: return Readdir(req, r);
    case kClosedir: return Closedir(req, r);
    case kStat: return Stat(req, r);
    case kStatfs: return Statfs(req, r);
    default: return std::nullopt;
  }
}

std::optional<std::vector<uint8_t>> EfsService::Open(const std::vector<uint8_t>& req, std::vector<uint8_t>& r) {
  if (!Need(req, 8)) return std::nullopt;
  uint32_t flags = Get32(req, 4);
  auto named = PathAt(req, 12);
  if (!named) return std::nullopt;
  auto& [path, host, error] = *named;
  int hostFlags = 0;
  switch (flags & 3) {
    case 0: hostFlags = O_RDONLY; break;
    case 1: hostFlags = O_WRONLY; break;
    default: hostFlags = O_RDWR; break;
  }
  if (flags & 0x40) hostFlags |= O_CREAT;
  if (flags & 0x80) hostFlags |= O_EXCL;
  if (flags & 0x200) hostFlags |= O_TRUNC;
  if (flags & 0x400) hostFlags |= O_APPEND;
  int fd = -1;
  if (host) {
    if (files_.size() >= kMaxOpenFiles) {
      error = kEMFILE;
    } else if (fs::is_directory(*host)) {
      error = kEISDIR;
    } else {
      fd = open(host->c_str(), hostFlags | O_CLOEXEC | O_NOFOLLOW, 0666);
      if (fd < 0) error = ErrnoCode(errno);
    }
  }
  if (fd < 0) {
    Put32(r, kNoHandle);
    Put32(r, error);
    return r;
  }
  uint32_t handle = LowestFree(files_, 0);
  files_[handle] = {fd, NormalizeEfsPath(path)};
  Put32(r, handle);
  Put32(r, 0);
  return r;
}

std::optional<std::vector<uint8_t>> EfsService::Close(const std::vector<uint8_t>& req, std::vector<uint8_t>& r) {
  if (!Need(req, 4)) return std::nullopt;
  auto it = files_.find(Get32(req, 4));
  if (it == files_.end()) {
    Put32(r, kEBADF);
    return r;
  }
  close(it->second.fd);
  files_.erase(it);
  Put32(r, 0);
  return r;
}

std::optional<std::vector<uint8_t>> EfsService::Read(const std::vector<uint8_t>& req, std::vector<uint8_t>& r) {
  if (!Need(req, 12)) return std::nullopt;
  uint32_t handle = Get32(req, 4), count = std::min(Get32(req, 8), kMaxReadCount), offset = Get32(req, 12);
  Put32(r, handle);
  Put32(r, offset);
  auto it = files_.find(handle);
  std::vector<uint8_t> data(count);
  ssize_t got = -1;
  uint32_t error = kEBADF;
  if (it != files_.end()) {
    got = pread(it->second.fd, data.data(), count, offset);
    error = got < 0 ? ErrnoCode(errno) : 0;
  }
  Put32(r, got < 0 ? kNoHandle : static_cast<uint32_t>(got));
  Put32(r, error);
  if (got > 0) r.insert(r.end(), data.begin(), data.begin() + got);
  return r;
}

std::optional<std::vector<uint8_t>> EfsService::Write(const std::vector<uint8_t>& req, std::vector<uint8_t>& r) {
  if (!Need(req, 8)) return std::nullopt;
  uint32_t handle = Get32(req, 4), offset = Get32(req, 8);
  size_t count = req.size() - 12;
  Put32(r, handle);
  Put32(r, offset);
  auto it = files_.find(handle);
  ssize_t done = -1;
  uint32_t error = kEBADF;
  if (it != files_.end()) {
    if (uint64_t(offset) + count > kMaxFileSize) {
      error = kENOSPC;
    } else {
      done = pwrite(it->second.fd, req.data() + 12, count, offset);
      error = done < 0 ? ErrnoCode(errno) : 0;
    }
  }
  Put32(r, done < 0 ? kNoHandle : static_cast<uint32_t>(done));
  Put32(r, error);
  return r;
}

std::optional<std::vector<uint8_t>> EfsService::Opendir(const std::vector<uint8_t>& req, std::vector<uint8_t>& r) {
  auto named = PathAt(req, 4);
  if (!named) return std::nullopt;
  auto& [path, host, error] = *named;
  if (host && !fs::exists(*host)) error = kENOENT;
  else if (host && !fs::is_directory(*host)) error = kENOTDIR;
  else if (host && dirs_.size() >= kMaxOpenDirs) error = kEMFILE;
  if (!host || error) {
    Put32(r, 0);
    Put32(r, error);
    return r;
  }
  OpenDir d;
  d.path = *host;
  std::error_code ec;
  for (fs::directory_iterator it(*host, ec), end; !ec && it != end; it.increment(ec)) {
    d.names.push_back(it->path().filename().string());
  }
  std::sort(d.names.begin(), d.names.end());
  uint32_t handle = LowestFree(dirs_, 1);
  dirs_[handle] = std::move(d);
  Put32(r, handle);
  Put32(r, 0);
  return r;
}

std::optional<std::vector<uint8_t>> EfsService::Readdir(const std::vector<uint8_t>& req, std::vector<uint8_t>& r) {
  if (!Need(req, 8)) return std::nullopt;
  uint32_t handle = Get32(req, 4), seq = Get32(req, 8);
  Put32(r, handle);
  Put32(r, seq);
  auto it = dirs_.find(handle);
  if (it == dirs_.end() || seq == 0) {
    Put32(r, it == dirs_.end() ? kEBADF : kEINVAL);
    for (int i = 0; i < 6; ++i) Put32(r, 0);
    r.push_back(0);
    return r;
  }
  Put32(r, 0);
  const auto& names = it->second.names;
  if (seq > names.size()) {
    // Past the last entry: an empty entry ends the listing.
    for (int i = 0; i < 6; ++i) Put32(r, 0);
    r.push_back(0);
    return r;
  }
  const std::string& name = names[seq - 1];
  fs::path p = fs::path(it->second.path) / name;
  std::error_code ec;
  bool isDir = fs::is_directory(p, ec);
  uint64_t size = isDir ? 0 : fs::file_size(p, ec);
  if (ec) size = 0;
  Put32(r, isDir ? 1 : 0);
  Put32(r, isDir ? kDirMode : kFileMode);
  Put32(r, static_cast<uint32_t>(size));
  for (int i = 0; i < 3; ++i) Put32(r, 0);
  r.insert(r.end(), name.begin(), name.end());
  r.push_back(0);
  return r;
}

std::optional<std::vector<uint8_t>> EfsService::Closedir(const std::vector<uint8_t>& req, std::vector<uint8_t>& r) {
  if (!Need(req, 4)) return std::nullopt;
  Put32(r, dirs_.erase(Get32(req, 4)) ? 0 : kEBADF);
  return r;
}

std::optional<std::vector<uint8_t>> EfsService::Stat(const std::vector<uint8_t>& req, std::vector<uint8_t>& r) {
  auto named = PathAt(req, 4);
  if (!named) return std::nullopt;
  auto& [path, host, error] = *named;
  struct stat st {};
  if (host && lstat(host->c_str(), &st) != 0) error = ErrnoCode(errno);
  bool ok = host && error == 0;
  bool isDir = ok && S_ISDIR(st.st_mode);
  Put32(r, error);
  Put32(r, ok ? (isDir ? kDirMode : kFileMode) : 0);
  Put32(r, ok && !isDir ? static_cast<uint32_t>(st.st_size) : 0);
  Put32(r, ok ? (isDir ? 2 : 1) : 0);
  for (int i = 0; i < 3; ++i) Put32(r, ok ? static_cast<uint32_t>(st.st_mtime) : 0);
  return r;
}

std::optional<std::vector<uint8_t>> EfsService::Statfs(const std::vector<uint8_t>& req, std::vector<uint8_t>& r) {
  if (!GetPath(req, 4)) return std::nullopt;
  Put32(r, 0);            // error
  Put32(r, 0x45465332);   // file system id
  for (int i = 0; i < 8; ++i) r.push_back(static_cast<uint8_t>("EFS2\0\0\0\0"[i]));
  Put32(r, 512);          // block size
  Put32(r, 0x8000);       // total blocks
  Put32(r, 0x6000);       // available blocks
  Put32(r, 0x6000);       // free blocks
  Put32(r, kMaxFileSize); // largest file
  Put32(r, 300);          // files in use
  Put32(r, 4096);         // most files
  return r;
}

std::optional<std::vector<uint8_t>> EfsService::ChangePath(uint16_t code, const std::vector<uint8_t>& req,
                                                           std::vector<uint8_t>& r) {
  size_t pathAt = code == kMkdir ? 6 : 4;
  if (!Need(req, pathAt - kHeader + 1)) return std::nullopt;
  auto named = PathAt(req, pathAt);
  if (!named) return std::nullopt;
  auto& [path, host, error] = *named;
  if (host) {
    int rc = 0;
    if (code == kUnlink) {
      rc = fs::is_directory(*host) ? (errno = EISDIR, -1) : unlink(host->c_str());
    } else if (code == kRmdir) {
      rc = *host == root_ ? (errno = EACCES, -1) : rmdir(host->c_str());
    } else {
      rc = mkdir(host->c_str(), 0777);
    }
    if (rc != 0) error = ErrnoCode(errno);
  }
  Put32(r, error);
  return r;
}

}  // namespace upwend::sim
