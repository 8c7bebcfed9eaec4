#include "app/config/payload_extraction.h"

#include <fmt/format.h>

#include <filesystem>

#include "app/config/configuration.h"
#include "app/shell/dialogs.h"
#include "app/shell/startup_error.h"
#include "platform/clock.h"
#include "platform/file_io.h"
#include "platform/ini_file.h"
#include "platform/payload_archive.h"
#include "platform/processes.h"
#include "engine/worker/project_rules.h"

namespace upwend {

namespace {

constexpr const char* kWarning = "Warning";
constexpr uint64_t kSettleMs = 100;


std::string Join(const std::string& folder, std::string_view name) { return folder + "/" + std::string(name); }

// Writes name (type) as file; the common case of the tables.
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
  ProductConfig& c = ctx.config;
  const DownloadOptions& o = c.options;
  const int pt = c.projectType;

  // A running adb would hold the file that is about to be replaced.
  KillProcessesNamed("adb.exe");

  if (o.bFastbootRamdisk_recoveryImage) Row(ctx, "Ramdisk_RecoveryimageFile", "IMG", "ramdisk_recovery.img");
  if (o.bFastbootUserdataImage) Row(ctx, "UserdataimageFile", "IMG", "userdata.img");
  if (o.bFastbootBootImage) Row(ctx, "BootimageFile", "IMG", "boot.img");
  if (o.bFastbootPrimary_gpt) Row(ctx, "Primary_gptFile", "BIN", "primary_gpt");
  if (o.bFastbootSecondary_gpt) Row(ctx, "Secondary_gptFile", "BIN", "secondary_gpt");
  if (o.bFastbootzImage) Row(ctx, "ZimageFile", "BIN", "zImage");
  if (o.bFastbootRamdisk) Row(ctx, "RamdiskFile", "IMG", "ramdisk.img");
  if (o.bFastbootSystemImage) {
    if (!c.fastBootSystemImageFilePath.empty()) {
      std::string source = NativePath(c.fastBootSystemImageFilePath) + "/system.img";
      std::string target = Join(ctx.workingFolder, "system.img");
      if (!FileExists(source) || !CopyFileOver(source, target)) {
        ctx.dialogs.MessageBox(kMsgCopySystemImageFailed, kWarning, kMbOk);
        ctx.askQuit();
      } else {
        ctx.written.push_back(target);
      }
    } else {
      Row(ctx, "SystemimageFile", "IMG", "system.img");
    }
  }
  if (o.bFastbootzImage_recoveryImage) Row(ctx, "zImage_recoveryFile", "BIN", "zImage_recovery");
  if (o.bSwitchFastbootMode) Row(ctx, "xloadFile", "BIN", "xload.bin");
  if (c.FastbootListLoaded()) ExtractFastbootList(ctx);
  Row(ctx, "NPRG6260File", "HEX", o.bEnprg9x15 ? "ENPRG9x15.hex" : "nprg9x15.hex");
  if (!project::HasNoPartitionTable(pt)) Row(ctx, "PartitionFile", "MBN", "partition.mbn");
  if (o.bAMSSFile) {
    Row(ctx, "AmssFile", "MBN", "amss.mbn");
    if (!project::UsesDblBootChain(pt)) Row(ctx, "AmsshdFile", "MBN", "amsshd.mbn");
  }
  if (o.bPhoneImage) Row(ctx, "AllFile", "MBN", "all.mbn");
  if (o.bEFS) {
    if (project::HasModemAndAppsEfs(pt)) {
      Row(ctx, "CEfsFile", "MBN", "cefs.mbn");
      Row(ctx, "AppEfsFile", "MBN", "cefs_apps.mbn");
    } else if (project::HasAppsEfsOnly(pt)) {
      Row(ctx, "AppEfsFile", "MBN", "cefs_apps.mbn");
    } else {
      Row(ctx, "EfsFile", "MBN", "efs.mbn");
    }
  }
  if (o.bRawAppsEFS) Row(ctx, "NandimageFile", "MBN", "nandimage");
  if (o.bPartOfEFS) {
    for (const std::string& entry : c.addFiles) {
      std::string_view text = entry;
      if (size_t slash = text.rfind('/'); slash != std::string_view::npos) text = text.substr(slash + 1);
      auto [name, type] = ResourceForEntry(text);
      Row(ctx, name, type, std::string(text));
    }
  }
  if (o.bBootloader) {
    if (project::UsesDblBootChain(pt)) {
      Row(ctx, "DblFile", "MBN", "dbl.mbn");
      Row(ctx, "FsblFile", "MBN", "fsbl.mbn");
      Row(ctx, "OsblFile", "MBN", "osbl.mbn");
    } else {
      Row(ctx, "Oemsbl1File", "MBN", "sbl1.mbn");
      Row(ctx, "Oemsbl2dlFile", "MBN", "sbl2_dl.mbn");
      Row(ctx, "AdbWinApiFile", "DLL", "AdbWinApi.dll");
      Row(ctx, "AdbWinUsbApiFile", "DLL", "AdbWinUsbApi.dll");
      Row(ctx, "fastbootFile", "EXE", "fastboot.exe");
      Row(ctx, "adbFile", "EXE", "adb.exe");
    }
  }
  if (o.bDSP) {
    Row(ctx, "DSP1File", "MBN", "dsp1.mbn");
    Row(ctx, "DSP2File", "MBN", "dsp2.mbn");
  }
  if (o.bCDROM) Row(ctx, "CDROMFile", "ISO", "CDROM.iso");
  if (o.bDISK) Row(ctx, "FAT16File", "IMA", "FAT16.IMA");
  if (o.bResImage) Row(ctx, "ResimageFile", "MBN", "resimage");
  if (o.bCfgdata) Row(ctx, "CfgdataFile", "MBN", "cfgdata.mbn");
  if (o.bRpmBootloader) Row(ctx, "OemRPMFile", "MBN", "rpm.mbn");
  if (o.bAppsBootloader) Row(ctx, "AppsBootloaderFile", "MBN", "appsboot.mbn");
  if (o.bAppsImageAndBootloader) {
    Row(ctx, "AppsImageHeaderFile", "MBN", "appshd.mbn");
    Row(ctx, "AppsImageFile", "MBN", "apps.mbn");
    Row(ctx, "AppsBootloaderHeaderFile", "MBN", "appsboothd.mbn");
    Row(ctx, "AppsBootloaderFile", "MBN", "appsboot.mbn");
  }
  if (c.executeResetModem) Row(ctx, "ResetModemFile", "EXE", "ResetModem.exe");
  Row(ctx, "DoShiftDeviceFile", "EXE", "DoShiftDevice.exe");
  Row(ctx, "DoShiftNetFile", "EXE", "DoShiftNetFile.exe");
  Row(ctx, "HexToBinFile", "DLL", "HexToBin.dll");
  if (project::InstallsDriver(pt)) {
    Row(ctx, "InstallDriverFile", "EXE", "InstallDriver.exe");
    Row(ctx, "CleanSystemEnv32File", "EXE", "CleanSystemEnv32.exe");
    Row(ctx, "CleanSystemEnv64File", "EXE", "CleanSystemEnv64.exe");
  }
  Row(ctx, "CleanSystemEnv32File", "EXE", "CleanSystemEnv32.exe");
  Row(ctx, "CleanSystemEnv64File", "EXE", "CleanSystemEnv64.exe");
  Row(ctx, "BATFiles", "BAT", "adbdev.bat");
  Row(ctx, "AdbWinApiFile", "DLL", "AdbWinApi.dll");
  Row(ctx, "QMSL_MSVC10RFile", "DLL", "QMSL_MSVC10R.dll");
  Row(ctx, "msvcp100File", "DLL", "msvcp100.dll");
  Row(ctx, "msvcr100File", "DLL", "msvcr100.dll");
  Row(ctx, "AdbWinUsbApiFile", "DLL", "AdbWinUsbApi.dll");
  // The copy beside the program is for the USB driver's own search; a program folder we may not
  // write to (an installed tool) must not end start-up, so that copy is best effort.
  if (!ctx.executableFolder.empty()) {
    const ResourceEntry* usbApi = ctx.archive.Find("AdbWinUsbApiFile", "DLL");
    std::string beside = ctx.executableFolder + "AdbWinUsbApi.dll";
    if (usbApi != nullptr) {
      if (auto r = ctx.archive.WriteTo(*usbApi, beside); !r && ctx.diag) {
        ctx.diag(fmt::format("AdbWinUsbApi.dll not written beside the program: {}", r.error()));
      }
    }
  }
  Row(ctx, "fastbootFile", "EXE", "fastboot.exe");
  Row(ctx, "adbFile", "EXE", "adb.exe");
  ctx.helperFolder = ctx.workingFolder;

  ctx.clock.SleepMs(kSettleMs);
}

void ExtractSecondPackage(ExtractionContext& ctx) {
  ProductConfig& c = ctx.config;
  const DownloadOptions& o = c.options;
  const int pt = c.projectType;
  // Resources of the second package carry the package number; a few are shared (no suffix).
  auto second = [&](const std::string& name, const std::string& type, const std::string& file) {
    Row(ctx, name + "2", type, file);
  };

  second("NPRG6260File", "HEX", "NPRG6260.hex");
  if (!project::HasNoPartitionTable(pt)) second("PartitionFile", "MBN", "partition.mbn");
  if (o.bAMSSFile) {
    second("AmssFile", "MBN", "amss.mbn");
    if (!project::UsesDblBootChain(pt)) second("AmsshdFile", "MBN", "amsshd.mbn");
  }
  if (o.bPhoneImage) second("AllFile", "MBN", "all.mbn");
  if (o.bEFS) {
    if (project::HasModemAndAppsEfs(pt)) {
      second("CEfsFile", "MBN", "cefs.mbn");
      second("AppEfsFile", "MBN", "cefs_apps.mbn");
    } else {
      second("EfsFile", "MBN", "efs.mbn");
    }
  }
  if (o.bDSP) {
    second("DSP1File", "MBN", "dsp1.mbn");
    second("DSP2File", "MBN", "dsp2.mbn");
  }
  if (o.bCDROM) second("CDROMFile", "ISO", "CDROM.iso");
  if (o.bDISK) second("FAT16File", "IMA", "FAT16.IMA");
  if (o.bResImage) second("ResimageFile", "MBN", "resimage");
  if (o.bCfgdata) second("CfgdataFile", "MBN", "cfgdata.mbn");
  if (o.bAppsBootloader) {
    second("AppsBootloaderHeaderFile", "MBN", "appsboothd.mbn");
    second("AppsBootloaderFile", "MBN", "appsboot.mbn");
  }
  if (o.bAppsImageAndBootloader) {
    Row(ctx, "AppsImageHeaderFile", "MBN", "appshd.mbn");
    second("AppsImageFile", "MBN", "apps.mbn");
    second("AppsBootloaderHeaderFile", "MBN", "appsboothd.mbn");
    second("AppsBootloaderFile", "MBN", "appsboot.mbn");
  }
  if (o.bFastbootRamdisk_recoveryImage) Row(ctx, "RecoveryimageFile", "IMG", "recovery.img");
  if (o.bFastbootUserdataImage) Row(ctx, "UserdataimageFile", "IMG", "userdata.img");
  if (o.bFastbootBootImage) Row(ctx, "BootimageFile", "IMG", "boot.img");
  if (o.bFastbootSystemImage) Row(ctx, "SystemimageFile", "IMG", "system.img");
  if (o.bFastbootzImage_recoveryImage) Row(ctx, "SplashimageFile", "BIN", "splash.bin");
  if (o.AnyFastbootItem() || c.FastbootListLoaded()) {
    Row(ctx, "AdbWinApiFile", "DLL", "AdbWinApi.dll");
    // There is no system folder to write to here: it goes beside AdbWinApi.dll instead.
    Row(ctx, "AdbWinUsbApiFile", "DLL", "AdbWinUsbApi.dll");
  }
  second("DoShiftDeviceFile", "EXE", "DoShiftDevice.exe");
  second("HexToBinFile", "DLL", "HexToBin.dll");
  if (project::InstallsDriver(pt)) {
    Row(ctx, "InstallDriverFile", "EXE", "InstallDriver.exe");
    Row(ctx, "CleanSystemEnv32File", "EXE", "CleanSystemEnv32.exe");
    Row(ctx, "CleanSystemEnv64File", "EXE", "CleanSystemEnv64.exe");
  }
  second("ConfigFile", "INI", "Config.ini");

  ctx.clock.SleepMs(kSettleMs);
}

}  // namespace upwend
