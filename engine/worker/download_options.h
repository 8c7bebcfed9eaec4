#pragma once
// The update options of a product build, named by their Config.ini keys (section
// DownloadItems), plus PC Suite. The configuration reads them; a run carries the same struct.

namespace upwend {

struct DownloadOptions {
  bool bEFS = false;
  bool bRawAppsEFS = false;
  bool bFastbootRamdisk_recoveryImage = false;
  bool bFastbootUserdataImage = false;
  bool bFastbootPrimary_gpt = false;
  bool bFastbootSecondary_gpt = false;
  bool bFastbootzImage = false;
  bool bFastbootRamdisk = false;
  bool bFastbootSystemImage = false;
  bool bFastbootSystemImageMutil = false;
  bool bFastbootBootImage = false;
  bool bFastbootzImage_recoveryImage = false;
  bool bSwitchFastbootMode = false;
  bool bFastbootConfiguration = false;
  bool bPartOfEFS = false;
  bool bBackupUserData = false;
  bool bBackupARM11Files = false;
  bool bBackup = false;
  bool bRestore = false;
  bool bAMSSFile = false;
  bool bPhoneImage = false;
  bool bAppsBootloader = false;
  bool bAppsImageAndBootloader = false;
  bool bDSP = false;
  bool bCDROM = false;
  bool bDISK = false;
  bool bResImage = false;
  bool bBootloader = false;
  bool bdbl = false;
  bool bfsbl = false;
  bool bosbl = false;
  bool bCfgdata = false;
  bool bRpmBootloader = false;
  bool bEnprg9x15 = false;
  bool pcSuite = false;  // derived from bDISK, bCDROM, bResImage

  // Any of the fastboot item options.
  bool AnyFastbootItem() const {
    return bFastbootRamdisk_recoveryImage || bFastbootUserdataImage || bFastbootPrimary_gpt ||
           bFastbootSecondary_gpt || bFastbootzImage || bFastbootRamdisk || bFastbootSystemImage ||
           bFastbootSystemImageMutil || bFastbootBootImage || bFastbootzImage_recoveryImage;
  }
};

}  // namespace upwend
