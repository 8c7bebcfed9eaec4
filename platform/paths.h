#pragma once
// Where the tool keeps what it writes. Every location can be moved by environment, and tests
// always move it: UPWEND_HOME puts settings, locks, logs and the temporary folder below one
// folder; otherwise the XDG variables are honoured.
#include <string>

namespace upwend {

struct ToolPaths {
  std::string tempDir;      // the user's temporary folder, ending with "/"
  std::string configDir;    // settings (INI files standing in for registry keys)
  std::string runtimeDir;   // lock files of the named mutexes
  std::string logDir;       // the run log folder (stands for "C:\")
  std::string stateDir;     // persistent per-user state: the device backups (survive a reboot)
  std::string programsDir;  // the variants' program folder (stands for "C:\Program Files\")
};

// Computed from the environment at each call:
//  UPWEND_HOME=H   -> H/tmp/, H/config, H/run, H/log, H/state, H/programs
//  otherwise       -> $XDG_CACHE_HOME/upwend/ (a folder programs may be loaded from, unlike a
//                     noexec /tmp), $XDG_CONFIG_HOME/upwend,
//                     $XDG_RUNTIME_DIR/upwend (or the temp folder), $XDG_STATE_HOME/upwend/logs,
//                     $XDG_STATE_HOME/upwend, $XDG_DATA_HOME/upwend/programs
//  UPWEND_TEMP_DIR, UPWEND_LOG_DIR override single entries.
ToolPaths CurrentPaths();

// The layout below UPWEND_HOME, the same on every system; `home` ends with "/".
inline ToolPaths PathsBelowHome(const std::string& home) {
  return {home + "tmp/", home + "config", home + "run", home + "log", home + "state", home + "programs"};
}

}  // namespace upwend
