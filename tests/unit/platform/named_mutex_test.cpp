#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

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

TEST(NamedMutexTest, AnotherProcessSeesTheMutexAndNamesStayInTheLockFolder) {
  std::string dir = testing::FreshTestDir();
  bool existed = false;
  auto mine = NamedMutex::Create("../../escape\\x", existed, dir);
  ASSERT_NE(mine, nullptr);
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    EXPECT_EQ(e.path().parent_path(), std::filesystem::path(dir));
  }
  pid_t child = fork();
  if (child == 0) {
    bool seen = false;
    auto theirs = NamedMutex::Create("../../escape\\x", seen, dir);
    _exit(theirs && seen ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
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

}  // namespace
}  // namespace upwend
