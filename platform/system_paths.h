#pragma once
// What each system's paths.cpp gives CurrentPaths, which is shared (paths.cpp).
#include <string>

#include "platform/paths.h"

namespace upwend {

// An environment variable as a path, "" when it is unset (Windows: its "\" turned into "/").
std::string EnvironmentPath(const char* name);
// `path` as a folder: ending with "/".
std::string FolderPath(std::string path);
// The system's own folders, used when UPWEND_HOME is not set.
ToolPaths SystemDefaultPaths();

}  // namespace upwend
