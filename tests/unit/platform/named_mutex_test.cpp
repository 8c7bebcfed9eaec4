#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "other_process.h"
#include "platform/named_mutex.h"
#include "test_dir.h"

namespace upwend {
namespace {

TEST(NamedMutexTest, SecondCreateSeesItAlreadyExistsUntilReleased) {
  std::string dir = testing::FreshTestDir();
  bool existed = true;
  auto first = NamedMutex::Create("Downloading_Mutex", existed, dir);
  ASSERT_NE(first, nullptr);
  EXPECT_FALSE(existed);
  EXPECT_TRUE(first->held());

  auto second = NamedMutex::Create("Downloading_Mutex", existed, dir);
  ASSERT_NE(second, nullptr);
  EXPECT_TRUE(existed);
  EXPECT_FALSE(second->held());

  auto other = NamedMutex::Create("inno setup tovrix sw", existed, dir);
  EXPECT_FALSE(existed);

  first.reset();
  auto third = NamedMutex::Create("Downloading_Mutex", existed, dir);
  EXPECT_FALSE(existed);
}

// Another program sees the mutex while this one holds it, and this one sees it while the other
// holds it, until the system releases it with the process that ended (a crash leaves none behind).
TEST(NamedMutexTest, AnotherProcessSeesTheMutexUntilItsHolderEnds) {
  std::string dir = testing::FreshTestDir();
  const std::string name = "../../escape\\x";
  std::string holder = "mutexholder" + testing::Tag() + testing::kExeSuffix;
  std::string program = testing::HelperCopy(dir, holder);
  testing::KillAtEnd cleanup({holder});
  bool existed = false;
  {
    auto mine = NamedMutex::Create(name, existed, dir);
    ASSERT_NE(mine, nullptr);
    auto theirs = StartProgramHidden(program, {"mutex", name, dir, dir + "/seen"});
    ASSERT_TRUE(theirs);
    EXPECT_EQ(testing::WaitForFile(dir + "/seen"), "existed");
    EXPECT_TRUE(testing::WaitUntilEnded(*theirs));
  }
  auto theirs = StartProgramHidden(program, {"mutex", name, dir, dir + "/held"});
  ASSERT_TRUE(theirs);
  ASSERT_EQ(testing::WaitForFile(dir + "/held"), "held");
  auto second = NamedMutex::Create(name, existed, dir);
  ASSERT_NE(second, nullptr);
  EXPECT_TRUE(existed);
  EXPECT_FALSE(second->held());

  EXPECT_EQ(KillProcessesNamed(holder), 1);
  ASSERT_TRUE(testing::WaitUntilEnded(*theirs));
  auto third = NamedMutex::Create(name, existed, dir);
  ASSERT_NE(third, nullptr);
  EXPECT_FALSE(existed);
  EXPECT_TRUE(third->held());
}

#ifndef _WIN32
// Lock files: whatever the name holds, its file stays in the lock folder, and a lock folder that
// cannot be used gives no mutex (Windows has no lock folder: the name only gets a scope from it).
TEST(NamedMutexTest, LockFilesStayInTheLockFolder) {
  std::string dir = testing::FreshTestDir();
  bool existed = false;
  auto mine = NamedMutex::Create("../../escape\\x", existed, dir);
  ASSERT_NE(mine, nullptr);
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    EXPECT_EQ(e.path().parent_path(), std::filesystem::path(dir));
  }
}

TEST(NamedMutexTest, UnusableLockFolderGivesNull) {
  std::string dir = testing::FreshTestDir();
  std::filesystem::create_directories(dir + "/x");
  bool existed = false;
  std::string file = dir + "/file";
  FILE* f = fopen(file.c_str(), "w");
  fclose(f);
  EXPECT_EQ(NamedMutex::Create("m", existed, file), nullptr);
}
#endif

}  // namespace
}  // namespace upwend
