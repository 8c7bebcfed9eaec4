#pragma once
// The run of the shipped configuration as the worker gets it: DIAG on COM5, AT on COM6, project
// type 1013 on platform 255, with the backup, the restore and the fastboot configuration list.
#include <string>

#include "engine/worker/run_parameters.h"

namespace upwend::testing {

inline RunParameters ShippedRunParameters(const std::string& workFolder, const std::string& backupFolder) {
  RunParameters p;
  p.ComPort = 5;
  p.SerialComPort = 6;
  p.projectType = 1013;
  p.PlatformName = 255;
  p.options.bBackup = p.options.bRestore = p.options.bFastbootConfiguration = true;
  p.TempFiles = workFolder;
  p.BackupFilePath = backupFolder;
  return p;
}

}  // namespace upwend::testing
