#include "tool_process.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

#include "tests/support/file_text.h"

namespace upwend::testing {

ToolProcess::ToolProcess(const std::string& home, const std::string& program, std::vector<std::string> args,
                         const std::string& name)
    : out_(home + "/" + name + ".out"), err_(home + "/" + name + ".err") {
  args.insert(args.begin(), std::string(std::getenv("UPWEND_BUILD_DIR")) + "/" + program);
  pid_ = fork();
  if (pid_ == 0) {
    setenv("UPWEND_HOME", home.c_str(), 1);
    if (!freopen(out_.c_str(), "w", stdout) || !freopen(err_.c_str(), "w", stderr)) _exit(126);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
}

ToolProcess::~ToolProcess() {
  if (pid_ > 0 && !ended_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

std::string ToolProcess::Out() const { return ReadFile(out_); }
std::string ToolProcess::Err() const { return ReadFile(err_); }

size_t ToolProcess::WaitFor(const std::string& what, size_t from, std::chrono::milliseconds timeout) {
  auto end = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    bool ended = ended_ || waitpid(pid_, &status_, WNOHANG) == pid_;
    ended_ = ended;
    std::string out = Out();
    if (size_t at = out.find(what, std::min(from, out.size())); at != std::string::npos) return at;
    if (ended || std::chrono::steady_clock::now() >= end) return std::string::npos;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

int ToolProcess::Stop(bool terminate, std::chrono::seconds timeout) {
  if (!ended_ && terminate) kill(pid_, SIGTERM);
  auto end = std::chrono::steady_clock::now() + timeout;
  while (!ended_ && std::chrono::steady_clock::now() < end) {
    if (waitpid(pid_, &status_, WNOHANG) == pid_) {
      ended_ = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (!ended_) return -1000;
  return WIFEXITED(status_) ? WEXITSTATUS(status_) : -WTERMSIG(status_);
}

}  // namespace upwend::testing
