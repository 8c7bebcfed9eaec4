#pragma once
// The image set of an update: which file fills each image role (found by name in the image
// folder and its subfolders), whether every image the update options need is there with a
// plausible size, and the sizes the worker measures its progress against.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/shell/window_state.h"

namespace upwend {

class Dialogs;
struct DownloadOptions;
struct ProductConfig;
struct RunParameters;

enum class ImageRole {
  FlashProgrammer,  // the BIN converted from the Intel hex file
  Partition,
  Amss,
  Efs,
  CEfs,
  CEfsApps,
  RawAppsEfs,
  AmssHeader,
  Dsp1,
  Dsp2,
  PcSuite,
  Qcsbl,
  QcsblHeaderCfgdata,
  Oemsbl,
  OemsblHeader,
  Fsbl,
  Dbl,
  Osbl,
  AppsHeader,
  Apps,
  AppsBootHeader,
  AppsBoot,
  BootImage,
  PrimaryGpt,
  SecondaryGpt,
  ZImage,
  Ramdisk,
  System,
  RamdiskRecovery,
  Userdata,
  ZImageRecovery,
  Cfgdata,
  Phone,
  Rpm,
  Sbl1,
  Sbl2Dl,
  kCount
};
inline constexpr size_t kImageRoleCount = static_cast<size_t>(ImageRole::kCount);
inline constexpr size_t kFastbootSizeSlots = 15;
inline constexpr size_t kAddFileSizeSlots = 50;

// Size limits: a size is accepted when it is at least 1 and strictly below its limit.
inline constexpr uint64_t kLimitFlashProgrammer = 10ull * 1024 * 1024;
inline constexpr uint64_t kLimitPartition = 1024;
inline constexpr uint64_t kLimitHeader = 512;
inline constexpr uint64_t kLimitImage = 100ull * 1024 * 1024;
inline constexpr uint64_t kLimitFastbootImage = 200ull * 1024 * 1024;
inline constexpr uint64_t kLimitFastbootList = 500ull * 1024 * 1024;
inline constexpr uint64_t kLimitPcSuite = 240ull * 1024 * 1024;

inline constexpr const char* kBrowseCaption = "Please Select Image Folder";

// What the folder scan does with a file name.
struct RoleMatch {
  enum class Kind { None, Role, Hex, Consumed } kind = Kind::None;
  ImageRole role = ImageRole::kCount;
};
// Tests a file name (any letter case) against the role rules in their fixed order; the first
// rule that matches decides. A PC Suite name whose medium option is off is consumed.
RoleMatch MatchImageRole(std::string_view fileName, const DownloadOptions& options);

// Everything the verification collected. The run control copies it into the worker with
// CopyImageSetInto; PartOfEFSFileNameList then points at partOfEfsFiles, so the set must live
// as long as the run (the main window keeps it).
struct ImageSet {
  std::array<std::string, kImageRoleCount> paths;
  std::array<uint32_t, kImageRoleCount> sizes{};
  std::string atBakPath;
  std::string nvBakPath;
  std::vector<std::string> partOfEfsFiles;  // local files of the AddFiles entries
  std::array<uint32_t, kFastbootSizeSlots> fastbootFileSizes{};  // by fastboot list index
  std::array<uint32_t, kAddFileSizeSlots> addFileSizes{};        // by AddFiles index
  uint64_t totalSize = 0;  // set only when the whole set passed
  bool verified = false;   // every check passed
  bool failed = false;     // a check failed (and showed its message)

  const std::string& Path(ImageRole role) const { return paths[static_cast<size_t>(role)]; }
  uint32_t Size(ImageRole role) const { return sizes[static_cast<size_t>(role)]; }
};

// Fills the worker's image paths, size tables, part-of-EFS file list and total from `images`.
// The worker's total is 32-bit: a larger total is capped, so its progress never wraps round.
void CopyImageSetInto(const ImageSet& images, RunParameters& params);

struct VerificationContext {
  const ProductConfig& config;
  std::string workingFolder;  // where HexToBin.dll lies
  std::string backupFolder;   // where the backup files lie while a run is resumed
  bool resuming = false;
  Dialogs& dialogs;
  std::string messageCaption;  // caption of the failure box
};

// The whole verification of `folder` (no trailing "/"): scan, backup paths, part-of-EFS list,
// checks, total. On success `rows` holds one row per accepted file; on the first failure one
// message box is shown and `rows` is left empty. An empty folder string verifies nothing.
ImageSet VerifyImageFolder(const VerificationContext& ctx, const std::string& folder, std::vector<FileListRow>& rows);

// The recursive name scan: fills `images.paths` from the files below `folder` (ends with "/").
// Entries are taken in name order, ignoring letter case, and a later match of a role overwrites
// an earlier one, so the last file met wins. Links to folders are not followed.
void ScanImageFolder(const VerificationContext& ctx, const std::string& folder, ImageSet& images);

}  // namespace upwend
