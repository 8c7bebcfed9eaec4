#pragma once
// The process list, terminating processes by executable name, and starting a program hidden
// without waiting. POSIX: /proc and posix_spawn.
//
// Confinement: when UPWEND_HOME is set, only processes that run with the same UPWEND_HOME are
// candidates for termination, so a tool (or a test) moved to its own home never touches the
// processes of anyone else.
#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace upwend {

struct ProcessInfo {
  pid_t pid = 0;
  std::string exeName;  // the executable's file name, e.g. "adb.exe"
};

// The id of this process (as ListProcesses shows it).
pid_t CurrentProcessId();

std::vector<ProcessInfo> ListProcesses();

// Terminates every process whose executable file name contains `text` (case-sensitive), the
// calling process included when its name matches. Returns how many were terminated.
int KillProcessesContaining(const std::string& text);
// Terminates every process whose executable file name equals `name` without regard to case.
int KillProcessesNamed(const std::string& name);

// Starts `program` with `args` (not counting argv[0]) in `workDir` (empty: the current folder),
// with no terminal input, and returns at once. nullopt when it could not be started.
std::optional<pid_t> StartProgramHidden(const std::string& program, const std::vector<std::string>& args,
                                        const std::string& workDir = {});

// For a program started by StartProgramHidden that nobody waits for: true once it has ended,
// and its exit status is then collected (so it leaves no zombie). Never blocks.
bool ReapIfEnded(pid_t pid);

}  // namespace upwend
