#pragma once
// The loaded Config.ini of a product build: identity, device checks, update options, derived
// numbers and lists. LoadConfig fills it; ClearDownloadOptions, CheckPackagePair and
// BuildSettingsSummary work on it. It lives in the main window; Start copies it into the worker.
#include <string>
#include <vector>

#include "engine/worker/download_options.h"

namespace upwend {

class Dialogs;
class IniFile;

enum class LayoutLanguage { English, Japanese };

constexpr int kProjectTypeMdm9x15 = 1013;
constexpr int kPlatformUnchecked = 255;

struct ProductConfig {
  // [Project]
  std::string caption;
  std::string version;          // first Version: product version text
  std::string project;
  std::string platform;
  std::string name;
  std::string language;
  std::string lteType;          // worker: strLTEType
  std::string gpio;
  std::string type;
  bool bCheckMainboardType = false;
  bool bCheckProjectCode = false;
  bool executeResetModem = false;
  std::string softwareVersion;  // second Version: compared by the device check
  bool isAlcatel = false;
  int packet = 0;
  int flashType = 0;
  std::string flashID;
  std::string flashSize;
  bool rtrecfg = false;
  // [MemoryType]
  bool bCheckDataCardMemory = false;
  bool bCheckRouterMemory = false;
  std::string ramSize;
  std::string memoryFlashSize;
  std::string supportFlashID;
  // [Custom_About_Interface]
  std::string aboutDescription;
  std::string aboutCopyright;
  std::string aboutVersion;
  // [General Option]
  int blockSize = 0;  // worker: m_nBlockSize
  bool bFastSpeedDownload = false;
  // [BackupRestore_AT]
  bool uitNewWays = false;
  bool esn = false;

  DownloadOptions options;
  std::string fastBootSystemImageFilePath;

  // Derived numbers.
  int projectType = -1;
  bool phone = false;
  int platformCode = 0;  // worker: PlatformName
  int networkType = 0;   // worker: PlatformType
  int variant = 0;       // 1..3 for the variants of project type 3, else 0
  LayoutLanguage layout = LayoutLanguage::English;

  // Lists.
  std::vector<std::string> fastbootFileCmdList;   // partitions
  std::vector<std::string> fastbootFileNameList;  // files (full paths once written) or "erase"
  std::vector<std::string> removeFiles;
  std::vector<std::string> removeDirs;
  std::vector<std::string> createDirs;
  std::vector<std::string> addFiles;
  std::vector<std::string> userDataFiles;
  std::vector<std::string> userDataDirs;
  std::string arm11File;
  std::vector<std::string> nvItemList;   // NV_Default then NV_Custom, upper case
  std::vector<std::string> startATList;  // each with "\r\n\r\n" appended
  std::vector<std::string> endATList;

  // SIM lock.
  bool simLock = false;
  int simLockMode = 0;
  std::string simLockText;

  // Second package of a two-package build.
  std::string secondName;
  std::string secondSoftwareVersion;

  bool TwoPackages() const { return packet == 2; }
  // One of the customer variants of the variant build (project rules take it as `variantSet`).
  bool VariantSet() const { return variant != 0; }
  bool FastbootListLoaded() const { return options.bFastbootConfiguration && !fastbootFileNameList.empty(); }
};

// Messages of the configuration checks.
inline constexpr const char* kMsgBadPlatform = "Config was wrong.Not support platform configuration.";
inline constexpr const char* kMsgUnknownTerminal = "Unknow the terminal type.";
inline constexpr const char* kMsgBadMemoryType = "Memory type configuration was wrong.";
inline constexpr const char* kMsgNoSoftwareVersion = "Could not find software version";
inline constexpr const char* kMsgBadFastbootList = "Fastboot configration is incorrect!";
inline constexpr const char* kMsgNoUserData = "User data file not found.";
inline constexpr const char* kMsgPhonePcSuite = "Config was wrong.Phone type can't download PCSuite.";
inline constexpr const char* kMsgBackupRestore = "Config was wrong.\nBackup and restore must be selected at same time.";
inline constexpr const char* kMsgEfsPartOfEfs = "Config was wrong.\nEFS and part of EFS can't be selected at same time.";
inline constexpr const char* kMsgSimLockEmpty = "SIMLOCKList is empty!";
inline constexpr const char* kMsgBadDefaultNv = "Default NV configration is incorrect!";
inline constexpr const char* kMsgBadCustomNv = "Custom NV configration is incorrect!";
inline constexpr const char* kMsgBadStartAt = "Start AT command configration is incorrect!";
inline constexpr const char* kMsgBadEndAt = "End AT command configration is incorrect!";
inline constexpr const char* kMsgSameFlashType = "两个版本包中不能是相同Flash大小的版本[FlashType]";
inline constexpr const char* kMsgBadPairing = "NP31或NQ4售后方案的配置不正确";
inline constexpr const char* kCaptionChineseWarning = "警告";

// Project type from the Project key: "PT00".."PT48" -> 0..48, "MDM9x15" -> 1013, else -1.
int ProjectTypeOf(const std::string& project);
// Platform code from the Platform key; -1 when it matches no rule (a configuration error).
int PlatformCodeOf(const std::string& platform);
// Network type from the Type key.
int NetworkTypeOf(const std::string& type);

// Reads `path` into `config`, from a clean state, in the tool's fixed order. A configuration
// error shows its message through `dialogs` (caption "Warning") and leaves the rest unread.
// Returns false when it stopped at an error.
bool LoadConfig(ProductConfig& config, const std::string& path, Dialogs& dialogs);
bool LoadConfig(ProductConfig& config, const IniFile& ini, Dialogs& dialogs);

void ClearDownloadOptions(ProductConfig& config);

// Checks the second package of a two-package build. Returns false when the program has to end
// (the message was shown; the caller asks the application to quit).
bool CheckPackagePair(ProductConfig& config, const std::string& secondConfigPath, Dialogs& dialogs);

// The options summary ("Backup, Restore, sbl1, ... cdrom.").
std::string BuildSettingsSummaryText(const ProductConfig& config);

}  // namespace upwend
