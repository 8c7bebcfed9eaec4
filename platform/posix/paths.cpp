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
    home = WithSlash(home);
    p.tempDir = home + "tmp/";
    p.configDir = home + "config";
    p.runtimeDir = home + "run";
    p.logDir = home + "log";
    p.stateDir = home + "state";
    p.programsDir = home + "programs";
  } else {
    std::string tmp = Env("TMPDIR");
    if (tmp.empty()) tmp = "/tmp";
    p.tempDir = WithSlash(tmp) + "upwend-" + std::to_string(getuid()) + "/";
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
