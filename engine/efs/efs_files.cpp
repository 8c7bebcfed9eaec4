#include "engine/efs/efs_files.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "engine/efs/efs_local_paths.h"
#include "engine/worker/worker_context.h"
#include "platform/file_io.h"

namespace upwend {

namespace {

constexpr std::string_view kLeftOutFile = "prefs.dat";

bool Contains(const std::vector<std::string>& list, const std::string& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

}  // namespace

EfsFiles::EfsFiles(WorkerContext& worker, const RunParameters& params, DiagFraming& framing, DiagTransport* transport)
    : worker_(worker), params_(params), device_(worker, framing, transport) {}

void EfsFiles::Refuse(const std::string& devicePath) {
  refused_.push_back(devicePath);
  worker_.Note("[EFS] Refused entry: " + devicePath);
}

bool EfsFiles::MakeMirrorFolder(const std::string& devicePath, bool folderPart) {
  auto local = LocalMirrorPath(deviceBackupFolder_, devicePath);
  if (!local) {
    Refuse(devicePath);
    return true;
  }
  return MakeLocalFolder(worker_, folderPart ? LocalFolderPart(*local) : *local);
}

bool EfsFiles::PrepareUserDataBackup() {
  found_ = {};
  refused_.clear();
  localPaths_.clear();
  userDataFiles_ = RunParameters::Or(params_.UserDataFilesList);

  for (const std::string& entry : RunParameters::Or(params_.UserDataDirList)) {
    if (!IsSafeDevicePath(entry)) {
      Refuse(entry);
      continue;
    }
    device_.EfsListDirectory(entry, found_);
    if (!MakeMirrorFolder(entry, false)) return false;
  }

  if (!worker_.Stopped()) {
    for (size_t i = 0; i < userDataFiles_.size();) {
      const std::string& entry = userDataFiles_[i];
      if (!LocalMirrorPath(deviceBackupFolder_, entry)) {
        Refuse(entry);
        userDataFiles_.erase(userDataFiles_.begin() + static_cast<long>(i));
      } else if (device_.EfsPathMissing(entry) == 0) {
        userDataFiles_.erase(userDataFiles_.begin() + static_cast<long>(i));
      } else {
        if (!MakeMirrorFolder(entry, true)) return false;
        ++i;
      }
    }
  }

  for (const std::string& refused : found_.refused) refused_.push_back(refused);
  for (const std::string& folder : found_.folders) {
    if (!MakeMirrorFolder(folder, false)) return false;
  }
  for (const std::string& file : found_.files) {
    if (file.find(kLeftOutFile) == std::string::npos) userDataFiles_.push_back(file);
  }

  if (!worker_.Stopped()) {
    for (size_t i = 0; i < userDataFiles_.size();) {
      auto local = LocalMirrorPath(deviceBackupFolder_, userDataFiles_[i]);
      if (!local) {
        Refuse(userDataFiles_[i]);
        userDataFiles_.erase(userDataFiles_.begin() + static_cast<long>(i));
        continue;
      }
      localPaths_.push_back(*local);
      ++i;
    }
  }
  sizes_.assign(userDataFiles_.size(), 0);
  return true;
}

void EfsFiles::BackupUserData() {
  for (size_t i = 0; i < userDataFiles_.size() && i < localPaths_.size() && !worker_.Stopped(); ++i) {
    const std::string& entry = userDataFiles_[i];
    uint32_t size = 0;
    if (device_.EfsOpenRead(entry, size) != 0) {
      worker_.Raise("->Fail to read file:" + entry);
      return;
    }
    sizes_[i] = size;
    if (device_.EfsReadToFile(localPaths_[i], size) != 0) {
      worker_.Raise("*Fail to read file:" + entry);
      return;
    }
    if (size != 0) {
      if (device_.EfsClose() != 0) {
        worker_.Raise("Fail to close file packet:" + entry);
      } else {
        worker_.Note(entry + " successfully.");
      }
    }
  }
  // Everything else is saved by now; the refusal still fails the run before anything is flashed.
  if (!worker_.Stopped() && !refused_.empty()) worker_.Raise("[EFS] Refused unsafe path:" + refused_.front());
}

void EfsFiles::BackupUserData(const std::string& deviceBackupFolder) {
  deviceBackupFolder_ = deviceBackupFolder;
  if (deviceBackupFolder_.empty()) {
    worker_.Raise("Could not create folder!");
    return;
  }
  if (PrepareUserDataBackup()) BackupUserData();
}

void EfsFiles::MakeParentFolders() {
  std::vector<std::string> parents;
  auto addAncestors = [&](std::string path, bool includeSelf) {
    if (path.size() > 1 && path.front() == '/') path.erase(0, 1);
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
      std::string parent = path.substr(0, slash);
      if (!Contains(parents, parent) && !Contains(found_.folders, parent)) parents.push_back(parent);
    }
    if (includeSelf && path.size() > 1 && !Contains(parents, path) && !Contains(found_.folders, path)) {
      parents.push_back(path);
    }
  };
  for (const std::string& dir : RunParameters::Or(params_.UserDataDirList)) {
    if (IsSafeDevicePath(dir)) addAncestors(dir, true);
  }
  for (const std::string& folder : found_.folders) addAncestors(folder, false);
  for (const std::string& file : userDataFiles_) addAncestors(file, false);
  // A folder that already exists may answer with any error; the file writes decide.
  for (const std::string& parent : parents) {
    if (worker_.Stopped()) return;
    device_.EfsMkdir(parent);
  }
}

void EfsFiles::RestoreUserData() {
  if (userDataFiles_.empty() && found_.folders.empty()) return;
  MakeParentFolders();
  for (const std::string& folder : found_.folders) {
    if (worker_.Stopped()) break;
    if (device_.EfsMkdir(folder) != 0) worker_.Raise("[EFS] Fail to create directory");
  }
  for (size_t j = 0; j < userDataFiles_.size(); ++j) {
    const std::string& entry = userDataFiles_[j];
    if (!worker_.Stopped() && device_.EfsOpenWrite(entry) != 0) {
      worker_.Raise("[upload] Fail to upload part of EFS file command");
    }
    if (!worker_.Stopped() && j < sizes_.size() && sizes_[j] != 0) device_.UploadFile(localPaths_[j], sizes_[j]);
    if (!worker_.Stopped()) {
      if (device_.EfsClose() != 0) {
        worker_.Raise("[upload] Fail to close part of EFS packet");
      } else {
        worker_.Note(entry + " file OK");
      }
    }
  }
}

void EfsFiles::RestoreUserData(const std::string& deviceBackupFolder) {
  if (!deviceBackupFolder.empty()) deviceBackupFolder_ = deviceBackupFolder;
  if (userDataFiles_.empty() && found_.folders.empty() && !deviceBackupFolder_.empty()) CollectFromMirror();
  RestoreUserData();
}

void EfsFiles::CollectFromMirror() {
  namespace fs = std::filesystem;
  auto addFile = [this](const std::string& devicePath, const fs::path& local) {
    std::error_code ec;
    if (Contains(userDataFiles_, devicePath) || !fs::is_regular_file(fs::symlink_status(local, ec))) return;
    userDataFiles_.push_back(devicePath);
    localPaths_.push_back(local.string());
    sizes_.push_back(static_cast<uint32_t>(fs::file_size(local, ec)));
  };
  for (const std::string& dir : RunParameters::Or(params_.UserDataDirList)) {
    auto local = LocalMirrorPath(deviceBackupFolder_, dir);
    if (!IsSafeDevicePath(dir) || !local) continue;
    std::string base = dir;
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    std::error_code ec;
    // Links are never followed: the mirror holds only what the backup wrote.
    for (fs::recursive_directory_iterator it(*local, ec), end; !ec && it != end; it.increment(ec)) {
      std::string devicePath = base + "/" + fs::relative(it->path(), *local, ec).generic_string();
      if (it->is_directory(ec) && !it->is_symlink(ec)) {
        found_.folders.push_back(devicePath);
      } else {
        addFile(devicePath, it->path());
      }
    }
  }
  for (const std::string& file : RunParameters::Or(params_.UserDataFilesList)) {
    if (auto local = LocalMirrorPath(deviceBackupFolder_, file)) addFile(file, *local);
  }
}

uint32_t EfsFiles::AddFileSize(size_t k, const std::string& localPath) const {
  if (k < params_.AddFileSizes.size() && params_.AddFileSizes[k] != 0) return params_.AddFileSizes[k];
  // Beyond the size table (or without an entry there) the file tells its own size.
  std::error_code ec;
  const auto size = std::filesystem::file_size(localPath, ec);
  return ec ? 0 : static_cast<uint32_t>(size);
}

void EfsFiles::ApplyPartOfEfs() {
  if (!params_.options.bPartOfEFS) return;
  for (const std::string& file : RunParameters::Or(params_.RemoveFilesList)) {
    if (worker_.Stopped()) break;
    if (device_.EfsUnlink(file) != 0) worker_.Raise("[EFS] Fail to remove file");
  }
  for (const std::string& dir : RunParameters::Or(params_.RemoveDirList)) {
    if (worker_.Stopped()) break;
    switch (device_.EfsRemoveDirectory(dir)) {
      case 0: break;
      case 2: worker_.Raise("[EFS] Could not remove subdirectories"); break;
      case 3: worker_.Raise("[EFS] Fail to remove the file of folder"); break;
      case 4: worker_.Raise("[EFS] Fail to remove the root of folder"); break;
      default: worker_.Raise("[EFS] Fail to remove the entire directory"); break;
    }
  }
  for (const std::string& dir : RunParameters::Or(params_.CreateDirList)) {
    if (worker_.Stopped()) break;
    if (device_.EfsMkdir(dir) != 0) worker_.Raise("[EFS] Fail to create directory");
  }
  const StringList& locals = RunParameters::Or(params_.PartOfEFSFileNameList);
  const StringList& targets = RunParameters::Or(params_.AddFilesList);
  for (size_t k = 0; k < locals.size() && !worker_.Stopped(); ++k) {
    // A package file without a device path has nowhere to go.
    if (k >= targets.size() || device_.EfsOpenWrite(targets[k]) != 0) {
      worker_.Raise("[Dload] Fail to send part of EFS file command");
      break;
    }
    const std::string local = NativePath(locals[k]);
    device_.UploadFile(local, AddFileSize(k, local));
    if (worker_.Stopped()) break;
    if (device_.EfsClose() != 0) {
      worker_.Raise("[Dload] Fail to close part of EFS packet");
    } else {
      worker_.Note("Download file P030......");
    }
  }
}

}  // namespace upwend
