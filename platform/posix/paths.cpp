#include "platform/paths.h"

#include <unistd.h>

#include <cstdlib>
#include <string>

namespace upwend {

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

std::string WithSlash(std::string path) {
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

std::string HomeOr(const char* xdgName, const char* fallbackBelowHome) {
  std::string v = Env(xdgName);
  if (!v.empty()) return v;
  std::string home = Env("HOME");
  if (home.empty()) home = "/tmp";
  return home + "/" + fallbackBelowHome;
}

}  // namespace

ToolPaths CurrentPaths() {
  ToolPaths p;
  std::string home = Env("UPWEND_HOME");
  if (!home.empty()) {
    p = PathsBelowHome(WithSlash(home));
  } else {
    // Not below $TMPDIR: the helper libraries are loaded from the working folder, which a /tmp
    // mounted noexec forbids.
    p.tempDir = HomeOr("XDG_CACHE_HOME", ".cache") + "/upwend/";
    p.configDir = HomeOr("XDG_CONFIG_HOME", ".config") + "/upwend";
    std::string runtime = Env("XDG_RUNTIME_DIR");
    p.runtimeDir = runtime.empty() ? p.tempDir + "run" : runtime + "/upwend";
    p.stateDir = HomeOr("XDG_STATE_HOME", ".local/state") + "/upwend";
    p.logDir = p.stateDir + "/logs";
    p.programsDir = HomeOr("XDG_DATA_HOME", ".local/share") + "/upwend/programs";
  }
  if (std::string t = Env("UPWEND_TEMP_DIR"); !t.empty()) p.tempDir = WithSlash(t);
  if (std::string l = Env("UPWEND_LOG_DIR"); !l.empty()) p.logDir = l;
  return p;
}

}  // namespace upwend
