#include "platform/processes.h"

#include <cstdlib>

#include "platform/ini_file.h"
#include "platform/process_termination.h"

namespace upwend {

namespace {

// With UPWEND_HOME set, only this process and those of the same home are candidates.
bool MayTerminate(pid_t pid, pid_t self) {
  const char* home = std::getenv("UPWEND_HOME");
  if (home == nullptr || *home == '\0' || pid == self) return true;
  return BelongsToHome(pid, home);
}

template <typename Match>
int KillMatching(Match match) {
  const pid_t self = CurrentProcessId();
  int count = 0;
  bool killSelf = false;
  for (const ProcessInfo& p : ListProcesses()) {
    if (!match(p.exeName) || !MayTerminate(p.pid, self)) continue;
    if (p.pid == self) {
      killSelf = true;  // last, so every other match is terminated first
      continue;
    }
    if (TerminateProcessById(p.pid)) ++count;
  }
  if (killSelf) EndThisProcess();
  return count;
}

}  // namespace

int KillProcessesContaining(const std::string& text) {
  return KillMatching([&](const std::string& exe) { return exe.find(text) != std::string::npos; });
}

int KillProcessesNamed(const std::string& name) {
  return KillMatching([&](const std::string& exe) { return EqualsNoCase(exe, name); });
}

}  // namespace upwend
