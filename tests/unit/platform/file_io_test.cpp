#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "platform/file_io.h"
#include "test_dir.h"

namespace upwend {
namespace {

namespace fs = std::filesystem;

void Touch(const std::string& path, const std::string& text = "x") { std::ofstream(path) << text; }

TEST(FileIoTest, CreateFolderPathMakesEveryPartAndAcceptsBothSeparators) {
  std::string dir = testing::FreshTestDir();
  ASSERT_TRUE(CreateFolderPath(dir + "/a\\b/c"));
  EXPECT_TRUE(FolderExists(dir + "/a/b/c"));
  ASSERT_TRUE(CreateFolderPath(dir + "/a/b/c/"));  // existing: nothing to do

  Touch(dir + "/file");
  auto err = CreateFolderPath(dir + "/file/sub/deeper");
  ASSERT_FALSE(err);
  EXPECT_EQ(err.error(), "Could not create folder!" + dir + "/file/");
}

TEST(FileIoTest, DeleteFolderTreeRemovesContentButNeverDotNamesOrLinkTargets) {
  std::string dir = testing::FreshTestDir();
  std::string tree = dir + "/TempFiles";
  fs::create_directories(tree + "/sub/deeper");
  Touch(tree + "/a.mbn");
  Touch(tree + "/sub/deeper/b.img");
  chmod((tree + "/a.mbn").c_str(), 0444);
  // A link to a folder outside: the link goes, the folder it names stays whole.
  fs::create_directories(dir + "/outside");
  Touch(dir + "/outside/precious");
  fs::create_directory_symlink(dir + "/outside", tree + "/link");
  EXPECT_TRUE(DeleteFolderTree(tree));
  EXPECT_FALSE(fs::exists(tree));
  EXPECT_TRUE(fs::exists(dir + "/outside/precious"));

  fs::create_directories(tree + "/sub");
  Touch(tree + "/.keep");
  Touch(tree + "/sub/x");
  EXPECT_FALSE(DeleteFolderTree(tree));
  EXPECT_TRUE(fs::exists(tree + "/.keep"));
  EXPECT_FALSE(fs::exists(tree + "/sub"));

  EXPECT_FALSE(DeleteFolderTree("/"));
  EXPECT_FALSE(DeleteFolderTree("C:\\"));
  EXPECT_FALSE(DeleteFolderTree(dir + "/missing"));
}

TEST(FileIoTest, PathHelpers) {
  EXPECT_EQ(NativePath("C:\\img\\boot.img"), "C:/img/boot.img");
  EXPECT_EQ(FileNamePart("C:\\img/boot.img"), "boot.img");
  EXPECT_EQ(FileNamePart("sbl1.mbn"), "sbl1.mbn");
  EXPECT_FALSE(ExecutableFolder().empty());
  EXPECT_EQ(ExecutableFolder().back(), '/');
}

TEST(FileIoTest, WritesReadsAndCopies) {
  std::string dir = testing::FreshTestDir();
  ASSERT_TRUE(WriteWholeFileAtomic(dir + "/a", std::string("bytes\0more", 10)));
  auto a = ReadWholeFile(dir + "/a");
  ASSERT_TRUE(a);
  EXPECT_EQ(a->size(), 10u);
  ASSERT_TRUE(CopyFileOver(dir + "/a", dir + "/b"));
  EXPECT_EQ(*ReadWholeFile(dir + "/b"), *a);
  EXPECT_FALSE(CopyFileOver(dir + "/missing", dir + "/c"));
  EXPECT_FALSE(CopyFileOver(dir, dir + "/c"));  // a folder is not a file
  EXPECT_EQ(ReadWholeFile(dir + "/missing").error().code, ENOENT);
}

}  // namespace
}  // namespace upwend
