#pragma once
// What terminating processes by name asks of each system; the loop itself is shared
// (processes.cpp).
#include <sys/types.h>

#include <string>

namespace upwend {

// Is another process one of those of UPWEND_HOME `home`? POSIX: it has that UPWEND_HOME in its
// environment; Windows: its executable lies below that folder.
bool BelongsToHome(pid_t pid, const std::string& home);
// Terminates another process at once; true when it was terminated.
bool TerminateProcessById(pid_t pid);
// Ends the calling process with exit code 0: ending every copy, ours too, is what was asked.
void EndThisProcess();

}  // namespace upwend
