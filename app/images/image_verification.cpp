#include "app/images/image_verification.h"

#include <algorithm>
#include <filesystem>
#include <limits>
#include <optional>

#include "app/config/configuration.h"
#include "app/images/hex_conversion.h"
#include "app/shell/dialogs.h"
#include "engine/worker/project_rules.h"
#include "engine/worker/run_parameters.h"
#include "platform/file_io.h"

namespace upwend {

namespace {

namespace fs = std::filesystem;

// Deep enough for any image tree; a bind mount that loops back stops here.
constexpr int kMaxScanDepth = 64;

constexpr const char* kMissing = " does not exist!\n";
constexpr const char* kBadSize = " size error!\n";
constexpr const char* kFile = "Error: File ";
constexpr const char* kTooManyAddFiles = " is beyond the 50 add files an update can write!\n";

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& ch : out) {
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  }
  return out;
}

bool Contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }


struct ExactName {
  const char* name;
  ImageRole role;
};

// The exact-name rules between the hex rule and the PC Suite rules, in their testing order.
constexpr ExactName kEarlyNames[] = {
    {"partition.mbn", ImageRole::Partition}, {"amss.mbn", ImageRole::Amss},
    {"efs.mbn", ImageRole::Efs},             {"cefs.mbn", ImageRole::CEfs},
    {"cefs_apps.mbn", ImageRole::CEfsApps},  {"nandimage", ImageRole::RawAppsEfs},
    {"amsshd.mbn", ImageRole::AmssHeader},   {"dsp1.mbn", ImageRole::Dsp1},
    {"dsp2.mbn", ImageRole::Dsp2},
};

// The exact-name rules after the PC Suite rules.
constexpr ExactName kLateNames[] = {
    {"qcsbl.mbn", ImageRole::Qcsbl},
    {"qcsblhd_cfgdata.mbn", ImageRole::QcsblHeaderCfgdata},
    {"oemsbl.mbn", ImageRole::Oemsbl},
    {"oemsblhd.mbn", ImageRole::OemsblHeader},
    {"fsbl.mbn", ImageRole::Fsbl},
    {"dbl.mbn", ImageRole::Dbl},
    {"osbl.mbn", ImageRole::Osbl},
    {"appshd.mbn", ImageRole::AppsHeader},
    {"apps.mbn", ImageRole::Apps},
    {"appsboothd.mbn", ImageRole::AppsBootHeader},
    {"appsboot.mbn", ImageRole::AppsBoot},
    {"boot.img", ImageRole::BootImage},
    {"primary_gpt", ImageRole::PrimaryGpt},
    {"secondary_gpt", ImageRole::SecondaryGpt},
    {"zimage", ImageRole::ZImage},
    {"ramdisk.img", ImageRole::Ramdisk},
    {"system.img", ImageRole::System},
    {"ramdisk_recovery.img", ImageRole::RamdiskRecovery},
    {"userdata.img", ImageRole::Userdata},
    {"zimage_recovery", ImageRole::ZImageRecovery},
    {"cfgdata.mbn", ImageRole::Cfgdata},
    {"all.mbn", ImageRole::Phone},
    {"rpm.mbn", ImageRole::Rpm},
    {"sbl1.mbn", ImageRole::Sbl1},
    {"sbl2_dl.mbn", ImageRole::Sbl2Dl},
};

std::optional<ImageRole> FindExact(std::string_view lower, const auto& table) {
  for (const ExactName& rule : table) {
    if (lower == rule.name) return rule.role;
  }
  return std::nullopt;
}

RoleMatch Role(ImageRole role) { return {RoleMatch::Kind::Role, role}; }

FileListRow RowFor(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return {path, "", true};
  return {path.substr(slash + 1), path.substr(0, slash + 1), true};
}

// Runs the checks in order; the first failure shows its message and every later check is
// skipped.
class Checker {
public:
  Checker(const VerificationContext& ctx, std::vector<FileListRow>& rows) : ctx_(ctx), rows_(rows) {}

  bool failed() const { return failed_; }

  // A file that only has to exist (the backup files).
  void Exists(const std::string& path, const char* prefix) {
    if (failed_) return;
    if (!FileExists(path)) return Fail(prefix, path, kMissing);
    rows_.push_back(RowFor(path));
  }

  // A file that has to exist and be at least 1 byte and below `limit`; its size goes to `slot`.
  void Check(const std::string& path, const char* missingPrefix, const char* sizePrefix, uint64_t limit,
             uint32_t& slot, bool listed = true) {
    if (failed_) return;
    if (!FileExists(path)) return Fail(missingPrefix, path, kMissing);
    // The size tables are 32-bit: a limit far below 4 GiB keeps a larger file from wrapping
    // round into an accepted size.
    std::optional<uint64_t> size = ReadableFileSize(path);
    if (!size || *size == 0 || *size >= limit) return Fail(sizePrefix, path, kBadSize);
    slot = static_cast<uint32_t>(*size);
    if (listed) rows_.push_back(RowFor(path));
  }
  void Check(const std::string& path, const char* prefix, uint64_t limit, uint32_t& slot) {
    Check(path, prefix, prefix, limit, slot);
  }

  void Refuse(const char* prefix, const std::string& path, const char* suffix) {
    if (!failed_) Fail(prefix, path, suffix);
  }

private:
  void Fail(const char* prefix, const std::string& path, const char* suffix) {
    failed_ = true;
    ctx_.dialogs.MessageBox(std::string(prefix) + path + suffix, ctx_.messageCaption, kMbOk);
  }

  const VerificationContext& ctx_;
  std::vector<FileListRow>& rows_;
  bool failed_ = false;
};

std::string LocalAddFile(const std::string& folder, const std::string& entry) {
  size_t slash = entry.find_last_of('/');
  return folder + "/" + (slash == std::string::npos ? entry : entry.substr(slash + 1));
}

void ScanFolder(const VerificationContext& ctx, const std::string& folder, ImageSet& images, int depth) {
  std::error_code ec;
  fs::directory_iterator it(folder, ec);
  if (ec) return;
  struct Entry {
    std::string name;
    std::string key;
    bool descend;
  };
  std::vector<Entry> entries;
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) break;
    std::string name = it->path().filename().string();
    std::error_code typeEc;
    // A link is tested by its name like any file; only a real folder is entered.
    bool descend = it->is_directory(typeEc) && !it->is_symlink(typeEc);
    entries.push_back({name, Lower(name), descend});
  }
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    return a.key != b.key ? a.key < b.key : a.name < b.name;
  });
  for (const Entry& entry : entries) {
    std::string path = folder + entry.name;
    if (entry.descend) {
      if (depth < kMaxScanDepth) ScanFolder(ctx, path + "/", images, depth + 1);
      continue;
    }
    RoleMatch match = MatchImageRole(entry.name, ctx.config.options);
    if (match.kind == RoleMatch::Kind::Role) {
      images.paths[static_cast<size_t>(match.role)] = path;
    } else if (match.kind == RoleMatch::Kind::Hex) {
      std::string binPath = folder + entry.name.substr(0, entry.name.find('.') + 1) + "BIN";
      if (ConvertHexToBin(path, binPath, ctx.workingFolder, ctx.dialogs)) {
        images.paths[static_cast<size_t>(ImageRole::FlashProgrammer)] = binPath;
      }
    }
  }
}

// The checks of one verification, by the images' roles, in the order the rows are listed.
class RoleChecks {
public:
  RoleChecks(const VerificationContext& ctx, ImageSet& images, Checker& c)
      : config_(ctx.config), o_(ctx.config.options), pt_(ctx.config.projectType), images_(images), c_(c) {}

  void Run() {
    BackupFiles();
    ProgrammerAndPartition();
    Bootloaders();
    ModemImages();
    FastbootImages();
    EfsImages();
    if (o_.pcSuite) Check(ImageRole::PcSuite, "Error:PCSuit file ", kLimitPcSuite);
    if (o_.bRpmBootloader) Check(ImageRole::Rpm, kFile, kLimitImage);
  }

private:
  void Check(ImageRole role, const char* missingPrefix, const char* sizePrefix, uint64_t limit, bool listed = true) {
    size_t i = static_cast<size_t>(role);
    c_.Check(images_.paths[i], missingPrefix, sizePrefix, limit, images_.sizes[i], listed);
  }
  void Check(ImageRole role, const char* prefix, uint64_t limit) { Check(role, prefix, prefix, limit); }

  void BackupFiles() {
    if (!o_.bRestore || o_.bBackup) return;
    c_.Exists(images_.atBakPath, kFile);
    // Only the configurations that save NV items over DIAG write nv.bak; the others keep them
    // through the QMSL library beside the EFS copies, and a restore must not wait for a file
    // that is never written.
    bool nvBak = project::UsesAlternativeNvList(pt_, config_.isAlcatel) || config_.networkType == 1 ||
                 config_.networkType == 2 || project::IsCdmaOnly(pt_);
    if (nvBak) c_.Exists(images_.nvBakPath, kFile);
  }

  void ProgrammerAndPartition() {
    if (!(o_.bBackup || o_.bAMSSFile || o_.bPhoneImage || o_.bEFS || o_.bRawAppsEFS || o_.bBootloader ||
          o_.bCfgdata || o_.pcSuite || o_.bAppsBootloader || o_.bAppsImageAndBootloader)) {
      return;
    }
    Check(ImageRole::FlashProgrammer, "Error: BIN file ", "Error:BIN file ", kLimitFlashProgrammer, false);
    if (!project::HasNoPartitionTable(pt_)) Check(ImageRole::Partition, "Error:partition file ", kLimitPartition);
  }

  void Bootloaders() {
    if (!o_.bBootloader) return;
    if (project::UsesDblBootChain(pt_)) {
      Check(ImageRole::Fsbl, "Error:Fsbl file ", "Error:Fsbl ile ", kLimitImage);
      Check(ImageRole::Dbl, "Error:Dbl file ", kLimitImage);
      Check(ImageRole::Osbl, "Error:Osbl file ", kLimitImage);
    } else if (project::IsMdm9x15(pt_)) {
      Check(ImageRole::Sbl1, kFile, kLimitImage);
      Check(ImageRole::Sbl2Dl, kFile, kLimitImage);
    } else {
      Check(ImageRole::Qcsbl, "Error:QC file ", kLimitImage);
      Check(ImageRole::QcsblHeaderCfgdata, "Error:Qchd file ", kLimitImage);
      Check(ImageRole::OemsblHeader, "Error:Oemh file ", "Error:Oemhd file ", kLimitHeader);
      Check(ImageRole::Oemsbl, "Error:Oem file ", "Error:Oem ile ", kLimitImage);
    }
  }

  void ModemImages() {
    if (o_.bCfgdata) Check(ImageRole::Cfgdata, "Error:Cofiguration file ", "Error:Configuration file ", kLimitImage);
    if (o_.bAMSSFile) {
      Check(ImageRole::Amss, "Error:AMss file ", "Error:Amss file ", kLimitImage);
      if (!project::UsesDblBootChain(pt_)) Check(ImageRole::AmssHeader, "Error:Amsshd file ", kLimitHeader);
    }
    if (o_.bPhoneImage) Check(ImageRole::Phone, "Error:Phone image file ", kLimitImage);
    if (o_.bDSP) {
      Check(ImageRole::Dsp1, kFile, kLimitImage);
      Check(ImageRole::Dsp2, kFile, kLimitImage);
    }
    if (o_.bAppsImageAndBootloader) {
      Check(ImageRole::AppsHeader, kFile, kLimitImage);
      Check(ImageRole::Apps, kFile, kLimitImage);
      Check(ImageRole::AppsBootHeader, kFile, kLimitHeader);
      Check(ImageRole::AppsBoot, kFile, kLimitImage);
    }
    if (o_.bAppsBootloader) Check(ImageRole::AppsBoot, kFile, kLimitImage);
  }

  void FastbootImages() {
    if (o_.bFastbootBootImage) Check(ImageRole::BootImage, kFile, kLimitImage);
    if (o_.bFastbootPrimary_gpt) Check(ImageRole::PrimaryGpt, "Error:Primary File ", kFile, kLimitFastbootImage);
    if (o_.bFastbootSecondary_gpt) Check(ImageRole::SecondaryGpt, "Error:Secondary File ", kFile, kLimitFastbootImage);
    if (o_.bFastbootzImage) Check(ImageRole::ZImage, "Error:zImage File ", kFile, kLimitFastbootImage);
    if (o_.bFastbootRamdisk) Check(ImageRole::Ramdisk, "Error:ramdisk File ", kFile, kLimitFastbootImage);
    if (o_.bFastbootSystemImage) Check(ImageRole::System, "Error:system File ", kFile, kLimitFastbootImage);
    if (o_.bFastbootRamdisk_recoveryImage) Check(ImageRole::RamdiskRecovery, kFile, kLimitFastbootImage);
    if (o_.bFastbootUserdataImage) Check(ImageRole::Userdata, kFile, kLimitFastbootImage);
    if (o_.bFastbootzImage_recoveryImage) Check(ImageRole::ZImageRecovery, kFile, kLimitFastbootImage);
    if (o_.bFastbootConfiguration) {
      const auto& files = config_.fastbootFileNameList;
      for (size_t i = 0; i < files.size() && i < kFastbootSizeSlots; ++i) {
        if (files[i] != "erase") c_.Check(files[i], kFile, kLimitFastbootList, images_.fastbootFileSizes[i]);
      }
    }
  }

  void EfsImages() {
    if (o_.bRawAppsEFS) Check(ImageRole::RawAppsEfs, kFile, kLimitImage);
    if (o_.bEFS) {
      if (project::HasModemAndAppsEfs(pt_)) {
        Check(ImageRole::CEfs, kFile, kLimitImage);
        Check(ImageRole::CEfsApps, kFile, kLimitImage);
      } else if (project::HasAppsEfsOnly(pt_)) {
        Check(ImageRole::CEfsApps, kFile, kLimitImage);
      } else {
        Check(ImageRole::Efs, "Error:EFS file ", kLimitImage);
      }
    }
    if (!o_.bPartOfEFS) return;
    for (size_t i = 0; i < images_.partOfEfsFiles.size(); ++i) {
      const std::string& file = images_.partOfEfsFiles[i];
      if (i >= kAddFileSizeSlots) {
        // The worker has room for 50 add files; more would be left out of the update unnoticed.
        c_.Refuse(kFile, file, kTooManyAddFiles);
        break;
      }
      c_.Check(file, kFile, kLimitFastbootImage, images_.addFileSizes[i]);
    }
  }

  const ProductConfig& config_;
  const DownloadOptions& o_;
  const int pt_;
  ImageSet& images_;
  Checker& c_;
};

}  // namespace

RoleMatch MatchImageRole(std::string_view fileName, const DownloadOptions& options) {
  const std::string lower = Lower(fileName);
  if (Contains(lower, ".hex")) return {RoleMatch::Kind::Hex, ImageRole::FlashProgrammer};
  if (auto role = FindExact(lower, kEarlyNames)) return Role(*role);
  auto pcSuite = [](bool on) { return on ? Role(ImageRole::PcSuite) : RoleMatch{RoleMatch::Kind::Consumed}; };
  if (Contains(lower, "iso") && lower != "imageempty.iso") return pcSuite(options.bCDROM);
  if (Contains(lower, ".ima") && lower != "fatempty.ima") return pcSuite(options.bDISK);
  if (lower == "resimage") return pcSuite(options.bResImage);
  if (auto role = FindExact(lower, kLateNames)) return Role(*role);
  return {};
}

void ScanImageFolder(const VerificationContext& ctx, const std::string& folder, ImageSet& images) {
  ScanFolder(ctx, folder, images, 0);
}

ImageSet VerifyImageFolder(const VerificationContext& ctx, const std::string& folder, std::vector<FileListRow>& rows) {
  rows.clear();
  ImageSet images;
  if (folder.empty()) return images;
  ScanImageFolder(ctx, folder + "/", images);

  const std::string& backupBase = ctx.resuming ? ctx.backupFolder : folder;
  images.atBakPath = backupBase + "/at.bak";
  images.nvBakPath = backupBase + "/nv.bak";
  if (ctx.config.options.bPartOfEFS) {
    for (const std::string& entry : ctx.config.addFiles) images.partOfEfsFiles.push_back(LocalAddFile(folder, entry));
  }

  Checker checker(ctx, rows);
  RoleChecks(ctx, images, checker).Run();
  if (checker.failed()) {
    rows.clear();
    images.failed = true;
    return images;
  }
  uint64_t total = 0;
  for (uint32_t size : images.sizes) total += size;
  if (ctx.config.options.bFastbootConfiguration) {
    for (uint32_t size : images.fastbootFileSizes) total += size;
  }
  if (ctx.config.options.bPartOfEFS) {
    for (uint32_t size : images.addFileSizes) total += size;
  }
  images.totalSize = total;
  images.verified = true;
  return images;
}

void CopyImageSetInto(const ImageSet& images, RunParameters& params) {
  auto image = [&](ImageRole role) { return FastbootImage{images.Path(role), images.Size(role)}; };
  params.FastbootRecoveryImageFile = image(ImageRole::RamdiskRecovery);
  params.FastbootBootImageFile = image(ImageRole::BootImage);
  params.FastbootPrimary_gptFile = image(ImageRole::PrimaryGpt);
  params.FastbootSecondary_gptFile = image(ImageRole::SecondaryGpt);
  params.FastbootzImageFile = image(ImageRole::ZImage);
  params.FastbootRamdiskFile = image(ImageRole::Ramdisk);
  params.FastbootSystemImageFile = image(ImageRole::System);
  params.FastbootUserdataImageFile = image(ImageRole::Userdata);
  params.FastbootSplashImageFile = image(ImageRole::ZImageRecovery);
  params.FastbootFileSizes = images.fastbootFileSizes;
  params.AddFileSizes = images.addFileSizes;
  params.PartOfEFSFileNameList = &images.partOfEfsFiles;
  params.allTotalFileSize =
      static_cast<uint32_t>(std::min<uint64_t>(images.totalSize, std::numeric_limits<uint32_t>::max()));
}

}  // namespace upwend
