#include "platform/processes.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/file_io.h"
#include "platform/process_termination.h"

extern char** environ;

namespace upwend {

namespace {

std::string ReadSmallFile(const std::string& path) {
  auto bytes = ReadWholeFile(path);
  return bytes ? *bytes : std::string();
}

// The executable's file name: from the link to the executable; when that cannot be read (a
// process of another user), from argv[0].
std::string ExeNameOf(const std::string& procDir) {
  char buf[4096];
  ssize_t n = ::readlink((procDir + "/exe").c_str(), buf, sizeof buf - 1);
  if (n > 0) {
    std::string target(buf, static_cast<size_t>(n));
    constexpr std::string_view kDeleted = " (deleted)";
    if (target.ends_with(kDeleted)) target.resize(target.size() - kDeleted.size());
    return std::string(FileNamePart(target));
  }
  // Kernel threads and processes that have ended have no command line: they are not programs.
  std::string cmdline = ReadSmallFile(procDir + "/cmdline");
  std::string argv0 = cmdline.substr(0, cmdline.find('\0'));
  return std::string(FileNamePart(argv0));
}

std::optional<std::string> EnvOf(pid_t pid, std::string_view name) {
  std::string env = ReadSmallFile("/proc/" + std::to_string(pid) + "/environ");
  size_t pos = 0;
  while (pos < env.size()) {
    size_t end = env.find('\0', pos);
    if (end == std::string::npos) end = env.size();
    std::string_view entry(env.data() + pos, end - pos);
    if (entry.size() > name.size() && entry.starts_with(name) && entry[name.size()] == '=') {
      return std::string(entry.substr(name.size() + 1));
    }
    pos = end + 1;
  }
  return std::nullopt;
}

}  // namespace

std::vector<ProcessInfo> ListProcesses() {
  std::vector<ProcessInfo> out;
  DIR* proc = ::opendir("/proc");
  if (proc == nullptr) return out;
  while (dirent* e = ::readdir(proc)) {
    char* end = nullptr;
    long pid = std::strtol(e->d_name, &end, 10);
    if (end == e->d_name || *end != '\0' || pid <= 0) continue;
    std::string dir = std::string("/proc/") + e->d_name;
    std::string name = ExeNameOf(dir);
    if (name.empty()) continue;  // kernel threads and processes that ended meanwhile
    out.push_back(ProcessInfo{static_cast<pid_t>(pid), std::move(name)});
  }
  ::closedir(proc);
  return out;
}

bool BelongsToHome(pid_t pid, const std::string& home) {
  auto theirs = EnvOf(pid, "UPWEND_HOME");
  return theirs && *theirs == home;
}

bool TerminateProcessById(pid_t pid) { return ::kill(pid, SIGKILL) == 0; }

void EndThisProcess() { ::_exit(0); }

std::optional<pid_t> StartProgramHidden(const std::string& program, const std::vector<std::string>& args,
                                        const std::string& workDir) {
  std::vector<std::string> argvText;
  argvText.push_back(program);
  argvText.insert(argvText.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argvText) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  if (!workDir.empty()) posix_spawn_file_actions_addchdir_np(&actions, workDir.c_str());
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  // Its own process group, so a terminal's Ctrl+C aimed at the tool does not reach it; and no
  // blocked signals, whatever the starting thread blocks (the tool blocks SIGINT and SIGTERM).
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK);
  posix_spawnattr_setpgroup(&attr, 0);
  pid_t pid = 0;
  int rc = ::posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), environ);
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return std::nullopt;
  return pid;
}

bool ReapIfEnded(pid_t pid) {
  pid_t r;
  do {
    r = ::waitpid(pid, nullptr, WNOHANG);
  } while (r < 0 && errno == EINTR);
  return r == pid || (r < 0 && errno == ECHILD);
}

pid_t CurrentProcessId() { return ::getpid(); }

}  // namespace upwend
