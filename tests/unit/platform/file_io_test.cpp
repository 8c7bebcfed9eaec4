#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

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

  // The folder to delete is itself a link: only the link goes.
  fs::create_directories(dir + "/outside/TempFiles");
  Touch(dir + "/outside/TempFiles/precious");
  fs::create_directory_symlink(dir + "/outside/TempFiles", dir + "/linked");
  EXPECT_TRUE(DeleteFolderTree(dir + "/linked"));
  EXPECT_FALSE(fs::is_symlink(dir + "/linked"));
  EXPECT_TRUE(fs::exists(dir + "/outside/TempFiles/precious"));
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  lstat(path.c_str(), &st);
  return st.st_mode & 07777;
}

// The temporary folder holds the libraries the tool loads and the files it deletes at exit:
// one that another user made, can write to or has pointed elsewhere is refused, never used.
TEST(FileIoTest, EnsurePrivateFolderCreatesPrivateAndRefusesWhatOthersControl) {
  std::string dir = testing::FreshTestDir();
  ASSERT_TRUE(EnsurePrivateFolder(dir + "/new/upwend-0/"));
  EXPECT_EQ(ModeOf(dir + "/new/upwend-0"), 0700u);
  ASSERT_TRUE(EnsurePrivateFolder(dir + "/new/upwend-0"));  // found as made: fine

  fs::create_directories(dir + "/readable");
  chmod((dir + "/readable").c_str(), 0755);  // the user's own, others could only look
  ASSERT_TRUE(EnsurePrivateFolder(dir + "/readable"));
  EXPECT_EQ(ModeOf(dir + "/readable"), 0700u);

  auto refused = [](const std::string& path, const std::string& why) {
    auto r = EnsurePrivateFolder(path);
    ASSERT_FALSE(r) << path;
    EXPECT_EQ(r.error(), path + " is not safe to use: " + why);
  };
  fs::create_directories(dir + "/open");
  chmod((dir + "/open").c_str(), 0777);
  refused(dir + "/open", "other users can write to it (mode 777)");
  EXPECT_EQ(ModeOf(dir + "/open"), 0777u);  // left as found

  fs::create_directories(dir + "/elsewhere");
  chmod((dir + "/elsewhere").c_str(), 0700);
  fs::create_directory_symlink(dir + "/elsewhere", dir + "/link");
  refused(dir + "/link", "it is a symbolic link");

  Touch(dir + "/file");
  refused(dir + "/file", "it is not a folder");

  if (geteuid() == 0) {  // only root can give a folder away
    fs::create_directories(dir + "/theirs");
    chmod((dir + "/theirs").c_str(), 0700);
    ASSERT_EQ(chown((dir + "/theirs").c_str(), 65534, 65534), 0);
    refused(dir + "/theirs", "it belongs to another user (uid 65534)");
  }
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

// The checks made before a file is handed on: none of them may block on a pipe carrying a file's
// name, and each tells a folder or an unreadable file from a usable one.
TEST(FileIoTest, ProbesNeverBlockAndTellUsableFilesFromTheRest) {
  std::string dir = testing::FreshTestDir();
  Touch(dir + "/image.hex", ":00000001FF");
  Touch(dir + "/empty.hex", "");
  Touch(dir + "/locked.hex");
  chmod((dir + "/locked.hex").c_str(), 0);
  const bool root = ::geteuid() == 0;
  ASSERT_EQ(mkfifo((dir + "/pipe.hex").c_str(), 0600), 0);

  EXPECT_EQ(ProbeFileStart(dir + "/image.hex", 13), FileStartProbe::kOk);
  EXPECT_EQ(ProbeFileStart(dir + "/empty.hex", 13), FileStartProbe::kOk);
  EXPECT_EQ(ProbeFileStart(dir + "/missing.hex", 13), FileStartProbe::kOpenFailed);
  EXPECT_EQ(ProbeFileStart(dir, 13), FileStartProbe::kReadFailed);
  EXPECT_EQ(ProbeFileStart(dir + "/pipe.hex", 13), FileStartProbe::kReadFailed);
  if (!root) {
    EXPECT_EQ(ProbeFileStart(dir + "/locked.hex", 13), FileStartProbe::kOpenFailed);
  }

  EXPECT_EQ(ReadableFileSize(dir + "/image.hex"), 11u);
  EXPECT_EQ(ReadableFileSize(dir + "/missing.hex"), std::nullopt);
  EXPECT_EQ(ReadableFileSize(dir + "/pipe.hex"), 0u);
  if (!root) {
    EXPECT_EQ(ReadableFileSize(dir + "/locked.hex"), std::nullopt);
  }

  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen((dir + "/image.hex").c_str(), "rb"), std::fclose);
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> folder(std::fopen(dir.c_str(), "rb"), std::fclose);
  EXPECT_EQ(RegularFileSize(file.get()), 11u);
  EXPECT_EQ(RegularFileSize(folder.get()), std::nullopt);
  EXPECT_EQ(RegularFileSize(nullptr), std::nullopt);

  // The write probe leaves nothing behind, and names the reason where it cannot write.
  fs::create_directory(dir + "/logs");
  EXPECT_EQ(FolderWriteProblem(dir + "/logs"), "");
  EXPECT_TRUE(fs::is_empty(dir + "/logs"));
  EXPECT_NE(FolderWriteProblem(dir + "/no-such-folder"), "");
}

}  // namespace
}  // namespace upwend
