#pragma once
// The configured EFS procedures of an update: the user data backup (device folders listed,
// their files and the configured files copied below the device backup folder's "EFS" folder),
// its restore after the update, and the part-of-EFS edits (files and folders removed, folders
// created, package files written).
//
// The worker's lists are the window's own and stay untouched: the backup works on its own copy
// of the user data file list, which the restore of the same run reads again.
#include <cstdint>
#include <string>
#include <vector>

#include "engine/efs/efs_device.h"
#include "engine/worker/run_parameters.h"
#include "engine/worker/worker_layers.h"

namespace upwend {

class DiagFraming;
class DiagTransport;
class WorkerContext;

class EfsFiles final : public EfsLayer {
public:
  // `params` must outlive the layer (the worker's own). The transport is optional (see EfsDevice).
  EfsFiles(WorkerContext& worker, const RunParameters& params, DiagFraming& framing, DiagTransport* transport = nullptr);

  // EfsLayer: the listing and the copy out; the copy back; the edits.
  void BackupUserData(const std::string& deviceBackupFolder) override;
  void ApplyPartOfEfs() override;
  void RestoreUserData(const std::string& deviceBackupFolder) override;

  // The steps behind them. PrepareUserDataBackup gives false when a local folder could not be
  // made (raised), which abandons the backup.
  bool PrepareUserDataBackup();
  void BackupUserData();
  void RestoreUserData();

  EfsDevice& device() { return device_; }
  const EfsFound& found() const { return found_; }
  const std::vector<std::string>& userDataFiles() const { return userDataFiles_; }
  const std::vector<std::string>& localPaths() const { return localPaths_; }
  const std::vector<uint32_t>& sizes() const { return sizes_; }
  // Entries left out because their names would land outside the "EFS" folder.
  const std::vector<std::string>& refused() const { return refused_; }

private:
  void Refuse(const std::string& devicePath);
  bool MakeMirrorFolder(const std::string& devicePath, bool folderPart);
  // Folders above the restored paths that the listing did not report; made first, quietly.
  void MakeParentFolders();
  // A run that made no backup of its own (a Re-update) restores what the failed run left in the
  // device backup folder's mirror of the configured user data.
  void CollectFromMirror();
  uint32_t AddFileSize(size_t k, const std::string& localPath) const;

  WorkerContext& worker_;
  const RunParameters& params_;
  EfsDevice device_;
  std::string deviceBackupFolder_;
  EfsFound found_;
  std::vector<std::string> userDataFiles_;
  std::vector<std::string> localPaths_;
  std::vector<uint32_t> sizes_;
  std::vector<std::string> refused_;
};

}  // namespace upwend
