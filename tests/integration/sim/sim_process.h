#pragma once
// Starts the built upwend-sim as a child process, reads its announcement lines and stops it
// with SIGTERM. Shared by the integration tests that need a simulated device.
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace upwend::testing {

class SimProcess {
public:
  explicit SimProcess(std::vector<std::string> args);
  // Another program run the same way, with `env` (NAME=VALUE) added; its stderr is read too.
  SimProcess(const std::string& binary, std::vector<std::string> args, const std::vector<std::string>& env);
  ~SimProcess();
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  bool Running() const { return pid_ > 0; }
  // Waits for a stdout line that starts with `prefix`; returns it (lines before it are kept).
  std::optional<std::string> WaitLine(const std::string& prefix, std::chrono::milliseconds timeout);
  // Waits for a line that contains `part` anywhere.
  std::optional<std::string> WaitLineContaining(const std::string& part, std::chrono::milliseconds timeout);
  // Every line read so far.
  const std::vector<std::string>& Lines() const { return lines_; }
  // SIGTERM, then the exit status (-1 when it had to be killed).
  int Terminate();
  // Sends `signal` and waits up to `patience` for the exit status (-1 when it had to be killed).
  int Stop(int signal, std::chrono::milliseconds patience);
  // Every line read so far, one string.
  std::string Output() const;

  // The upwend-sim binary of this build tree.
  static std::string Binary();

private:
  void Spawn(std::string binary, std::vector<std::string> args, const std::vector<std::string>& env,
             bool withStderr);
  bool ReadMore(std::chrono::milliseconds timeout);
  std::optional<std::string> WaitFor(const std::function<bool(const std::string&)>& match,
                                     std::chrono::milliseconds timeout);

  int pid_ = -1;
  int out_ = -1;
  std::string partial_;
  std::vector<std::string> lines_;
  size_t consumed_ = 0;
};

// Opens a pseudo-terminal slave raw, as the tool's serial port would.
int OpenPort(const std::string& node);
// Writes `text` and collects what arrives until `until` shows up or the time runs out.
std::string Exchange(int fd, const std::string& text, const std::string& until, std::chrono::milliseconds timeout);

// A fresh folder below UPWEND_HOME.
std::string FreshDir(const std::string& name);

// Runs a shell command; returns its exit status and fills `output` with stdout and stderr.
int RunCommand(const std::string& command, std::string& output);

}  // namespace upwend::testing
