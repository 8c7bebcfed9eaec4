// The other process of the platform tests, built for both systems. The tests copy it under names
// of their own and start it with one of these commands:
//   sleep                 waits until it is terminated (a minute at most)
//   args OUT [ARG...]     writes its working folder and its arguments to OUT, each ended by a NUL
//   env NAME OUT          writes the value of the environment variable NAME to OUT
//   mutex NAME DIR OUT    creates the named mutex NAME (lock folder DIR) and writes "held",
//                         "existed" or "failed" to OUT; holding it, it then waits as `sleep` does
//   kill NAME OUT         terminates every process named NAME, itself among them; were it to
//                         survive, it would write "survived" to OUT
//   exit CODE             ends with that exit code
// OUT is written whole or not at all, so a test that sees it sees everything.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/file_io.h"
#include "platform/named_mutex.h"
#include "platform/processes.h"

namespace {

// Stays alive for the test to list, hold or kill; nobody waits for it to end. It ends by itself
// after a minute so that a test which dies first leaves no process behind.
int StayAlive() {
  std::this_thread::sleep_for(std::chrono::minutes(1));
  return 0;
}

int Write(const std::string& out, const std::string& text) { return upwend::WriteWholeFileAtomic(out, text) ? 0 : 3; }

}  // namespace

int main(int argc, char** argv) {
  std::string command = argc > 1 ? argv[1] : "";
  if (command == "sleep") return StayAlive();
  if (command == "args" && argc > 2) {
    std::string text = std::filesystem::current_path().string() + '\0';
    for (int i = 3; i < argc; ++i) text += std::string(argv[i]) + '\0';
    return Write(argv[2], text);
  }
  if (command == "env" && argc == 4) {
    const char* value = std::getenv(argv[2]);
    return Write(argv[3], value ? value : "(unset)");
  }
  if (command == "mutex" && argc == 5) {
    bool existed = false;
    auto mutex = upwend::NamedMutex::Create(argv[2], existed, argv[3]);
    if (int rc = Write(argv[4], !mutex ? "failed" : existed ? "existed" : "held"); rc != 0 || !mutex || existed) return rc;
    return StayAlive();
  }
  if (command == "kill" && argc == 4) {
    upwend::KillProcessesNamed(argv[2]);
    return Write(argv[3], "survived");
  }
  if (command == "exit" && argc == 3) return std::atoi(argv[2]);
  return 2;
}
