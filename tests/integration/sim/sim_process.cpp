#include "sim_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace upwend::testing {

std::string SimProcess::Binary() {
  if (const char* build = std::getenv("UPWEND_BUILD_DIR"); build && *build) return std::string(build) + "/sim/upwend-sim";
  // Without the variable: this test runs from <build>/tests/integration/sim/.
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return (exe.parent_path().parent_path().parent_path().parent_path() / "sim" / "upwend-sim").string();
}

SimProcess::SimProcess(std::vector<std::string> args) { Spawn(Binary(), std::move(args), {}, false); }

SimProcess::SimProcess(const std::string& binary, std::vector<std::string> args, const std::vector<std::string>& env) {
  Spawn(binary, std::move(args), env, true);
}

void SimProcess::Spawn(std::string binary, std::vector<std::string> args, const std::vector<std::string>& env,
                       bool withStderr) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return;
  pid_t pid = fork();
  if (pid == 0) {
    for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
    dup2(pipeFds[1], STDOUT_FILENO);
    if (withStderr) dup2(pipeFds[1], STDERR_FILENO);
    close(pipeFds[0]);
    close(pipeFds[1]);
    std::vector<char*> argv;
    argv.push_back(binary.data());
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(binary.c_str(), argv.data());
    _exit(127);
  }
  close(pipeFds[1]);
  if (pid < 0) {
    close(pipeFds[0]);
    return;
  }
  pid_ = pid;
  out_ = pipeFds[0];
}

SimProcess::~SimProcess() {
  Terminate();
  if (out_ >= 0) close(out_);
}

bool SimProcess::ReadMore(std::chrono::milliseconds timeout) {
  pollfd p{out_, POLLIN, 0};
  if (out_ < 0 || poll(&p, 1, static_cast<int>(timeout.count())) <= 0) return false;
  char buf[4096];
  ssize_t n = read(out_, buf, sizeof buf);
  if (n <= 0) return false;
  partial_.append(buf, static_cast<size_t>(n));
  size_t nl;
  while ((nl = partial_.find('\n')) != std::string::npos) {
    lines_.push_back(partial_.substr(0, nl));
    partial_.erase(0, nl + 1);
  }
  return true;
}

std::optional<std::string> SimProcess::WaitLine(const std::string& prefix, std::chrono::milliseconds timeout) {
  return WaitFor([&prefix](const std::string& line) { return line.rfind(prefix, 0) == 0; }, timeout);
}

std::optional<std::string> SimProcess::WaitLineContaining(const std::string& part, std::chrono::milliseconds timeout) {
  return WaitFor([&part](const std::string& line) { return line.find(part) != std::string::npos; }, timeout);
}

std::optional<std::string> SimProcess::WaitFor(const std::function<bool(const std::string&)>& match,
                                               std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (true) {
    for (; consumed_ < lines_.size(); ++consumed_) {
      if (match(lines_[consumed_])) return lines_[consumed_++];
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return std::nullopt;
    ReadMore(std::min(left, std::chrono::milliseconds(50)));
  }
}

int SimProcess::Terminate() { return Stop(SIGTERM, std::chrono::seconds(5)); }

std::string SimProcess::Output() const {
  std::string all;
  for (const std::string& line : lines_) all += line + "\n";
  return all + partial_;
}

int SimProcess::Stop(int signal, std::chrono::milliseconds patience) {
  if (pid_ <= 0) return -1;
  kill(pid_, signal);
  int status = 0;
  auto deadline = std::chrono::steady_clock::now() + patience;
  while (std::chrono::steady_clock::now() < deadline) {
    // Keep the pipe drained: a child blocked on a full pipe never exits.
    while (ReadMore(std::chrono::milliseconds(0))) {
    }
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      while (ReadMore(std::chrono::milliseconds(0))) {
      }
      return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid_, SIGKILL);
  waitpid(pid_, &status, 0);
  pid_ = -1;
  return -1;
}

int OpenPort(const std::string& node) {
  int fd = open(node.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return -1;
  termios t{};
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  tcsetattr(fd, TCSANOW, &t);
  tcflush(fd, TCIOFLUSH);
  return fd;
}

std::string Exchange(int fd, const std::string& text, const std::string& until, std::chrono::milliseconds timeout) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else {
      pollfd p{fd, POLLOUT, 0};
      if (poll(&p, 1, 1000) <= 0) break;
    }
  }
  std::string got;
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (until.empty() || got.find(until) == std::string::npos) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(std::min<long>(left.count(), 50))) <= 0) continue;
    char buf[4096];
    ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) break;
    got.append(buf, static_cast<size_t>(n));
  }
  return got;
}

std::string FreshDir(const std::string& name) {
  const char* home = std::getenv("UPWEND_HOME");
  std::filesystem::path p = std::filesystem::path(home ? home : "/tmp") / (name + "-" + std::to_string(getpid()));
  std::filesystem::remove_all(p);
  std::filesystem::create_directories(p);
  return p.string();
}

int RunCommand(const std::string& command, std::string& output) {
  output.clear();
  FILE* f = popen((command + " 2>&1").c_str(), "r");
  if (!f) return -1;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) output.append(buf, n);
  int status = pclose(f);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace upwend::testing
