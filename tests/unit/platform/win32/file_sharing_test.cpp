// How the file helpers meet files that other handles hold open: a log being written is read, a
// file that is replaced while a reader has it open either gets the new bytes whole or keeps the
// old ones with nothing left beside it.
#include <windows.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "platform/file_io.h"
#include "../test_dir.h"

namespace upwend {
namespace {

struct OpenFile {
  HANDLE h;
  OpenFile(const std::string& path, DWORD access, DWORD share)
      : h(::CreateFileA(path.c_str(), access, share, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~OpenFile() {
    if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
  }
};

size_t EntriesIn(const std::string& dir) {
  return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()));
}

TEST(FileSharingTest, AFileBeingWrittenIsReadAndAnExclusiveOneIsRefused) {
  std::string dir = testing::FreshTestDir();
  {
    OpenFile writer(dir + "/log.txt", GENERIC_WRITE, FILE_SHARE_READ);
    ASSERT_NE(writer.h, INVALID_HANDLE_VALUE);
    DWORD n = 0;
    ASSERT_TRUE(::WriteFile(writer.h, "line 1\r\n", 8, &n, nullptr));
    auto text = ReadWholeFile(dir + "/log.txt");
    ASSERT_TRUE(text) << text.error().text;
    EXPECT_EQ(*text, "line 1\r\n");
    EXPECT_EQ(ReadableFileSize(dir + "/log.txt"), 8u);
    ASSERT_TRUE(CopyFileOver(dir + "/log.txt", dir + "/copy.txt"));
  }
  OpenFile exclusive(dir + "/log.txt", GENERIC_READ | GENERIC_WRITE, 0);
  ASSERT_NE(exclusive.h, INVALID_HANDLE_VALUE);
  auto refused = ReadWholeFile(dir + "/log.txt");
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().code, EACCES);
  EXPECT_NE(refused.error().text.find("log.txt"), std::string::npos);
}

// Whether a file open elsewhere can be replaced at all depends on the system's rename rules
// (Wine refuses it even to a reader that shares deletion); either way the file holds one
// version whole, and no temporary file stays behind.
TEST(FileSharingTest, ReplacingAFileAReaderHoldsIsWholeOrNothing) {
  std::string dir = testing::FreshTestDir();
  std::string current = "old";
  ASSERT_TRUE(WriteWholeFile(dir + "/settings.ini", current));
  for (DWORD share : {DWORD{FILE_SHARE_READ}, DWORD{FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE}}) {
    OpenFile reader(dir + "/settings.ini", GENERIC_READ, share);
    ASSERT_NE(reader.h, INVALID_HANDLE_VALUE);
    std::string next = "new " + std::to_string(share);
    auto written = WriteWholeFileAtomic(dir + "/settings.ini", next);
    if (written) {
      current = next;
    } else {
      EXPECT_NE(written.error().find("settings.ini"), std::string::npos);
    }
    EXPECT_EQ(*ReadWholeFile(dir + "/settings.ini"), current) << share;
    EXPECT_EQ(EntriesIn(dir), 1u);
  }
  // Once the reader is gone, the file is replaced.
  ASSERT_TRUE(WriteWholeFileAtomic(dir + "/settings.ini", "new"));
  EXPECT_EQ(*ReadWholeFile(dir + "/settings.ini"), "new");
  EXPECT_EQ(EntriesIn(dir), 1u);
}

}  // namespace
}  // namespace upwend
