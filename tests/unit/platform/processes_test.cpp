#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "platform/processes.h"
#include "test_dir.h"

namespace upwend {
namespace {

// A copy of sleep under a name no other process on the machine has, so only our own children
// can match.
std::string UniqueSleeper(const std::string& dir, const std::string& name) {
  std::string path = dir + "/" + name;
  std::filesystem::copy_file("/bin/sleep", path, std::filesystem::copy_options::overwrite_existing);
  std::filesystem::permissions(path, std::filesystem::perms::owner_all);
  return path;
}

bool WasKilled(pid_t pid) {
  int status = 0;
  for (int i = 0; i < 500; ++i) {
    pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) return WIFSIGNALED(status);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

// Polls until the started program has replaced the spawning copy (its own name is listed), so
// what a test does next meets the program and not the copy that is still about to exec it.
bool WaitUntilRunning(pid_t pid, const std::string& exeName) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    for (const ProcessInfo& p : ListProcesses()) {
      if (p.pid == pid && p.exeName == exeName) return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

void Reap(pid_t pid) {
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

TEST(ProcessesTest, KillsByNameFragmentAndByWholeNameIgnoringCase) {
  std::string dir = testing::FreshTestDir();
  std::string tag = std::to_string(getpid());
  auto a = StartProgramHidden(UniqueSleeper(dir, "sleeper" + tag + "Frag"), {"30"});
  auto b = StartProgramHidden(UniqueSleeper(dir, "Whole" + tag + ".EXE"), {"30"}, dir);
  ASSERT_TRUE(a && b);
  EXPECT_TRUE(WaitUntilRunning(*a, "sleeper" + tag + "Frag"));
  ASSERT_TRUE(WaitUntilRunning(*b, "Whole" + tag + ".EXE"));

  EXPECT_EQ(KillProcessesContaining("sleeper" + tag + "frag"), 0);  // case-sensitive
  EXPECT_EQ(KillProcessesContaining(tag + "Fr"), 1);
  EXPECT_TRUE(WasKilled(*a));
  EXPECT_EQ(KillProcessesNamed("Whole" + tag), 0);  // a fragment is not the name
  EXPECT_EQ(KillProcessesNamed("whole" + tag + ".exe"), 1);
  EXPECT_TRUE(WasKilled(*b));
}

TEST(ProcessesTest, LeavesProcessesOfAnotherHomeAlone) {
  std::string dir = testing::FreshTestDir();
  std::string tag = std::to_string(getpid());
  std::string ours = std::getenv("UPWEND_HOME");
  setenv("UPWEND_HOME", (dir + "/elsewhere").c_str(), 1);
  auto other = StartProgramHidden(UniqueSleeper(dir, "foreign" + tag), {"30"});
  setenv("UPWEND_HOME", ours.c_str(), 1);
  ASSERT_TRUE(other);
  // Only once the program runs under its name could it be matched; before that the check below
  // would pass whatever the home rule did.
  ASSERT_TRUE(WaitUntilRunning(*other, "foreign" + tag));
  EXPECT_EQ(KillProcessesContaining("foreign" + tag), 0);
  EXPECT_EQ(waitpid(*other, nullptr, WNOHANG), 0);  // still running
  Reap(*other);
}

TEST(ProcessesTest, StartedProgramsDoNotInheritBlockedSignals) {
  std::string dir = testing::FreshTestDir();
  sigset_t set, old;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &set, &old);
  auto child = StartProgramHidden(UniqueSleeper(dir, "sigs" + std::to_string(getpid())), {"30"});
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  ASSERT_TRUE(child);
  ASSERT_TRUE(WaitUntilRunning(*child, "sigs" + std::to_string(getpid())));
  kill(*child, SIGTERM);
  int status = 0;
  ASSERT_EQ(waitpid(*child, &status, 0), *child);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
}

TEST(ProcessesTest, StartingAMissingProgramFails) {
  EXPECT_FALSE(StartProgramHidden("/nonexistent/DoShiftDevice.exe", {}).has_value());
}

}  // namespace
}  // namespace upwend
