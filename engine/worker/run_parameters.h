#pragma once
// Everything the main window copies into an update worker before resuming it: port numbers,
// configuration values, update options, lists, image paths and sizes, folders.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/worker/download_options.h"

namespace upwend {

using StringList = std::vector<std::string>;

struct FastbootImage {
  std::string path;
  uint32_t size = 0;
};

struct RunParameters {
  int Index = 0;
  int ComPort = 0;
  int SerialComPort = 0;
  int AppComPort = 0;
  int PlatformName = 255;
  int PlatformType = 0;  // network type: 0 none, 1 CDMA2000, 2 EVDO, 3 LTE
  std::string strLTEType;
  std::string strGPIO;
  std::string TempFiles;       // working folder
  std::string BackupFilePath;  // backup folder

  FastbootImage FastbootRecoveryImageFile, FastbootBootImageFile, FastbootPrimary_gptFile,
      FastbootSecondary_gptFile, FastbootzImageFile, FastbootRamdiskFile, FastbootSystemImageFile,
      FastbootUserdataImageFile, FastbootSplashImageFile;
  uint32_t allTotalFileSize = 0;

  // The lists are the window's own; the worker only reads them.
  const StringList* FastbootFileNameList = nullptr;
  const StringList* FastbootFileCmdList = nullptr;
  std::array<uint32_t, 15> FastbootFileSizes{};
  const StringList* PartOfEFSFileNameList = nullptr;
  const StringList* RemoveFilesList = nullptr;
  const StringList* RemoveDirList = nullptr;
  const StringList* CreateDirList = nullptr;
  const StringList* AddFilesList = nullptr;
  std::array<uint32_t, 50> AddFileSizes{};
  const StringList* UserDataFilesList = nullptr;
  const StringList* UserDataDirList = nullptr;
  const StringList* NVItemList = nullptr;
  const StringList* StartATList = nullptr;
  const StringList* EndATList = nullptr;
  int m_nBlockSize = 1024;

  // The configuration's update options, as loaded (a Re-update may have turned bBackup off).
  DownloadOptions options;

  // Values copied from the loaded configuration.
  int projectType = -1;
  bool phone = false;
  bool ExecuteResetModem = false;
  bool simLockOn = false;
  int simLockMode = 0;
  std::string simLockText;
  bool IsAlcatel = false;
  bool UIT_NewWays = false;
  bool RTRECFG = false;
  bool ESN = false;
  bool bFastSpeedDownload = false;

  // Re-update: the run resumes after a failed one and uses that run's device backup folder.
  bool resume = false;
  std::string ResumeDeviceBackupFolder;

  // The device backup folder the tool remembers from the last run that made one; while it
  // still holds at.bak, that run did not end well and the device's saved identity lives there.
  std::string LastDeviceBackupFolder;

  // Folder of the running executable (where the second AdbWinUsbApi.dll copy lives).
  std::string ExecutableDir;

  static const StringList& Empty() {
    static const StringList kEmpty;
    return kEmpty;
  }
  static const StringList& Or(const StringList* list) { return list ? *list : Empty(); }
};

}  // namespace upwend
