#pragma once
// A built program of this tree (upwend, a customer build) run as a child process with its own
// UPWEND_HOME and its stdout and stderr in files below that folder.
#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace upwend::testing {

class ToolProcess {
public:
  // `program` is relative to the build folder (UPWEND_BUILD_DIR), e.g. "app/console/upwend";
  // `name` names the output files.
  ToolProcess(const std::string& home, const std::string& program, std::vector<std::string> args,
              const std::string& name = "upwend");
  ~ToolProcess();
  ToolProcess(const ToolProcess&) = delete;
  ToolProcess& operator=(const ToolProcess&) = delete;

  std::string Out() const;
  std::string Err() const;
  // Waits until stdout holds `what` at or after `from`; returns its position (npos on time-out
  // or when the program ended without it).
  size_t WaitFor(const std::string& what, size_t from, std::chrono::milliseconds timeout);
  // The exit code after SIGTERM (or of its own end), -signal when a signal ended it, -1000 when
  // it did not end in time.
  int Stop(bool terminate, std::chrono::seconds timeout = std::chrono::seconds(30));

private:
  std::string out_;
  std::string err_;
  pid_t pid_ = -1;
  int status_ = 0;
  bool ended_ = false;
};

}  // namespace upwend::testing
