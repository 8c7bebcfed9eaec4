#include "platform/file_io.h"

#include <dirent.h>
#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/system_file_io.h"

namespace upwend {

namespace {

std::string ErrnoText(int err) { return std::strerror(err); }

struct Fd {
  int fd = -1;
  explicit Fd(int f) : fd(f) {}
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
};

bool WriteAll(int fd, std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

Expected<std::string, OsError> ReadWholeFile(const std::string& path) {
  Fd f(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (f.fd < 0) return Unexpected(OsError{errno, fmt::format("cannot open {}: {}", path, ErrnoText(errno))});
  struct stat st {};
  if (::fstat(f.fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    return Unexpected(OsError{EISDIR, fmt::format("cannot read {}: it is a folder", path)});
  }
  std::string out;
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(f.fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Unexpected(OsError{errno, fmt::format("cannot read {}: {}", path, ErrnoText(errno))});
    }
    if (n == 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  return out;
}

Expected<void, std::string> WriteWholeFile(const std::string& path, std::string_view bytes) {
  Fd f(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (f.fd < 0) return Unexpected(fmt::format("cannot create {}: {}", path, ErrnoText(errno)));
  if (!WriteAll(f.fd, bytes)) return Unexpected(fmt::format("cannot write {}: {}", path, ErrnoText(errno)));
  if (::close(f.fd) != 0) {
    f.fd = -1;
    return Unexpected(fmt::format("cannot write {}: {}", path, ErrnoText(errno)));
  }
  f.fd = -1;
  return {};
}

Expected<void, std::string> WriteWholeFileAtomic(const std::string& path, std::string_view bytes) {
  std::string tmp = fmt::format("{}.tmp{}", path, ::getpid());
  Fd f(::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (f.fd < 0) return Unexpected(fmt::format("cannot create {}: {}", tmp, ErrnoText(errno)));
  bool ok = WriteAll(f.fd, bytes) && ::fsync(f.fd) == 0;
  int err = errno;
  ok = (::close(f.fd) == 0) && ok;
  f.fd = -1;
  if (!ok || ::rename(tmp.c_str(), path.c_str()) != 0) {
    if (ok) err = errno;
    ::unlink(tmp.c_str());
    return Unexpected(fmt::format("cannot write {}: {}", path, ErrnoText(err)));
  }
  return {};
}

Expected<void, std::string> CopyFileOver(const std::string& from, const std::string& to) {
  Fd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.fd < 0) return Unexpected(fmt::format("cannot open {}: {}", from, ErrnoText(errno)));
  struct stat st {};
  if (::fstat(in.fd, &st) != 0 || !S_ISREG(st.st_mode)) return Unexpected(fmt::format("{} is not a file", from));
  if (FolderExists(to)) return Unexpected(fmt::format("{} is a folder", to));
  Fd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (out.fd < 0) return Unexpected(fmt::format("cannot create {}: {}", to, ErrnoText(errno)));
  std::vector<char> buf(1 << 16);
  for (;;) {
    ssize_t n = ::read(in.fd, buf.data(), buf.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return Unexpected(fmt::format("cannot read {}: {}", from, ErrnoText(errno)));
    }
    if (n == 0) break;
    if (!WriteAll(out.fd, std::string_view(buf.data(), static_cast<size_t>(n)))) {
      return Unexpected(fmt::format("cannot write {}: {}", to, ErrnoText(errno)));
    }
  }
  int rc = ::close(out.fd);
  out.fd = -1;
  if (rc != 0) return Unexpected(fmt::format("cannot write {}: {}", to, ErrnoText(errno)));
  return {};
}

std::optional<uint64_t> ReadableFileSize(const std::string& path) {
  Fd f(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (f.fd < 0) return std::nullopt;
  struct stat st {};
  if (::fstat(f.fd, &st) != 0 || st.st_size < 0) return std::nullopt;
  return static_cast<uint64_t>(st.st_size);
}

std::optional<uint64_t> RegularFileSize(std::FILE* file) {
  struct stat st {};
  if (file == nullptr || ::fstat(::fileno(file), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return static_cast<uint64_t>(st.st_size);
}

FileStartProbe ProbeFileStart(const std::string& path, size_t bytes) {
  Fd f(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (f.fd < 0) return FileStartProbe::kOpenFailed;
  struct stat st {};
  ssize_t got = -1;
  if (::fstat(f.fd, &st) == 0 && S_ISREG(st.st_mode)) {
    std::vector<char> head(bytes);
    do {
      got = ::read(f.fd, head.data(), head.size());
    } while (got < 0 && errno == EINTR);
  }
  return got < 0 ? FileStartProbe::kReadFailed : FileStartProbe::kOk;
}

std::string FolderWriteProblem(const std::string& folder) {
  std::string probe = folder + "/.upwend-write-test-" + std::to_string(::getpid());
  int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return ErrnoText(errno);
  ::close(fd);
  ::unlink(probe.c_str());
  return {};
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool FolderExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string NativePath(std::string_view path) {
  std::string out(path);
  for (char& c : out) {
    if (c == '\\') c = '/';
  }
  return out;
}

std::string_view FileNamePart(std::string_view path) {
  size_t pos = path.find_last_of("\\/");
  return pos == std::string_view::npos ? path : path.substr(pos + 1);
}

std::string ExecutablePath() {
  std::vector<char> buf(4096);
  ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0) return {};
  return std::string(buf.data(), static_cast<size_t>(n));
}

std::string ExecutableFolder() {
  std::string exe = ExecutablePath();
  size_t slash = exe.rfind('/');
  return slash == std::string::npos ? std::string("./") : exe.substr(0, slash + 1);
}

bool IsPathRoot(const std::string& path) { return path == "/"; }

bool MakeFolder(const std::string& path) {
  return ::mkdir(path.c_str(), 0755) == 0 || (errno == EEXIST && FolderExists(path));
}

namespace {

// Deletes the entries of the open folder `fd` (which it takes over). Every entry is reached
// relative to its folder's descriptor and never through a link, so a link planted anywhere in
// the tree is removed as a link and what it points to is left alone.
bool DeleteEntries(int fd) {
  DIR* dir = ::fdopendir(fd);
  if (dir == nullptr) {
    ::close(fd);
    return false;
  }
  const int at = ::dirfd(dir);
  bool failed = false;
  while (dirent* entry = ::readdir(dir)) {
    const char* name = entry->d_name;
    if (name[0] == '\0' || name[0] == '.') continue;
    if (failed) continue;  // the enumeration runs to its end, but deletes nothing more
    struct stat st {};
    if (::fstatat(at, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
      failed = true;
    } else if (S_ISDIR(st.st_mode)) {
      int child = ::openat(at, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (child < 0) {
        failed = true;
        continue;
      }
      ::fchmod(child, st.st_mode | S_IRWXU);
      if (!DeleteEntries(child) || ::unlinkat(at, name, AT_REMOVEDIR) != 0) failed = true;
    } else if (::unlinkat(at, name, 0) != 0) {
      failed = true;
    }
  }
  ::closedir(dir);
  return !failed;
}

}  // namespace

bool DeleteFolderTree(const std::string& path) {
  if (path.size() <= 3) return false;
  std::string native = NativePath(path);
  while (native.size() > 1 && native.back() == '/') native.pop_back();
  struct stat st {};
  if (::lstat(native.c_str(), &st) != 0) return false;
  if (S_ISLNK(st.st_mode)) return ::unlink(native.c_str()) == 0;
  int fd = ::open(native.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0 || !DeleteEntries(fd)) return false;
  return ::rmdir(native.c_str()) == 0;
}

Expected<void, std::string> EnsurePrivateFolder(const std::string& path) {
  std::string native = NativePath(path);
  while (native.size() > 1 && native.back() == '/') native.pop_back();
  if (size_t slash = native.rfind('/'); slash != std::string::npos && slash > 0) {
    if (auto parent = CreateFolderPath(native.substr(0, slash + 1)); !parent) return parent;
  }
  // Created private from the start; when it exists already, mkdir leaves it as found.
  if (::mkdir(native.c_str(), 0700) != 0 && errno != EEXIST) {
    return Unexpected(fmt::format("{} cannot be created: {}", native, ErrnoText(errno)));
  }
  auto refuse = [&native](const std::string& why) -> Expected<void, std::string> {
    return Unexpected(fmt::format("{} is not safe to use: {}", native, why));
  };
  Fd f(::open(native.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  struct stat st {};
  if (f.fd < 0) {
    if (::lstat(native.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) return refuse("it is a symbolic link");
    return refuse(errno == ENOTDIR ? std::string("it is not a folder") : ErrnoText(errno));
  }
  if (::fstat(f.fd, &st) != 0) return refuse(ErrnoText(errno));
  if (st.st_uid != ::geteuid()) return refuse(fmt::format("it belongs to another user (uid {})", st.st_uid));
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    return refuse(fmt::format("other users can write to it (mode {:o})", st.st_mode & 07777));
  }
  // A folder of the user's that others could only look into is closed; nobody else can have
  // changed what it holds.
  if ((st.st_mode & 077) != 0 && ::fchmod(f.fd, 0700) != 0) return refuse(ErrnoText(errno));
  return {};
}

}  // namespace upwend
