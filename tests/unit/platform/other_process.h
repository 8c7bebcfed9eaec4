#pragma once
// Another process for the platform tests: copies of test_helper under names no other process on
// the machine has (so only the test's own children can match a name), and waits with a deadline
// for what they do.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/file_io.h"
#include "platform/processes.h"
#include "tests/support/poll_until.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#endif

namespace upwend::testing {

#ifdef _WIN32
inline constexpr const char* kExeSuffix = ".exe";
#else
inline constexpr const char* kExeSuffix = "";
#endif

inline std::string Tag() { return std::to_string(CurrentProcessId()); }

// A copy of the helper program at dir/name (name with the system's executable suffix).
inline std::string HelperCopy(const std::string& dir, const std::string& name) {
  std::string path = dir + "/" + name;
  std::filesystem::copy_file(UPWEND_TEST_HELPER, path, std::filesystem::copy_options::overwrite_existing);
  std::filesystem::permissions(path, std::filesystem::perms::owner_all);
  return path;
}

// What the helper wrote to `path` (it writes whole files only); nullopt when none came in time.
inline std::optional<std::string> WaitForFile(const std::string& path) {
  std::optional<std::string> text;
  PollUntil([&] {
    auto bytes = ReadWholeFile(path);
    if (bytes) text = *bytes;
    return bytes.has_value();
  });
  return text;
}

inline bool WaitUntilEnded(pid_t pid) { return PollUntil([&] { return ReapIfEnded(pid); }); }

// Terminates one process directly, whatever the tool's rules for its own kills say.
inline void Terminate(pid_t pid) {
#ifdef _WIN32
  if (HANDLE h = ::OpenProcess(PROCESS_TERMINATE, FALSE, static_cast<DWORD>(pid))) {
    ::TerminateProcess(h, 1);
    ::CloseHandle(h);
  }
#else
  ::kill(pid, SIGKILL);
#endif
  WaitUntilEnded(pid);
}

// Until the started program runs under its own name (on POSIX, the spawning copy may not have
// executed it yet), so what the test does next meets the program.
inline bool WaitUntilListed(pid_t pid, const std::string& exeName) {
  return PollUntil([&] {
    for (const ProcessInfo& p : ListProcesses()) {
      if (p.pid == pid && p.exeName == exeName) return true;
    }
    return false;
  });
}

// Terminates the named helper copies when the test ends, whatever it asserted before.
class KillAtEnd {
public:
  explicit KillAtEnd(std::vector<std::string> names) : names_(std::move(names)) {}
  ~KillAtEnd() {
    for (const std::string& name : names_) KillProcessesNamed(name);
  }
  KillAtEnd(const KillAtEnd&) = delete;
  KillAtEnd& operator=(const KillAtEnd&) = delete;

private:
  std::vector<std::string> names_;
};

}  // namespace upwend::testing
