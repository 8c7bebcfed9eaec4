#include "platform/system_paths.h"

#include <unistd.h>

#include <cstdlib>
#include <string>

namespace upwend {

std::string EnvironmentPath(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

std::string FolderPath(std::string path) {
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

namespace {

std::string HomeOr(const char* xdgName, const char* fallbackBelowHome) {
  std::string v = EnvironmentPath(xdgName);
  if (!v.empty()) return v;
  std::string home = EnvironmentPath("HOME");
  if (home.empty()) home = "/tmp";
  return home + "/" + fallbackBelowHome;
}

}  // namespace

ToolPaths SystemDefaultPaths() {
  ToolPaths p;
  // Not below $TMPDIR: the helper libraries are loaded from the working folder, which a /tmp
  // mounted noexec forbids.
  p.tempDir = HomeOr("XDG_CACHE_HOME", ".cache") + "/upwend/";
  p.configDir = HomeOr("XDG_CONFIG_HOME", ".config") + "/upwend";
  std::string runtime = EnvironmentPath("XDG_RUNTIME_DIR");
  p.runtimeDir = runtime.empty() ? p.tempDir + "run" : runtime + "/upwend";
  p.stateDir = HomeOr("XDG_STATE_HOME", ".local/state") + "/upwend";
  p.logDir = p.stateDir + "/logs";
  p.programsDir = HomeOr("XDG_DATA_HOME", ".local/share") + "/upwend/programs";
  return p;
}

}  // namespace upwend
