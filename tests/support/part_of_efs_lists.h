#pragma once
// The five lists of a part-of-EFS edit as a test fills them in. The run's parameters point at
// them, so they must live as long as the run.
#include "engine/worker/run_parameters.h"

namespace upwend::testing {

struct PartOfEfsLists {
  StringList removeFiles, removeDirs, createDirs, addFiles, localFiles;

  // Switches the edit on and points the parameters at these lists.
  void AttachTo(RunParameters& params) {
    params.options.bPartOfEFS = true;
    params.RemoveFilesList = &removeFiles;
    params.RemoveDirList = &removeDirs;
    params.CreateDirList = &createDirs;
    params.AddFilesList = &addFiles;
    params.PartOfEFSFileNameList = &localFiles;
  }
};

}  // namespace upwend::testing
