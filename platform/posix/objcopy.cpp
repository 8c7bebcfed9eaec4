#include "platform/objcopy.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace upwend {

Expected<void, std::string> RunObjcopy(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  std::string program = "objcopy";
  argv.push_back(program.data());
  std::vector<std::string> copies = args;
  for (auto& a : copies) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawnp(&pid, "objcopy", nullptr, nullptr, argv.data(), environ) != 0) {
    return Unexpected(std::string("objcopy (binutils) is needed to put the payload into an ELF program"));
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return Unexpected(std::string("objcopy failed"));
  return {};
}

}  // namespace upwend
