#include <gtest/gtest.h>
#include <sys/stat.h>

#ifndef _WIN32
#include <unistd.h>
#endif

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

// A link to a folder, or nothing where the system cannot make one (Wine without symbolic links).
bool MakeFolderLink(const std::string& target, const std::string& link) {
  std::error_code error;
  fs::create_directory_symlink(target, link, error);
  return !error;
}

TEST(FileIoTest, DeleteFolderTreeRemovesContentButNeverDotNames) {
  std::string dir = testing::FreshTestDir();
  std::string tree = dir + "/TempFiles";
  fs::create_directories(tree + "/sub/deeper");
  Touch(tree + "/a.mbn");
  Touch(tree + "/sub/deeper/b.img");
  chmod((tree + "/a.mbn").c_str(), 0444);  // read-only: deleted all the same
  EXPECT_TRUE(DeleteFolderTree(tree + "/"));
  EXPECT_FALSE(fs::exists(tree));

  fs::create_directories(tree + "/sub");
  Touch(tree + "/.keep");
  Touch(tree + "/sub/x");
  EXPECT_FALSE(DeleteFolderTree(tree));
  EXPECT_TRUE(fs::exists(tree + "/.keep"));
  EXPECT_FALSE(fs::exists(tree + "/sub"));

  EXPECT_FALSE(DeleteFolderTree("/"));
  EXPECT_FALSE(DeleteFolderTree("C:\\"));
  EXPECT_FALSE(DeleteFolderTree(dir + "/missing"));
  Touch(dir + "/file");
  EXPECT_FALSE(DeleteFolderTree(dir + "/file"));
  EXPECT_TRUE(fs::exists(dir + "/file"));
}

TEST(FileIoTest, DeleteFolderTreeRemovesLinksButNeverWhatTheyNameNorFollowsThem) {
  std::string dir = testing::FreshTestDir();
  std::string tree = dir + "/TempFiles";
  fs::create_directories(tree);
  fs::create_directories(dir + "/outside");
  Touch(dir + "/outside/precious");
  if (!MakeFolderLink(dir + "/outside", tree + "/link")) GTEST_SKIP() << "the system cannot make folder links here";
  EXPECT_TRUE(DeleteFolderTree(tree));
  EXPECT_FALSE(fs::exists(tree));
  EXPECT_TRUE(fs::exists(dir + "/outside/precious"));

  // The folder to delete is itself a link: only the link goes.
  fs::create_directories(dir + "/outside/TempFiles");
  Touch(dir + "/outside/TempFiles/precious");
  ASSERT_TRUE(MakeFolderLink(dir + "/outside/TempFiles", dir + "/linked"));
  EXPECT_TRUE(DeleteFolderTree(dir + "/linked"));
  EXPECT_FALSE(fs::is_symlink(dir + "/linked"));
  EXPECT_TRUE(fs::exists(dir + "/outside/TempFiles/precious"));
}

// The temporary folder holds the libraries the tool loads and the files it deletes at exit:
// one that is not a real folder (a link planted to send files elsewhere) is refused, never used.
TEST(FileIoTest, EnsurePrivateFolderCreatesItAndRefusesLinksAndFiles) {
  std::string dir = testing::FreshTestDir();
  ASSERT_TRUE(EnsurePrivateFolder(dir + "/new/upwend-0/"));
  EXPECT_TRUE(FolderExists(dir + "/new/upwend-0"));
  ASSERT_TRUE(EnsurePrivateFolder(dir + "/new/upwend-0"));  // found as made: fine

  auto refused = [](const std::string& path, const std::string& why) {
    auto r = EnsurePrivateFolder(path);
    ASSERT_FALSE(r) << path;
    EXPECT_EQ(r.error(), path + " is not safe to use: " + why);
  };
  Touch(dir + "/file");
  refused(dir + "/file", "it is not a folder");

  fs::create_directories(dir + "/elsewhere");
  if (!MakeFolderLink(dir + "/elsewhere", dir + "/link")) GTEST_SKIP() << "the system cannot make folder links here";
  refused(dir + "/link", "it is a symbolic link");
}

#ifndef _WIN32
mode_t ModeOf(const std::string& path) {
  struct stat st {};
  lstat(path.c_str(), &st);
  return st.st_mode & 07777;
}

// POSIX modes: a folder others can write to or that belongs to another user is refused; one of
// the user's that others could only read is closed to them.
TEST(FileIoTest, EnsurePrivateFolderCreatesPrivateAndRefusesWhatOthersControl) {
  std::string dir = testing::FreshTestDir();
  ASSERT_TRUE(EnsurePrivateFolder(dir + "/new/upwend-0/"));
  EXPECT_EQ(ModeOf(dir + "/new/upwend-0"), 0700u);

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

  if (geteuid() == 0) {  // only root can give a folder away
    fs::create_directories(dir + "/theirs");
    chmod((dir + "/theirs").c_str(), 0700);
    ASSERT_EQ(chown((dir + "/theirs").c_str(), 65534, 65534), 0);
    refused(dir + "/theirs", "it belongs to another user (uid 65534)");
  }
}
#endif

TEST(FileIoTest, PathHelpers) {
#ifdef _WIN32
  EXPECT_EQ(NativePath("C:\\img/boot.img"), "C:\\img/boot.img");  // Windows takes both
  const char separator = '\\';
#else
  EXPECT_EQ(NativePath("C:\\img\\boot.img"), "C:/img/boot.img");
  const char separator = '/';
#endif
  EXPECT_EQ(FileNamePart("C:\\img/boot.img"), "boot.img");
  EXPECT_EQ(FileNamePart("sbl1.mbn"), "sbl1.mbn");
  EXPECT_FALSE(ExecutableFolder().empty());
  EXPECT_EQ(ExecutableFolder().back(), separator);
  EXPECT_EQ(ExecutableFolder() + std::string(FileNamePart(ExecutablePath())), ExecutablePath());
  EXPECT_TRUE(FileExists(ExecutablePath()));
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
  EXPECT_EQ(ReadWholeFile(dir + "/missing/below").error().code, ENOENT);
  EXPECT_EQ(ReadWholeFile(dir).error().code, EISDIR);

  // Replacing: the new bytes whole, the old ones gone, no temporary file left beside it.
  ASSERT_TRUE(WriteWholeFileAtomic(dir + "/a", "short"));
  EXPECT_EQ(*ReadWholeFile(dir + "/a"), "short");
  ASSERT_TRUE(WriteWholeFile(dir + "/b", "in place"));
  EXPECT_EQ(*ReadWholeFile(dir + "/b"), "in place");
  ASSERT_TRUE(CopyFileOver(dir + "/a", dir + "/b"));
  EXPECT_EQ(*ReadWholeFile(dir + "/b"), "short");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);
  EXPECT_FALSE(WriteWholeFileAtomic(dir + "/missing/a", "x"));
  EXPECT_FALSE(WriteWholeFile(dir, "x"));
}

// Names beyond ASCII (UTF-8 in the tool's strings) reach the same file through every helper.
TEST(FileIoTest, NamesBeyondAsciiReachTheSameFileEverywhere) {
  std::string dir = testing::FreshTestDir() + "/Прошивка ü";
  ASSERT_TRUE(CreateFolderPath(dir + "/образы"));
  EXPECT_TRUE(FolderExists(dir + "/образы"));
  std::string file = dir + "/образы/загрузчик.mbn";
  ASSERT_TRUE(WriteWholeFileAtomic(file, "mbn"));
  EXPECT_TRUE(FileExists(file));
  EXPECT_EQ(*ReadWholeFile(file), "mbn");
  EXPECT_EQ(ReadableFileSize(file), 3u);
  EXPECT_EQ(ProbeFileStart(file, 13), FileStartProbe::kOk);
  ASSERT_TRUE(CopyFileOver(file, dir + "/копия.mbn"));
  EXPECT_EQ(*ReadWholeFile(dir + "/копия.mbn"), "mbn");
  EXPECT_EQ(FolderWriteProblem(dir), "");
  EXPECT_TRUE(DeleteFolderTree(dir));
  EXPECT_FALSE(FolderExists(dir));
}

// The checks made before a file is handed on: none of them may block on a pipe carrying a file's
// name, and each tells a folder or an unreadable file from a usable one.
// The checks made before a file is handed on: none of them may block on a pipe carrying a file's
// name, and each tells a folder or an unreadable file from a usable one.
TEST(FileIoTest, ProbesNeverBlockAndTellUsableFilesFromTheRest) {
  std::string dir = testing::FreshTestDir();
  Touch(dir + "/image.hex", ":00000001FF");
  Touch(dir + "/empty.hex", "");

  EXPECT_EQ(ProbeFileStart(dir + "/image.hex", 13), FileStartProbe::kOk);
  EXPECT_EQ(ProbeFileStart(dir + "/empty.hex", 13), FileStartProbe::kOk);
  EXPECT_EQ(ProbeFileStart(dir + "/missing.hex", 13), FileStartProbe::kOpenFailed);
#ifdef _WIN32
  EXPECT_EQ(ProbeFileStart(dir, 13), FileStartProbe::kOpenFailed);  // a folder cannot be opened as a file
#else
  EXPECT_EQ(ProbeFileStart(dir, 13), FileStartProbe::kReadFailed);
#endif

  EXPECT_EQ(ReadableFileSize(dir + "/image.hex"), 11u);
  EXPECT_EQ(ReadableFileSize(dir + "/missing.hex"), std::nullopt);

  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen((dir + "/image.hex").c_str(), "rb"), std::fclose);
  EXPECT_EQ(RegularFileSize(file.get()), 11u);
  EXPECT_EQ(RegularFileSize(nullptr), std::nullopt);

  // The write probe leaves nothing behind, and names the reason where it cannot write.
  fs::create_directory(dir + "/logs");
  EXPECT_EQ(FolderWriteProblem(dir + "/logs"), "");
  EXPECT_TRUE(fs::is_empty(dir + "/logs"));
  EXPECT_NE(FolderWriteProblem(dir + "/no-such-folder"), "");
}

#ifndef _WIN32
TEST(FileIoTest, ProbesOfPipesAndLockedFilesNeitherBlockNorRead) {
  std::string dir = testing::FreshTestDir();
  Touch(dir + "/locked.hex");
  chmod((dir + "/locked.hex").c_str(), 0);
  const bool root = ::geteuid() == 0;
  ASSERT_EQ(mkfifo((dir + "/pipe.hex").c_str(), 0600), 0);
  EXPECT_EQ(ProbeFileStart(dir + "/pipe.hex", 13), FileStartProbe::kReadFailed);
  EXPECT_EQ(ReadableFileSize(dir + "/pipe.hex"), 0u);
  if (!root) {
    EXPECT_EQ(ProbeFileStart(dir + "/locked.hex", 13), FileStartProbe::kOpenFailed);
    EXPECT_EQ(ReadableFileSize(dir + "/locked.hex"), std::nullopt);
  }
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> folder(std::fopen(dir.c_str(), "rb"), std::fclose);
  EXPECT_EQ(RegularFileSize(folder.get()), std::nullopt);
}
#endif

}  // namespace
}  // namespace upwend
