// Files and folders through the Win32 file functions. Both "\" and "/" separate folders.
#include <windows.h>

#include <fmt/format.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "platform/file_io.h"
#include "platform/system_file_io.h"
#include "platform/win32/system_message.h"

namespace upwend {

namespace {

struct Handle {
  HANDLE h = INVALID_HANDLE_VALUE;
  explicit Handle(HANDLE handle) : h(handle) {}
  ~Handle() {
    if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool ok() const { return h != INVALID_HANDLE_VALUE; }
  bool Close() {
    bool closed = ::CloseHandle(h) != FALSE;
    h = INVALID_HANDLE_VALUE;
    return closed;
  }
};

// The errno value callers test for (a missing file reads as ENOENT everywhere).
int ErrnoFor(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
      return EACCES;
    case ERROR_DISK_FULL:
      return ENOSPC;
    default:
      return EIO;
  }
}

std::string LastText() { return SystemMessage(::GetLastError()); }

DWORD Attributes(const std::string& path) { return ::GetFileAttributesA(path.c_str()); }

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool WriteAll(HANDLE h, std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
    DWORD n = 0;
    if (!::WriteFile(h, bytes.data() + done, chunk, &n, nullptr) || n == 0) return false;
    done += n;
  }
  return true;
}

// Renames `from` over `to`. While another handle has `to` open the rename is refused (on
// Windows unless the handle shares deletion, under Wine always); readers hold a file only for
// a moment, so the rename is tried again for up to a second before it counts as failed.
bool ReplaceWith(const std::string& from, const std::string& to) {
  constexpr int kAttempts = 100;
  constexpr DWORD kPauseMs = 10;
  for (int attempt = 1;; ++attempt) {
    if (::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
    DWORD code = ::GetLastError();
    if ((code != ERROR_ACCESS_DENIED && code != ERROR_SHARING_VIOLATION) || attempt == kAttempts) {
      ::SetLastError(code);
      return false;
    }
    ::Sleep(kPauseMs);
  }
}

HANDLE CreateForWriting(const std::string& path) {
  return ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

Expected<std::string, OsError> ReadWholeFile(const std::string& path) {
  DWORD attrs = Attributes(path);
  if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY)) {
    return Unexpected(OsError{EISDIR, fmt::format("cannot read {}: it is a folder", path)});
  }
  Handle f(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!f.ok()) {
    DWORD code = ::GetLastError();
    return Unexpected(OsError{ErrnoFor(code), fmt::format("cannot open {}: {}", path, SystemMessage(code))});
  }
  std::string out;
  std::vector<char> buf(1 << 16);
  for (;;) {
    DWORD n = 0;
    if (!::ReadFile(f.h, buf.data(), static_cast<DWORD>(buf.size()), &n, nullptr)) {
      DWORD code = ::GetLastError();
      return Unexpected(OsError{ErrnoFor(code), fmt::format("cannot read {}: {}", path, SystemMessage(code))});
    }
    if (n == 0) break;
    out.append(buf.data(), n);
  }
  return out;
}

Expected<void, std::string> WriteWholeFile(const std::string& path, std::string_view bytes) {
  Handle f(CreateForWriting(path));
  if (!f.ok()) return Unexpected(fmt::format("cannot create {}: {}", path, LastText()));
  if (!WriteAll(f.h, bytes) || !f.Close()) return Unexpected(fmt::format("cannot write {}: {}", path, LastText()));
  return {};
}

Expected<void, std::string> WriteWholeFileAtomic(const std::string& path, std::string_view bytes) {
  std::string tmp = fmt::format("{}.tmp{}", path, ::GetCurrentProcessId());
  Handle f(CreateForWriting(tmp));
  if (!f.ok()) return Unexpected(fmt::format("cannot create {}: {}", tmp, LastText()));
  bool ok = WriteAll(f.h, bytes) && ::FlushFileBuffers(f.h);
  DWORD code = ::GetLastError();
  ok = f.Close() && ok;
  if (!ok || !ReplaceWith(tmp, path)) {
    if (ok) code = ::GetLastError();
    ::DeleteFileA(tmp.c_str());
    return Unexpected(fmt::format("cannot write {}: {}", path, SystemMessage(code)));
  }
  return {};
}

Expected<void, std::string> CopyFileOver(const std::string& from, const std::string& to) {
  if (!FileExists(from)) {
    if (Attributes(from) == INVALID_FILE_ATTRIBUTES) return Unexpected(fmt::format("cannot open {}: {}", from, LastText()));
    return Unexpected(fmt::format("{} is not a file", from));
  }
  if (FolderExists(to)) return Unexpected(fmt::format("{} is a folder", to));
  if (!::CopyFileA(from.c_str(), to.c_str(), FALSE)) {
    return Unexpected(fmt::format("cannot copy {} to {}: {}", from, to, LastText()));
  }
  return {};
}

std::optional<uint64_t> ReadableFileSize(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return std::nullopt;
  struct _stat64 st {};
  bool ok = _fstat64(_fileno(file), &st) == 0 && st.st_size >= 0;
  std::fclose(file);
  if (!ok) return std::nullopt;
  return static_cast<uint64_t>(st.st_size);
}

std::optional<uint64_t> RegularFileSize(std::FILE* file) {
  struct _stat64 st {};
  if (file == nullptr || _fstat64(_fileno(file), &st) != 0 || (st.st_mode & _S_IFMT) != _S_IFREG) {
    return std::nullopt;
  }
  return static_cast<uint64_t>(st.st_size);
}

FileStartProbe ProbeFileStart(const std::string& path, size_t bytes) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return FileStartProbe::kOpenFailed;
  bool read = false;
  if (RegularFileSize(file)) {
    std::vector<char> head(bytes);
    std::fread(head.data(), 1, head.size(), file);
    read = std::ferror(file) == 0;
  }
  std::fclose(file);
  return read ? FileStartProbe::kOk : FileStartProbe::kReadFailed;
}

std::string FolderWriteProblem(const std::string& folder) {
  std::string probe = folder + "/.upwend-write-test-" + std::to_string(::GetCurrentProcessId());
  HANDLE h = ::CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h == INVALID_HANDLE_VALUE) return LastText();
  ::CloseHandle(h);
  return {};
}

bool FileExists(const std::string& path) {
  DWORD a = Attributes(path);
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::string& path) {
  DWORD a = Attributes(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

// Windows takes both separators: configuration values are used as they are.
std::string NativePath(std::string_view path) { return std::string(path); }

std::string_view FileNamePart(std::string_view path) {
  size_t pos = path.find_last_of("\\/");
  return pos == std::string_view::npos ? path : path.substr(pos + 1);
}

std::string ExecutablePath() {
  std::vector<char> buf(MAX_PATH);
  for (;;) {
    DWORD n = ::GetModuleFileNameA(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return {};
    if (n < buf.size()) return std::string(buf.data(), n);
    buf.resize(buf.size() * 2);
  }
}

std::string ExecutableFolder() {
  std::string exe = ExecutablePath();
  size_t sep = exe.find_last_of("\\/");
  return sep == std::string::npos ? std::string(".\\") : exe.substr(0, sep + 1);
}

// Roots and prefixes: "\", "C:", "C:\", "\\server\", "\\?\".
bool IsPathRoot(const std::string& path) {
  std::string bare = path;
  while (!bare.empty() && IsSeparator(bare.back())) bare.pop_back();
  return bare.empty() || bare.back() == ':' || bare == "\\\\?" || bare == "\\\\." ||
         (path.rfind("\\\\", 0) == 0 && bare.find_first_of("\\/", 2) == std::string::npos);
}

bool MakeFolder(const std::string& path) {
  return ::CreateDirectoryA(path.c_str(), nullptr) || (::GetLastError() == ERROR_ALREADY_EXISTS && FolderExists(path));
}

namespace {

// A junction or symbolic link is removed as a link: what it points to is never entered.
bool RemoveLink(const std::string& path, DWORD attrs) {
  return (attrs & FILE_ATTRIBUTE_DIRECTORY) ? ::RemoveDirectoryA(path.c_str()) != FALSE
                                             : ::DeleteFileA(path.c_str()) != FALSE;
}

bool DeleteEntries(const std::string& folder) {
  WIN32_FIND_DATAA data{};
  HANDLE find = ::FindFirstFileA((folder + "\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
  bool failed = false;
  do {
    const char* name = data.cFileName;
    if (name[0] == '\0' || name[0] == '.') continue;
    if (failed) continue;  // the enumeration runs to its end, but deletes nothing more
    std::string child = folder + "\\" + name;
    DWORD attrs = data.dwFileAttributes;
    if (attrs & FILE_ATTRIBUTE_READONLY) ::SetFileAttributesA(child.c_str(), attrs & ~FILE_ATTRIBUTE_READONLY);
    if (attrs & FILE_ATTRIBUTE_REPARSE_POINT) {
      failed = !RemoveLink(child, attrs);
    } else if (attrs & FILE_ATTRIBUTE_DIRECTORY) {
      failed = !DeleteEntries(child) || !::RemoveDirectoryA(child.c_str());
    } else {
      failed = !::DeleteFileA(child.c_str());
    }
  } while (::FindNextFileA(find, &data));
  ::FindClose(find);
  return !failed;
}

}  // namespace

bool DeleteFolderTree(const std::string& path) {
  if (path.size() <= 3) return false;
  std::string native = path;
  while (native.size() > 3 && IsSeparator(native.back())) native.pop_back();
  DWORD attrs = Attributes(native);
  if (attrs == INVALID_FILE_ATTRIBUTES) return false;
  if (attrs & FILE_ATTRIBUTE_REPARSE_POINT) return RemoveLink(native, attrs);
  if (!(attrs & FILE_ATTRIBUTE_DIRECTORY)) return false;
  return DeleteEntries(native) && ::RemoveDirectoryA(native.c_str());
}

// A folder below the user's profile is private through the permissions it inherits; what can
// be checked here is that it is a real folder and not a link planted to send files elsewhere.
Expected<void, std::string> EnsurePrivateFolder(const std::string& path) {
  std::string native = path;
  while (native.size() > 3 && IsSeparator(native.back())) native.pop_back();
  // Something found there is judged as it is; only a missing folder is created.
  DWORD attrs = Attributes(native);
  if (attrs == INVALID_FILE_ATTRIBUTES) {
    if (auto made = CreateFolderPath(native); !made) {
      return Unexpected(fmt::format("{} cannot be created: {}", native, LastText()));
    }
    attrs = Attributes(native);
  }
  auto refuse = [&native](const std::string& why) -> Expected<void, std::string> {
    return Unexpected(fmt::format("{} is not safe to use: {}", native, why));
  };
  if (attrs == INVALID_FILE_ATTRIBUTES) return refuse(LastText());
  if (attrs & FILE_ATTRIBUTE_REPARSE_POINT) return refuse("it is a symbolic link");
  if (!(attrs & FILE_ATTRIBUTE_DIRECTORY)) return refuse("it is not a folder");
  return {};
}

}  // namespace upwend
