// Where the tool keeps what it writes on Windows: the user's temporary folder and the per-user
// application data folders, unless UPWEND_HOME moves everything below one folder (tests do).
// Folders are written with "/", which Windows takes as well as "\": the shared code splits and
// joins paths at "/".
#include <windows.h>

#include <cstdlib>
#include <string>

#include "platform/paths.h"

namespace upwend {

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  std::string out = v ? std::string(v) : std::string();
  for (char& c : out) {
    if (c == '\\') c = '/';
  }
  return out;
}

bool EndsWithSeparator(const std::string& path) { return !path.empty() && (path.back() == '/' || path.back() == '\\'); }

std::string WithSeparator(std::string path) {
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  if (!EndsWithSeparator(path)) path += '/';
  return path;
}

std::string SystemTempFolder() {
  char buf[MAX_PATH + 1] = {};
  DWORD n = ::GetTempPathA(sizeof buf, buf);
  if (n == 0 || n > MAX_PATH) return "C:/Windows/Temp/";
  return WithSeparator(std::string(buf, n));
}

// %LOCALAPPDATA% (per user, not roaming), else the temporary folder.
std::string LocalAppData() {
  std::string v = Env("LOCALAPPDATA");
  return v.empty() ? SystemTempFolder() : WithSeparator(v);
}

}  // namespace

ToolPaths CurrentPaths() {
  ToolPaths p;
  std::string home = Env("UPWEND_HOME");
  if (!home.empty()) {
    p = PathsBelowHome(WithSeparator(home));
  } else {
    std::string app = LocalAppData() + "upwend/";
    p.tempDir = SystemTempFolder() + "upwend/";
    p.configDir = app + "config";
    p.runtimeDir = p.tempDir + "run";
    p.stateDir = app + "state";
    p.logDir = app + "logs";
    // A per-user program folder: the variants are written there without an administrator.
    p.programsDir = LocalAppData() + "Programs/upwend";
  }
  if (std::string t = Env("UPWEND_TEMP_DIR"); !t.empty()) p.tempDir = WithSeparator(t);
  if (std::string l = Env("UPWEND_LOG_DIR"); !l.empty()) p.logDir = l;
  return p;
}

}  // namespace upwend
