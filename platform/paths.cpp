#include "platform/paths.h"

#include "platform/system_paths.h"

namespace upwend {

ToolPaths CurrentPaths() {
  std::string home = EnvironmentPath("UPWEND_HOME");
  ToolPaths p = home.empty() ? SystemDefaultPaths() : PathsBelowHome(FolderPath(home));
  if (std::string t = EnvironmentPath("UPWEND_TEMP_DIR"); !t.empty()) p.tempDir = FolderPath(t);
  if (std::string l = EnvironmentPath("UPWEND_LOG_DIR"); !l.empty()) p.logDir = l;
  return p;
}

}  // namespace upwend
