#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "other_process.h"
#include "platform/processes.h"
#include "test_dir.h"

#ifndef _WIN32
#include <pthread.h>
#include <signal.h>
#include <sys/wait.h>
#endif

namespace upwend {
namespace {

using testing::HelperCopy;
using testing::kExeSuffix;
using testing::Tag;

TEST(ProcessesTest, ListsItselfUnderItsExecutableName) {
  auto list = ListProcesses();
  auto self = std::find_if(list.begin(), list.end(), [](const ProcessInfo& p) { return p.pid == CurrentProcessId(); });
  ASSERT_NE(self, list.end());
  EXPECT_EQ(self->exeName, FileNamePart(ExecutablePath()));
}

TEST(ProcessesTest, KillsByNameFragmentAndByWholeNameIgnoringCase) {
  std::string dir = testing::FreshTestDir();
  std::string tag = Tag();
  std::string frag = "sleeper" + tag + "Frag" + kExeSuffix;
  std::string whole = "Whole" + tag + ".EXE";
  testing::KillAtEnd cleanup({frag, whole});
  auto a = StartProgramHidden(HelperCopy(dir, frag), {"sleep"});
  auto b = StartProgramHidden(HelperCopy(dir, whole), {"sleep"}, dir);
  ASSERT_TRUE(a && b);
  EXPECT_TRUE(testing::WaitUntilListed(*a, frag));
  ASSERT_TRUE(testing::WaitUntilListed(*b, whole));
  EXPECT_FALSE(ReapIfEnded(*a));

  EXPECT_EQ(KillProcessesContaining("sleeper" + tag + "frag"), 0);  // case-sensitive
  EXPECT_EQ(KillProcessesContaining(tag + "Fr"), 1);
  EXPECT_TRUE(testing::WaitUntilEnded(*a));
  EXPECT_EQ(KillProcessesNamed("Whole" + tag), 0);  // a fragment is not the name
  EXPECT_EQ(KillProcessesNamed("whole" + tag + ".exe"), 1);
  EXPECT_TRUE(testing::WaitUntilEnded(*b));
}

// A program that kills every copy of its own name ends the others first and itself last.
TEST(ProcessesTest, KillingItsOwnNameEndsTheOthersAndThenItself) {
  std::string dir = testing::FreshTestDir();
  std::string name = "selfkill" + Tag() + kExeSuffix;
  testing::KillAtEnd cleanup({name});
  std::string program = HelperCopy(dir, name);
  auto other = StartProgramHidden(program, {"sleep"});
  ASSERT_TRUE(other);
  ASSERT_TRUE(testing::WaitUntilListed(*other, name));
  auto killer = StartProgramHidden(program, {"kill", name, dir + "/survived"});
  ASSERT_TRUE(killer);
  EXPECT_TRUE(testing::WaitUntilEnded(*killer));
  EXPECT_TRUE(testing::WaitUntilEnded(*other));
  EXPECT_FALSE(FileExists(dir + "/survived"));
}

// Each argument arrives as one, unchanged, whatever blanks, quotes and backslashes it holds (on
// Windows they pass through one command line), in the working folder asked for.
TEST(ProcessesTest, ArgumentsArriveUnchangedInTheWorkingFolder) {
  std::string dir = testing::FreshTestDir();
  std::filesystem::create_directories(dir + "/work here");
  const std::vector<std::string> args = {"plain", "two words", "", "tab\there", "say \"hi\"", "trailing\\",
                                         "back\\\\\"slash", "C:\\Program Files\\x\\", "\\\\server\\share", "--flag=a b"};
  std::vector<std::string> command = {"args", dir + "/out"};
  command.insert(command.end(), args.begin(), args.end());
  auto child = StartProgramHidden(HelperCopy(dir, "args" + Tag() + kExeSuffix), command, dir + "/work here");
  ASSERT_TRUE(child);
  auto out = testing::WaitForFile(dir + "/out");
  ASSERT_TRUE(out);
  EXPECT_TRUE(testing::WaitUntilEnded(*child));
  std::vector<std::string> seen;
  for (size_t pos = 0, end; (end = out->find('\0', pos)) != std::string::npos; pos = end + 1) {
    seen.push_back(out->substr(pos, end - pos));
  }
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(std::filesystem::path(seen.front()), std::filesystem::path(dir + "/work here").make_preferred());
  EXPECT_EQ(std::vector<std::string>(seen.begin() + 1, seen.end()), args);
}

// Confinement to the tool's own processes: one that runs for another UPWEND_HOME (POSIX), or from
// an executable outside UPWEND_HOME (Windows, where another process's environment is unreadable),
// is never terminated by name.
TEST(ProcessesTest, LeavesProcessesOfAnotherHomeAlone) {
  std::string dir = testing::FreshTestDir();
  std::string name = "foreign" + Tag() + kExeSuffix;
#ifdef _WIN32
  std::string outside = std::string(std::getenv("UPWEND_BUILD_DIR")) + "/test-foreign";
  std::filesystem::create_directories(outside);
  auto other = StartProgramHidden(HelperCopy(outside, name), {"sleep"});
#else
  std::string ours = std::getenv("UPWEND_HOME");
  setenv("UPWEND_HOME", (dir + "/elsewhere").c_str(), 1);
  auto other = StartProgramHidden(HelperCopy(dir, name), {"sleep"});
  setenv("UPWEND_HOME", ours.c_str(), 1);
#endif
  ASSERT_TRUE(other);
  // Only once the program runs under its name could it be matched; before that the check below
  // would pass whatever the home rule did.
  bool listed = testing::WaitUntilListed(*other, name);
  EXPECT_TRUE(listed);
  if (listed) {
    EXPECT_EQ(KillProcessesContaining("foreign" + Tag()), 0);
    EXPECT_FALSE(ReapIfEnded(*other));  // still running
  }
  testing::Terminate(*other);
}

#ifndef _WIN32
TEST(ProcessesTest, StartedProgramsDoNotInheritBlockedSignals) {
  std::string dir = testing::FreshTestDir();
  sigset_t set, old;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &set, &old);
  auto child = StartProgramHidden(HelperCopy(dir, "sigs" + Tag()), {"sleep"});
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  ASSERT_TRUE(child);
  ASSERT_TRUE(testing::WaitUntilListed(*child, "sigs" + Tag()));
  kill(*child, SIGTERM);
  int status = 0;
  ASSERT_EQ(waitpid(*child, &status, 0), *child);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
}
#endif

TEST(ProcessesTest, StartingAMissingProgramFails) {
  EXPECT_FALSE(StartProgramHidden("/nonexistent/DoShiftDevice.exe", {}).has_value());
}

}  // namespace
}  // namespace upwend
