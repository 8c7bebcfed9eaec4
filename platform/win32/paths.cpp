// Where the tool keeps what it writes on Windows: the user's temporary folder and the per-user
// application data folders, unless UPWEND_HOME moves everything below one folder (tests do).
// Folders are written with "/", which Windows takes as well as "\": the shared code splits and
// joins paths at "/".
#include <windows.h>

#include <cstdlib>
#include <string>

#include "platform/system_paths.h"

namespace upwend {

std::string EnvironmentPath(const char* name) {
  const char* v = std::getenv(name);
  std::string out = v ? std::string(v) : std::string();
  for (char& c : out) {
    if (c == '\\') c = '/';
  }
  return out;
}

std::string FolderPath(std::string path) {
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

namespace {

std::string SystemTempFolder() {
  char buf[MAX_PATH + 1] = {};
  DWORD n = ::GetTempPathA(sizeof buf, buf);
  if (n == 0 || n > MAX_PATH) return "C:/Windows/Temp/";
  return FolderPath(std::string(buf, n));
}

// %LOCALAPPDATA% (per user, not roaming), else the temporary folder.
std::string LocalAppData() {
  std::string v = EnvironmentPath("LOCALAPPDATA");
  return v.empty() ? SystemTempFolder() : FolderPath(v);
}

}  // namespace

ToolPaths SystemDefaultPaths() {
  ToolPaths p;
  std::string app = LocalAppData() + "upwend/";
  p.tempDir = SystemTempFolder() + "upwend/";
  p.configDir = app + "config";
  p.runtimeDir = p.tempDir + "run";
  p.stateDir = app + "state";
  p.logDir = app + "logs";
  // A per-user program folder: the variants are written there without an administrator.
  p.programsDir = LocalAppData() + "Programs/upwend";
  return p;
}

}  // namespace upwend
