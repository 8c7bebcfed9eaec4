#include "app/config/configuration.h"

#include <fmt/format.h>

#include <optional>
#include <tuple>

#include "app/shell/dialogs.h"
#include "engine/worker/project_rules.h"
#include "platform/file_io.h"
#include "platform/ini_file.h"

namespace upwend {

namespace {

constexpr const char* kWarning = "Warning";

// A numbered list: prefix + n from `first` while the key exists and is not empty, at most `limit`.
std::vector<std::string> ReadList(const IniFile& ini, const char* section, const char* prefix, int first, int limit) {
  std::vector<std::string> out;
  for (int i = 0; i < limit; ++i) {
    std::string value = ini.ReadString(section, fmt::format("{}{}", prefix, first + i), "");
    if (value.empty()) break;
    out.push_back(std::move(value));
  }
  return out;
}

bool OnWhenNonZero(const IniFile& ini, const char* section, const char* key, int def = 0) {
  return ini.ReadInteger(section, key, def) != 0;
}

bool OnWhenOne(const IniFile& ini, const char* section, const char* key) { return ini.ReadInteger(section, key, 0) == 1; }

}  // namespace

int ProjectTypeOf(const std::string& project) {
  if (project == "MDM9x15") return kProjectTypeMdm9x15;
  if (project.size() == 4 && project.starts_with("PT") && project[2] >= '0' && project[2] <= '9' && project[3] >= '0' &&
      project[3] <= '9') {
    int n = (project[2] - '0') * 10 + (project[3] - '0');
    if (n <= 48) return n;
  }
  return -1;
}

int PlatformCodeOf(const std::string& platform) {
  static const std::pair<const char*, int> kRules[] = {
      {"9200", 0}, {"6260", 186}, {"6246", 33}, {"6290", 29}, {"6270", 19}, {"6085", 119}, {"7225", 13}, {"8200", 8},
  };
  for (const auto& [text, code] : kRules) {
    if (platform.find(text) != std::string::npos) return code;
  }
  if (platform == "UNKNOWN") return kPlatformUnchecked;
  return -1;
}

int NetworkTypeOf(const std::string& type) {
  if (type == "EVDO") return 2;
  if (type == "CDMA2000") return 1;
  if (type == "LTE") return 3;
  return 0;
}

void ClearDownloadOptions(ProductConfig& config) {
  DownloadOptions& o = config.options;
  o.bEFS = o.bRawAppsEFS = o.bPartOfEFS = o.bAMSSFile = o.bAppsBootloader = o.bAppsImageAndBootloader = false;
  o.pcSuite = o.bCfgdata = false;
  config.simLock = false;
  o.bFastbootRamdisk_recoveryImage = o.bFastbootPrimary_gpt = o.bFastbootSecondary_gpt = o.bFastbootzImage = false;
  o.bFastbootRamdisk = o.bFastbootSystemImage = o.bFastbootBootImage = o.bFastbootUserdataImage = false;
  o.bFastbootzImage_recoveryImage = o.bFastbootSystemImageMutil = false;
}

bool LoadConfig(ProductConfig& config, const std::string& path, Dialogs& dialogs) {
  auto ini = IniFile::Load(path);
  // An unreadable file reads as all defaults, as the Windows reader gives them; the checks below
  // then report what is missing.
  return LoadConfig(config, ini ? *ini : IniFile{}, dialogs);
}

namespace {

// A configuration error: its message, whether it clears the update options read so far, and
// the box's buttons.
struct ConfigError {
  const char* message;
  bool clearsOptions = true;
  unsigned flags = kMbOk;
};
using ReadResult = std::optional<ConfigError>;

constexpr const char* P = "Project";
constexpr const char* D = "DownloadItems";

ReadResult ReadIdentityAndPlatform(ProductConfig& c, const IniFile& ini) {
  c.caption = ini.ReadString(P, "Caption", "Upwend_***");
  c.version = ini.ReadString(P, "Version", "");
  c.project = ini.ReadString(P, "Project", "");
  c.projectType = ProjectTypeOf(c.project);
  c.phone = project::IsPhone(c.projectType);
  c.platform = ini.ReadString(P, "Platform", "UNKNOWN");
  c.platformCode = PlatformCodeOf(c.platform);
  if (c.platformCode < 0) {
    c.platformCode = 0;
    return ConfigError{kMsgBadPlatform};
  }
  return {};
}

// Name, layout, About texts, network and the device checks.
ReadResult ReadLayoutAndDeviceChecks(ProductConfig& c, const IniFile& ini) {
  c.name = ini.ReadString(P, "Name", "UNKNOWN");
  c.language = ini.ReadString(P, "Language", "English");
  c.layout = c.language.find("English") == std::string::npos && c.language.find("Japanese") != std::string::npos
                 ? LayoutLanguage::Japanese
                 : LayoutLanguage::English;
  c.aboutDescription = ini.ReadString("Custom_About_Interface", "Description", "");
  c.aboutCopyright = ini.ReadString("Custom_About_Interface", "Copyright", "");
  c.aboutVersion = ini.ReadString("Custom_About_Interface", "Version", "");
  c.lteType = ini.ReadString(P, "LTEType", "");
  c.gpio = ini.ReadString(P, "GPIO", "");
  c.type = ini.ReadString(P, "Type", "");
  c.networkType = NetworkTypeOf(c.type);
  c.bCheckMainboardType = OnWhenOne(ini, P, "bCheckMainboardType");
  c.bCheckProjectCode = OnWhenOne(ini, P, "bCheckProjectCode");
  c.bCheckDataCardMemory = OnWhenOne(ini, "MemoryType", "bCheckDataCardMemory");
  c.bCheckRouterMemory = OnWhenOne(ini, "MemoryType", "bCheckRouterMemory");
  if (c.bCheckDataCardMemory && c.bCheckRouterMemory) return ConfigError{kMsgUnknownTerminal};
  if (c.bCheckDataCardMemory || c.bCheckRouterMemory) {
    c.ramSize = ini.ReadString("MemoryType", "RAMSize", "");
    c.memoryFlashSize = ini.ReadString("MemoryType", "FlashSize", "");
    if (c.ramSize.empty() && c.memoryFlashSize.empty()) return ConfigError{kMsgBadMemoryType};
    c.supportFlashID = ini.ReadString("MemoryType", "SupportFlashID", "");
  }
  c.executeResetModem = OnWhenOne(ini, P, "ExecuteResetModem");
  return {};
}

// The software version the device check compares, and the customer variant it names.
ReadResult ReadSoftwareVersion(ProductConfig& c, const IniFile& ini) {
  if (c.bCheckProjectCode || c.bCheckMainboardType || project::ReadsSoftwareVersion(c.projectType)) {
    c.softwareVersion = ini.ReadString(P, "Version", "");
    if (c.softwareVersion.empty() && (c.bCheckMainboardType || project::RequiresSoftwareVersion(c.projectType))) {
      return ConfigError{kMsgNoSoftwareVersion, false};
    }
  }
  c.variant = 0;
  if (project::HasCustomerVariants(c.projectType)) {
    if (c.softwareVersion.find("SWVA001") != std::string::npos) {
      c.variant = 1;
    } else if (c.softwareVersion.find("SWVB002") != std::string::npos) {
      c.variant = 2;
    } else if (c.softwareVersion.find("SWVC003") != std::string::npos) {
      c.variant = 3;
    }
  }
  if (project::OffersAlternativeNvList(c.projectType)) c.isAlcatel = OnWhenOne(ini, P, "IsAlcatel");
  return {};
}

ReadResult ReadTransferSettings(ProductConfig& c, const IniFile& ini) {
  c.packet = static_cast<int>(ini.ReadInteger(P, "Packet", 1));
  c.flashType = static_cast<int>(ini.ReadInteger(P, "FlashType", 0));
  c.flashID = ini.ReadString(P, "FlashID", "");
  c.flashSize = ini.ReadString(P, "FlashSize", "");
  c.blockSize = static_cast<int>(ini.ReadInteger("General Option", "BlockSize", 1024));
  c.bFastSpeedDownload = OnWhenNonZero(ini, "General Option", "bFastSpeedDownload");
  c.uitNewWays = OnWhenNonZero(ini, "BackupRestore_AT", "UIT_NewWays");
  c.rtrecfg = OnWhenNonZero(ini, P, "RTRECFG");
  return {};
}

// The update options are read in the tool's order, each followed by its list: an error leaves
// the options after it unread.
ReadResult ReadFastbootOptions(ProductConfig& c, const IniFile& ini) {
  DownloadOptions& o = c.options;
  o.bEFS = OnWhenNonZero(ini, D, "bEFS");
  o.bRawAppsEFS = OnWhenNonZero(ini, D, "bRawAppsEFS");
  o.bFastbootRamdisk_recoveryImage = OnWhenNonZero(ini, D, "bFastbootRamdisk_recoveryImage");
  o.bFastbootUserdataImage = OnWhenNonZero(ini, D, "bFastbootUserdataImage");
  o.bFastbootPrimary_gpt = OnWhenNonZero(ini, D, "bFastbootPrimary_gpt");
  o.bFastbootSecondary_gpt = OnWhenNonZero(ini, D, "bFastbootSecondary_gpt");
  o.bFastbootzImage = OnWhenNonZero(ini, D, "bFastbootzImage");
  o.bFastbootRamdisk = OnWhenNonZero(ini, D, "bFastbootRamdisk");
  o.bFastbootSystemImage = OnWhenNonZero(ini, D, "bFastbootSystemImage");
  if (o.bFastbootSystemImage) c.fastBootSystemImageFilePath = ini.ReadString(D, "FastBootSystemImageFilePath", "");
  o.bFastbootSystemImageMutil = OnWhenNonZero(ini, D, "bFastbootSystemImageMutil");
  o.bFastbootBootImage = OnWhenNonZero(ini, D, "bFastbootBootImage");
  o.bFastbootzImage_recoveryImage = OnWhenNonZero(ini, D, "bFastbootzImage_recoveryImage");
  o.bSwitchFastbootMode = OnWhenNonZero(ini, D, "bSwitchFastbootMode");
  o.bFastbootConfiguration = OnWhenNonZero(ini, D, "bFastbootConfiguration");
  if (!o.bFastbootConfiguration) return {};
  // The list is taken whole or not at all: a half-read partition list must never be flashed.
  std::vector<std::string> cmds;
  std::vector<std::string> files;
  for (const std::string& entry : ReadList(ini, "FastbootDownloadFiles", "DL", 0, 15)) {
    size_t bar = entry.find('|');
    if (bar == std::string::npos) return ConfigError{kMsgBadFastbootList};
    cmds.emplace_back(TrimBlanks(std::string_view(entry).substr(0, bar)));
    files.emplace_back(TrimBlanks(std::string_view(entry).substr(bar + 1)));
  }
  c.fastbootFileCmdList = std::move(cmds);
  c.fastbootFileNameList = std::move(files);
  return {};
}

ReadResult ReadEfsAndUserDataLists(ProductConfig& c, const IniFile& ini) {
  DownloadOptions& o = c.options;
  o.bPartOfEFS = OnWhenNonZero(ini, D, "bPartOfEFS");
  if (o.bPartOfEFS) {
    c.removeFiles = ReadList(ini, "RemoveFiles", "RF", 0, 100);
    c.removeDirs = ReadList(ini, "RemoveDir", "RD", 0, 100);
    c.createDirs = ReadList(ini, "CreateDir", "CD", 0, 100);
    c.addFiles = ReadList(ini, "AddFiles", "AF", 0, 100);
  }
  o.bBackupUserData = OnWhenNonZero(ini, D, "bBackupUserData");
  if (o.bBackupUserData) {
    c.userDataFiles = ReadList(ini, "UserDataFiles", "UF", 0, 1000);
    c.userDataDirs = ReadList(ini, "UserDataDir", "UD", 0, 1000);
    if (c.userDataFiles.empty() && c.userDataDirs.empty()) return ConfigError{kMsgNoUserData, true, kMbOkCancel};
  }
  o.bBackupARM11Files = OnWhenNonZero(ini, D, "bBackupARM11Files");
  c.arm11File = ini.ReadString("ARM11Files", "ARM11F0", "");
  if (c.arm11File.empty()) o.bBackupARM11Files = false;
  c.esn = OnWhenNonZero(ini, "BackupRestore_AT", "ESN");
  return {};
}

// PC Suite is on when one medium is chosen; the first of DISK, CDROM, ResImage wins.
void DerivePcSuite(DownloadOptions& o) {
  if (o.bDISK) {
    o.pcSuite = true;
    o.bCDROM = o.bResImage = false;
  } else if (o.bCDROM) {
    o.pcSuite = true;
    o.bDISK = o.bResImage = false;
  } else if (o.bResImage) {
    o.pcSuite = true;
    o.bDISK = o.bCDROM = false;
  } else {
    o.pcSuite = false;
  }
}

ReadResult ReadImageOptions(ProductConfig& c, const IniFile& ini) {
  DownloadOptions& o = c.options;
  o.bBackup = OnWhenNonZero(ini, D, "bBackup");
  o.bRestore = OnWhenNonZero(ini, D, "bRestore");
  o.bAMSSFile = OnWhenNonZero(ini, D, "bAMSSFile");
  o.bPhoneImage = OnWhenNonZero(ini, D, "bPhoneImage");
  o.bAppsBootloader = OnWhenNonZero(ini, D, "bAppsBootloader");
  o.bAppsImageAndBootloader = OnWhenNonZero(ini, D, "bAppsImageAndBootloader");
  o.bDSP = OnWhenNonZero(ini, D, "bDSP");
  o.bCDROM = OnWhenNonZero(ini, D, "bCDROM");
  o.bDISK = OnWhenNonZero(ini, D, "bDISK");
  o.bResImage = OnWhenNonZero(ini, D, "bResImage");
  DerivePcSuite(o);
  o.bBootloader = OnWhenNonZero(ini, D, "bBootloader");
  if (o.bBootloader) {
    o.bdbl = OnWhenNonZero(ini, D, "bdbl", 1);
    o.bfsbl = OnWhenNonZero(ini, D, "bfsbl", 1);
    o.bosbl = OnWhenNonZero(ini, D, "bosbl", 1);
  }
  o.bCfgdata = OnWhenNonZero(ini, D, "bCfgdata");
  o.bRpmBootloader = OnWhenNonZero(ini, D, "bRpmBootloader");
  o.bEnprg9x15 = OnWhenNonZero(ini, D, "bEnprg9x15");
  return {};
}

// Options that cannot go together.
ReadResult CheckOptionPairs(ProductConfig& c, const IniFile&) {
  const DownloadOptions& o = c.options;
  if (c.phone && o.pcSuite) return ConfigError{kMsgPhonePcSuite};
  if (o.bBackup != o.bRestore) return ConfigError{kMsgBackupRestore};
  if (o.bEFS && o.bPartOfEFS) return ConfigError{kMsgEfsPartOfEfs};
  return {};
}

ReadResult ReadSimLock(ProductConfig& c, const IniFile& ini) {
  std::string simLock = ini.ReadString("SIMLOCK", "bSimLock", "");
  if (simLock.empty()) return {};
  c.simLock = true;
  c.simLockText = simLock;
  c.simLockMode = simLock[0] == '1' ? 1 : 0;
  if (c.simLockMode == 1 && simLock.size() <= 2) return ConfigError{kMsgSimLockEmpty, true, kMbOk | kMbIconWarning};
  return {};
}

// NV item lines; each list is taken only when every line of it is sound.
ReadResult ReadNvLines(ProductConfig& c, const IniFile& ini) {
  for (auto [section, message] : {std::pair{"NV_Default", kMsgBadDefaultNv}, std::pair{"NV_Custom", kMsgBadCustomNv}}) {
    std::vector<std::string> lines;
    for (std::string& line : ReadList(ini, section, "NV", 1, 1000)) {
      line = AsciiUpper(line);
      if (line.find(':') == std::string::npos) return ConfigError{message};
      lines.push_back(std::move(line));
    }
    c.nvItemList.insert(c.nvItemList.end(), lines.begin(), lines.end());
  }
  return {};
}

ReadResult ReadAtLines(ProductConfig& c, const IniFile& ini) {
  for (auto [section, message, list] : {std::tuple{"Start_AT", kMsgBadStartAt, &c.startATList},
                                        std::tuple{"End_AT", kMsgBadEndAt, &c.endATList}}) {
    std::vector<std::string> lines;
    for (const std::string& line : ReadList(ini, section, "AT", 1, 1000)) {
      if (line.find("AT") == std::string::npos) return ConfigError{message};
      lines.push_back(line + "\r\n\r\n");
    }
    *list = std::move(lines);
  }
  return {};
}

}  // namespace

bool LoadConfig(ProductConfig& c, const IniFile& ini, Dialogs& dialogs) {
  c = ProductConfig{};
  // The tool's fixed order: the first error stops the reading, and what it had not reached
  // keeps its default.
  using Reader = ReadResult (*)(ProductConfig&, const IniFile&);
  for (Reader read : {ReadIdentityAndPlatform, ReadLayoutAndDeviceChecks, ReadSoftwareVersion, ReadTransferSettings,
                      ReadFastbootOptions, ReadEfsAndUserDataLists, ReadImageOptions, CheckOptionPairs, ReadSimLock,
                      ReadNvLines, ReadAtLines}) {
    if (ReadResult error = read(c, ini)) {
      if (error->clearsOptions) ClearDownloadOptions(c);
      dialogs.MessageBox(error->message, kWarning, error->flags);
      return false;
    }
  }
  return true;
}

bool CheckPackagePair(ProductConfig& c, const std::string& secondConfigPath, Dialogs& dialogs) {
  auto loaded = IniFile::Load(secondConfigPath);
  IniFile second = loaded ? std::move(*loaded) : IniFile{};
  int secondFlashType = static_cast<int>(second.ReadInteger("Project", "FlashType", 0));
  c.secondName = second.ReadString("Project", "Name", "UNKNOWN");
  const std::string& mine = c.name;
  bool paired = mine == "NP31" || mine == "NP30" || mine == "NQ411" || mine == "NQ418";
  if (!paired && c.flashType == secondFlashType) {
    ClearDownloadOptions(c);
    dialogs.MessageBox(kMsgSameFlashType, kCaptionChineseWarning, kMbOk);
    return false;
  }
  static const std::pair<const char*, const char*> kPartners[] = {
      {"NP31", "NP30"}, {"NP30", "NP31"}, {"NQ411", "NQ418"}, {"NQ418", "NQ411"}};
  for (const auto& [name, partner] : kPartners) {
    if (mine == name && c.secondName != partner) {
      ClearDownloadOptions(c);
      dialogs.MessageBox(kMsgBadPairing, kCaptionChineseWarning, kMbOk);
      return false;
    }
  }
  if (c.bCheckMainboardType) c.secondSoftwareVersion = second.ReadString("Project", "Version", "");
  return true;
}

std::string BuildSettingsSummaryText(const ProductConfig& c) {
  const DownloadOptions& o = c.options;
  std::string text;
  auto add = [&](bool on, const char* label) {
    if (on) text += label;
  };
  add(o.bPartOfEFS, "PartOfEFS, ");
  add(o.bBackup, "Backup, ");
  add(o.bBootloader, "Bootloader, ");
  add(o.bAMSSFile, "Multi-Image, ");
  add(o.bPhoneImage, "PhoneImage, ");
  add(o.bAppsImageAndBootloader, "AppsImageAndBootloader, ");
  add(o.bAppsBootloader, "AppsBootloader, ");
  add(o.pcSuite, o.bResImage ? "bResImage, " : "PC Suite, ");
  add(o.bRawAppsEFS, "RawAppsEFS, ");
  add(o.bEFS, "EFS, ");
  add(o.bCfgdata, "Cfgdata, ");
  add(o.bDSP, "DSP, ");
  add(o.bFastbootRamdisk_recoveryImage, "RecoveryImage, ");
  add(o.bFastbootBootImage, "BootImage, ");
  add(o.bFastbootPrimary_gpt, "primary_gpt, ");
  add(o.bFastbootSecondary_gpt, "secondary_gpt, ");
  add(o.bFastbootzImage, "zImage, ");
  add(o.bFastbootRamdisk, "ramdisk, ");
  add(o.bFastbootSystemImage, "SystemImage, ");
  add(o.bFastbootUserdataImage, "UserdataImage, ");
  add(o.bFastbootzImage_recoveryImage, "SplashImage, ");
  add(o.bRestore, "Restore, ");
  if (c.FastbootListLoaded()) {
    for (const std::string& entry : c.fastbootFileNameList) {
      std::string_view name = FileNamePart(entry);
      name = name.substr(0, name.find('.'));
      text += std::string(name) + ", ";
    }
  }
  size_t comma = text.rfind(',');
  if (comma != std::string::npos) text.erase(comma, 2);
  return text + ".";
}

}  // namespace upwend
