#include <gtest/gtest.h>

#include <filesystem>

#include "platform/file_io.h"
#include "platform/folder_watch.h"
#include "test_dir.h"

namespace upwend {
namespace {

namespace fs = std::filesystem;

constexpr int kEventMs = 20000;  // the limit of a wait for a change that did happen

// Takes in what earlier changes left to report, so the next wait answers only for the next one.
void Drain(FolderWatch& watch) {
  for (int i = 0; i < 100 && watch.WaitForChange(0); ++i) {
  }
}

TEST(FolderWatchTest, HearsFilesCreatedReplacedRenamedInAndDeleted) {
  std::string dir = testing::FreshTestDir();
  fs::create_directories(dir + "/bus");
  fs::create_directories(dir + "/elsewhere");
  auto watch = WatchFolder(dir + "/bus");
  EXPECT_FALSE(watch->WaitForChange(0));  // starts watching, nothing changed yet

  ASSERT_TRUE(WriteWholeFile(dir + "/bus/dev0", "a"));
  EXPECT_TRUE(watch->WaitForChange(kEventMs));
  Drain(*watch);
  ASSERT_TRUE(WriteWholeFileAtomic(dir + "/bus/dev0", "b"));
  EXPECT_TRUE(watch->WaitForChange(kEventMs));
  Drain(*watch);
  ASSERT_TRUE(WriteWholeFile(dir + "/elsewhere/dev1", "c"));
  fs::rename(dir + "/elsewhere/dev1", dir + "/bus/dev1");
  EXPECT_TRUE(watch->WaitForChange(kEventMs));
  Drain(*watch);
  fs::remove(dir + "/bus/dev0");
  EXPECT_TRUE(watch->WaitForChange(kEventMs));
}

TEST(FolderWatchTest, AFolderThatAppearsLaterIsWatchedFromThen) {
  std::string dir = testing::FreshTestDir();
  auto watch = WatchFolder(dir + "/bus");
  EXPECT_FALSE(watch->WaitForChange(1));  // nothing to watch yet
  fs::create_directories(dir + "/bus");
  EXPECT_FALSE(watch->WaitForChange(0));
  ASSERT_TRUE(WriteWholeFile(dir + "/bus/dev0", "a"));
  EXPECT_TRUE(watch->WaitForChange(kEventMs));

  // Removed and made again (a simulator started anew): watched again once it is back.
  Drain(*watch);
  fs::remove_all(dir + "/bus");
  EXPECT_TRUE(watch->WaitForChange(kEventMs));
  Drain(*watch);
  fs::create_directories(dir + "/bus");
  EXPECT_FALSE(watch->WaitForChange(0));
  ASSERT_TRUE(WriteWholeFile(dir + "/bus/dev0", "a"));
  EXPECT_TRUE(watch->WaitForChange(kEventMs));
}

}  // namespace
}  // namespace upwend
