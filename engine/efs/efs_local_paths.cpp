#include "engine/efs/efs_local_paths.h"

#include <filesystem>
#include <system_error>

#include "engine/worker/worker_context.h"

namespace upwend {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kReservedChars = "*?\"<>|";
constexpr std::string_view kEfsFolder = "/EFS";
constexpr size_t kShortestRemovable = 4;

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// Calls `part` for every text between separators (empty ones included).
template <typename F>
bool AllParts(std::string_view path, F part) {
  size_t begin = 0;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || IsSeparator(path[i])) {
      if (!part(path.substr(begin, i - begin))) return false;
      begin = i + 1;
    }
  }
  return true;
}

// Whether `path`, with ".." and "." resolved by text and then links resolved for the part that
// exists, still lies inside `root`.
bool Inside(const fs::path& root, const fs::path& path) {
  auto within = [](const fs::path& base, const fs::path& p) {
    auto b = base.begin();
    auto q = p.begin();
    for (; b != base.end(); ++b, ++q) {
      if (b->empty() && std::next(b) == base.end()) return true;  // trailing separator
      if (q == p.end() || *q != *b) return false;
    }
    return true;
  };
  if (!within(root.lexically_normal(), path.lexically_normal())) return false;
  std::error_code ec1, ec2;
  const fs::path realRoot = fs::weakly_canonical(root, ec1);
  const fs::path realPath = fs::weakly_canonical(path, ec2);
  if (ec1 || ec2) return false;
  return within(realRoot, realPath);
}

}  // namespace

std::string CleanLocalPath(std::string_view path) {
  std::string out(path);
  for (char& c : out)
    if (kReservedChars.find(c) != std::string_view::npos) c = '_';
  return out;
}

bool IsSafeEntryName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char c : name)
    if (IsSeparator(c) || c == '\0') return false;
  return true;
}

bool IsSafeDevicePath(std::string_view path) {
  if (path.find('\0') != std::string_view::npos) return false;
  return AllParts(path, [](std::string_view part) { return part != ".."; });
}

Expected<std::string, std::string> LocalMirrorPath(const std::string& deviceBackupFolder, std::string_view devicePath) {
  if (deviceBackupFolder.empty()) return Unexpected(std::string("no device backup folder"));
  if (!IsSafeDevicePath(devicePath)) return Unexpected("unsafe name: " + std::string(devicePath));
  std::string relative(devicePath);
  if (relative.empty() || relative.front() != '/') relative.insert(relative.begin(), '/');
  const std::string root = CleanLocalPath(deviceBackupFolder + std::string(kEfsFolder));
  std::string local = CleanLocalPath(deviceBackupFolder + std::string(kEfsFolder) + relative);
  if (!Inside(root, local)) return Unexpected("outside the backup folder: " + std::string(devicePath));
  return local;
}

std::string LocalFolderPart(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(0, slash);
}

bool MakeLocalFolder(WorkerContext& worker, const std::string& path) {
  const std::string clean = CleanLocalPath(path);
  // Level by level from the first part: each "/" ends one, the whole path is the last.
  for (size_t end = 0; end <= clean.size(); ++end) {
    if (end < clean.size() && clean[end] != '/') continue;
    const std::string level = clean.substr(0, end);
    if (level.empty() || level.back() == '/') continue;
    std::error_code ec;
    if (fs::is_directory(level, ec)) continue;
    fs::create_directory(level, ec);
    if (!fs::is_directory(level, ec)) {
      worker.Raise("Could not create folder!");
      return false;
    }
  }
  return true;
}

bool RemoveLocalFolder(const std::string& path) {
  std::string target = path;
  while (target.size() > 1 && target.back() == '/') target.pop_back();
  if (target.size() < kShortestRemovable) return false;
  std::error_code ec;
  const fs::path p(target);
  if (p.lexically_normal() == p.root_path()) return false;
  fs::remove_all(p, ec);
  if (ec) return false;
  return !fs::exists(fs::symlink_status(p, ec));
}

}  // namespace upwend
