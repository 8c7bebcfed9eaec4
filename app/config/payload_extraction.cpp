#include "app/config/payload_extraction.h"

#include <fmt/format.h>

#include <filesystem>

#include "app/config/configuration.h"
#include "app/shell/dialogs.h"
#include "app/shell/startup_error.h"
#include "engine/worker/project_rules.h"
#include "platform/clock.h"
#include "platform/file_io.h"
#include "platform/ini_file.h"
#include "platform/payload_archive.h"
#include "platform/processes.h"

namespace upwend {

namespace {

constexpr const char* kWarning = "Warning";
constexpr uint64_t kSettleMs = 100;

std::string Join(const std::string& folder, std::string_view name) { return folder + "/" + std::string(name); }

// Writes name (type) as file; the common case of the table.
void Row(ExtractionContext& ctx, const std::string& name, const std::string& type, const std::string& file) {
  WriteResource(ctx, name, type, Join(ctx.workingFolder, file));
}

// A fastboot list entry that names a file on disk ("\" or "/" in it): copied into the
// working folder under its own file name.
bool CopyListFile(ExtractionContext& ctx, std::string& entry) {
  std::string source = NativePath(entry);
  std::string target = Join(ctx.workingFolder, FileNamePart(entry));
  std::error_code ec;
  // A file that already is the target must not be copied onto itself (that would empty it).
  bool inPlace = FileExists(target) && std::filesystem::equivalent(source, target, ec);
  if (!FileExists(source) || (!inPlace && !CopyFileOver(source, target))) {
    ctx.dialogs.MessageBox(kMsgCopyFileFailed, kWarning, kMbOk);
    ctx.askQuit();
    return false;
  }
  ctx.written.push_back(target);
  entry = target;
  return true;
}

void ExtractFastbootList(ExtractionContext& ctx) {
  for (std::string& entry : ctx.config.fastbootFileNameList) {
    if (entry == "erase") continue;
    if (entry.find_first_of("\\/") != std::string::npos) {
      CopyListFile(ctx, entry);
      continue;
    }
    auto [name, type] = ResourceForEntry(entry);
    std::string target = Join(ctx.workingFolder, entry);
    WriteResource(ctx, name, type, target);
    entry = target;
  }
}

// The system image comes from the configured folder when one is named, else from the program.
void WriteSystemImage(ExtractionContext& ctx) {
  const ProductConfig& c = ctx.config;
  if (c.fastBootSystemImageFilePath.empty()) {
    Row(ctx, "SystemimageFile", "IMG", "system.img");
    return;
  }
  std::string source = NativePath(c.fastBootSystemImageFilePath) + "/system.img";
  std::string target = Join(ctx.workingFolder, "system.img");
  if (!FileExists(source) || !CopyFileOver(source, target)) {
    ctx.dialogs.MessageBox(kMsgCopySystemImageFailed, kWarning, kMbOk);
    ctx.askQuit();
  } else {
    ctx.written.push_back(target);
  }
}

// Each AddFiles entry is a device path; its file goes by its last part and the name rule.
void WriteAddFiles(ExtractionContext& ctx) {
  for (const std::string& entry : ctx.config.addFiles) {
    std::string_view text = entry;
    if (size_t slash = text.rfind('/'); slash != std::string_view::npos) text = text.substr(slash + 1);
    auto [name, type] = ResourceForEntry(text);
    Row(ctx, name, type, std::string(text));
  }
}

// The copy beside the program is for the USB driver's own search; a program folder we may not
// write to (an installed tool) must not end start-up, so that copy is best effort.
void WriteUsbApiBesideProgram(ExtractionContext& ctx) {
  if (ctx.executableFolder.empty()) return;
  const ResourceEntry* usbApi = ctx.archive.Find("AdbWinUsbApiFile", "DLL");
  if (usbApi == nullptr) return;
  if (auto r = ctx.archive.WriteTo(*usbApi, ctx.executableFolder + "AdbWinUsbApi.dll"); !r && ctx.diag) {
    ctx.diag(fmt::format("AdbWinUsbApi.dll not written beside the program: {}", r.error()));
  }
}

// ---- the extraction table ----------------------------------------------------------------------

using Rule = bool (*)(const ProductConfig&);

bool HasPartitionTable(const ProductConfig& c) { return !project::HasNoPartitionTable(c.projectType); }
bool DblBootChain(const ProductConfig& c) { return project::UsesDblBootChain(c.projectType); }
bool SblBootChain(const ProductConfig& c) { return !DblBootChain(c); }
bool ModemAndAppsEfs(const ProductConfig& c) { return project::HasModemAndAppsEfs(c.projectType); }
bool AppsEfsOnly(const ProductConfig& c) { return project::HasAppsEfsOnly(c.projectType); }
bool PlainEfs(const ProductConfig& c) { return !ModemAndAppsEfs(c) && !AppsEfsOnly(c); }
// The second package knows no apps-only EFS: anything but the modem-and-apps pair is efs.mbn.
bool PlainEfsInSecond(const ProductConfig& c) { return !ModemAndAppsEfs(c); }
bool PlainFlashProgrammer(const ProductConfig& c) { return !c.options.bEnprg9x15; }
bool FastbootListLoaded(const ProductConfig& c) { return c.FastbootListLoaded(); }
bool ResetsModem(const ProductConfig& c) { return c.executeResetModem; }
bool AnyFastbootImage(const ProductConfig& c) { return c.options.AnyFastbootItem() || c.FastbootListLoaded(); }
bool InstallsDriver(const ProductConfig& c) { return project::InstallsDriver(c.projectType); }

enum class Package { First, Second, Both };
// How the second package names a resource: with the package number ("AmssFile2"), or by the
// name the first package uses (one resource serves both).
enum class SecondName { Numbered, Shared };

struct PayloadRow {
  Package package;
  bool DownloadOptions::*option;  // the option that asks for the row; nullptr: every build
  Rule rule;                      // a further condition; nullptr: none
  const char* name;
  const char* type;
  const char* file;
  SecondName secondName = SecondName::Numbered;
  void (*write)(ExtractionContext&) = nullptr;  // a row that does more than write one resource
};

using O = DownloadOptions;
constexpr Package kFirst = Package::First;
constexpr Package kSecond = Package::Second;
constexpr Package kBoth = Package::Both;
constexpr SecondName kShared = SecondName::Shared;
constexpr SecondName kNumbered = SecondName::Numbered;

// Both packages' resources, each package's rows in the order they are written.
const PayloadRow kPayloadRows[] = {
    {kFirst, &O::bFastbootRamdisk_recoveryImage, nullptr, "Ramdisk_RecoveryimageFile", "IMG", "ramdisk_recovery.img"},
    {kFirst, &O::bFastbootUserdataImage, nullptr, "UserdataimageFile", "IMG", "userdata.img"},
    {kFirst, &O::bFastbootBootImage, nullptr, "BootimageFile", "IMG", "boot.img"},
    {kFirst, &O::bFastbootPrimary_gpt, nullptr, "Primary_gptFile", "BIN", "primary_gpt"},
    {kFirst, &O::bFastbootSecondary_gpt, nullptr, "Secondary_gptFile", "BIN", "secondary_gpt"},
    {kFirst, &O::bFastbootzImage, nullptr, "ZimageFile", "BIN", "zImage"},
    {kFirst, &O::bFastbootRamdisk, nullptr, "RamdiskFile", "IMG", "ramdisk.img"},
    {kFirst, &O::bFastbootSystemImage, nullptr, "SystemimageFile", "IMG", "system.img", kNumbered, WriteSystemImage},
    {kFirst, &O::bFastbootzImage_recoveryImage, nullptr, "zImage_recoveryFile", "BIN", "zImage_recovery"},
    {kFirst, &O::bSwitchFastbootMode, nullptr, "xloadFile", "BIN", "xload.bin"},
    {kFirst, nullptr, FastbootListLoaded, "", "", "", kNumbered, ExtractFastbootList},
    {kFirst, &O::bEnprg9x15, nullptr, "NPRG6260File", "HEX", "ENPRG9x15.hex"},
    {kFirst, nullptr, PlainFlashProgrammer, "NPRG6260File", "HEX", "nprg9x15.hex"},
    {kSecond, nullptr, nullptr, "NPRG6260File", "HEX", "NPRG6260.hex"},
    {kBoth, nullptr, HasPartitionTable, "PartitionFile", "MBN", "partition.mbn"},
    {kBoth, &O::bAMSSFile, nullptr, "AmssFile", "MBN", "amss.mbn"},
    {kBoth, &O::bAMSSFile, SblBootChain, "AmsshdFile", "MBN", "amsshd.mbn"},
    {kBoth, &O::bPhoneImage, nullptr, "AllFile", "MBN", "all.mbn"},
    {kBoth, &O::bEFS, ModemAndAppsEfs, "CEfsFile", "MBN", "cefs.mbn"},
    {kBoth, &O::bEFS, ModemAndAppsEfs, "AppEfsFile", "MBN", "cefs_apps.mbn"},
    {kFirst, &O::bEFS, AppsEfsOnly, "AppEfsFile", "MBN", "cefs_apps.mbn"},
    {kFirst, &O::bEFS, PlainEfs, "EfsFile", "MBN", "efs.mbn"},
    {kSecond, &O::bEFS, PlainEfsInSecond, "EfsFile", "MBN", "efs.mbn"},
    {kFirst, &O::bRawAppsEFS, nullptr, "NandimageFile", "MBN", "nandimage"},
    {kFirst, &O::bPartOfEFS, nullptr, "", "", "", kNumbered, WriteAddFiles},
    {kFirst, &O::bBootloader, DblBootChain, "DblFile", "MBN", "dbl.mbn"},
    {kFirst, &O::bBootloader, DblBootChain, "FsblFile", "MBN", "fsbl.mbn"},
    {kFirst, &O::bBootloader, DblBootChain, "OsblFile", "MBN", "osbl.mbn"},
    {kFirst, &O::bBootloader, SblBootChain, "Oemsbl1File", "MBN", "sbl1.mbn"},
    {kFirst, &O::bBootloader, SblBootChain, "Oemsbl2dlFile", "MBN", "sbl2_dl.mbn"},
    {kFirst, &O::bBootloader, SblBootChain, "AdbWinApiFile", "DLL", "AdbWinApi.dll"},
    {kFirst, &O::bBootloader, SblBootChain, "AdbWinUsbApiFile", "DLL", "AdbWinUsbApi.dll"},
    {kFirst, &O::bBootloader, SblBootChain, "fastbootFile", "EXE", "fastboot.exe"},
    {kFirst, &O::bBootloader, SblBootChain, "adbFile", "EXE", "adb.exe"},
    {kBoth, &O::bDSP, nullptr, "DSP1File", "MBN", "dsp1.mbn"},
    {kBoth, &O::bDSP, nullptr, "DSP2File", "MBN", "dsp2.mbn"},
    {kBoth, &O::bCDROM, nullptr, "CDROMFile", "ISO", "CDROM.iso"},
    {kBoth, &O::bDISK, nullptr, "FAT16File", "IMA", "FAT16.IMA"},
    {kBoth, &O::bResImage, nullptr, "ResimageFile", "MBN", "resimage"},
    {kBoth, &O::bCfgdata, nullptr, "CfgdataFile", "MBN", "cfgdata.mbn"},
    {kFirst, &O::bRpmBootloader, nullptr, "OemRPMFile", "MBN", "rpm.mbn"},
    {kSecond, &O::bAppsBootloader, nullptr, "AppsBootloaderHeaderFile", "MBN", "appsboothd.mbn"},
    {kBoth, &O::bAppsBootloader, nullptr, "AppsBootloaderFile", "MBN", "appsboot.mbn"},
    {kBoth, &O::bAppsImageAndBootloader, nullptr, "AppsImageHeaderFile", "MBN", "appshd.mbn", kShared},
    {kBoth, &O::bAppsImageAndBootloader, nullptr, "AppsImageFile", "MBN", "apps.mbn"},
    {kBoth, &O::bAppsImageAndBootloader, nullptr, "AppsBootloaderHeaderFile", "MBN", "appsboothd.mbn"},
    {kBoth, &O::bAppsImageAndBootloader, nullptr, "AppsBootloaderFile", "MBN", "appsboot.mbn"},
    {kFirst, nullptr, ResetsModem, "ResetModemFile", "EXE", "ResetModem.exe"},
    {kSecond, &O::bFastbootRamdisk_recoveryImage, nullptr, "RecoveryimageFile", "IMG", "recovery.img", kShared},
    {kSecond, &O::bFastbootUserdataImage, nullptr, "UserdataimageFile", "IMG", "userdata.img", kShared},
    {kSecond, &O::bFastbootBootImage, nullptr, "BootimageFile", "IMG", "boot.img", kShared},
    {kSecond, &O::bFastbootSystemImage, nullptr, "SystemimageFile", "IMG", "system.img", kShared},
    {kSecond, &O::bFastbootzImage_recoveryImage, nullptr, "SplashimageFile", "BIN", "splash.bin", kShared},
    // There is no system folder to write to here: AdbWinUsbApi.dll goes beside AdbWinApi.dll.
    {kSecond, nullptr, AnyFastbootImage, "AdbWinApiFile", "DLL", "AdbWinApi.dll", kShared},
    {kSecond, nullptr, AnyFastbootImage, "AdbWinUsbApiFile", "DLL", "AdbWinUsbApi.dll", kShared},
    {kBoth, nullptr, nullptr, "DoShiftDeviceFile", "EXE", "DoShiftDevice.exe"},
    {kFirst, nullptr, nullptr, "DoShiftNetFile", "EXE", "DoShiftNetFile.exe"},
    {kBoth, nullptr, nullptr, "HexToBinFile", "DLL", "HexToBin.dll"},
    {kBoth, nullptr, InstallsDriver, "InstallDriverFile", "EXE", "InstallDriver.exe", kShared},
    {kBoth, nullptr, InstallsDriver, "CleanSystemEnv32File", "EXE", "CleanSystemEnv32.exe", kShared},
    {kBoth, nullptr, InstallsDriver, "CleanSystemEnv64File", "EXE", "CleanSystemEnv64.exe", kShared},
    {kFirst, nullptr, nullptr, "CleanSystemEnv32File", "EXE", "CleanSystemEnv32.exe"},
    {kFirst, nullptr, nullptr, "CleanSystemEnv64File", "EXE", "CleanSystemEnv64.exe"},
    {kFirst, nullptr, nullptr, "BATFiles", "BAT", "adbdev.bat"},
    {kFirst, nullptr, nullptr, "AdbWinApiFile", "DLL", "AdbWinApi.dll"},
    {kFirst, nullptr, nullptr, "QMSL_MSVC10RFile", "DLL", "QMSL_MSVC10R.dll"},
    {kFirst, nullptr, nullptr, "msvcp100File", "DLL", "msvcp100.dll"},
    {kFirst, nullptr, nullptr, "msvcr100File", "DLL", "msvcr100.dll"},
    {kFirst, nullptr, nullptr, "AdbWinUsbApiFile", "DLL", "AdbWinUsbApi.dll"},
    {kFirst, nullptr, nullptr, "", "", "", kNumbered, WriteUsbApiBesideProgram},
    {kFirst, nullptr, nullptr, "fastbootFile", "EXE", "fastboot.exe"},
    {kFirst, nullptr, nullptr, "adbFile", "EXE", "adb.exe"},
    {kSecond, nullptr, nullptr, "ConfigFile", "INI", "Config.ini"},
};

bool Applies(const PayloadRow& row, Package package, const ProductConfig& c) {
  if (row.package != Package::Both && row.package != package) return false;
  if (row.option != nullptr && !(c.options.*row.option)) return false;
  return row.rule == nullptr || row.rule(c);
}

void WriteRows(ExtractionContext& ctx, Package package) {
  for (const PayloadRow& row : kPayloadRows) {
    if (!Applies(row, package, ctx.config)) continue;
    if (row.write != nullptr) {
      row.write(ctx);
    } else if (package == Package::Second && row.secondName == SecondName::Numbered) {
      Row(ctx, std::string(row.name) + "2", row.type, row.file);
    } else {
      Row(ctx, row.name, row.type, row.file);
    }
  }
}

}  // namespace

std::pair<std::string, std::string> ResourceForEntry(std::string_view fileName) {
  size_t dot = fileName.find('.');
  if (dot == std::string_view::npos) return {std::string(fileName) + "File", "BIN"};
  return {std::string(fileName.substr(0, dot)) + "File", AsciiUpper(fileName.substr(dot + 1))};
}

void WriteResource(ExtractionContext& ctx, const std::string& name, const std::string& type, const std::string& path) {
  const ResourceEntry* entry = ctx.archive.Find(name, type);
  if (entry == nullptr) throw StartupError(fmt::format("Resource {} not found", name));
  if (auto r = ctx.archive.WriteTo(*entry, path); !r) throw StartupError(r.error());
  ctx.written.push_back(path);
}

void ExtractPayload(ExtractionContext& ctx) {
  // A running adb would hold the file that is about to be replaced.
  KillProcessesNamed("adb.exe");
  WriteRows(ctx, Package::First);
  ctx.helperFolder = ctx.workingFolder;
  ctx.clock.SleepMs(kSettleMs);
}

void ExtractSecondPackage(ExtractionContext& ctx) {
  WriteRows(ctx, Package::Second);
  ctx.clock.SleepMs(kSettleMs);
}

}  // namespace upwend
