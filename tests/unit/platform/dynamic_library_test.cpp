#include <gtest/gtest.h>

#include <filesystem>

#include "platform/dynamic_library.h"
#include "platform/file_io.h"
#include "platform/last_error.h"
#include "test_dir.h"

namespace upwend {
namespace {

namespace fs = std::filesystem;

// Folders compared as the system reads them: either separator, and a trailing one.
std::string Folder(const std::string& path) { return fs::path(path).make_preferred().lexically_normal().string(); }

TEST(DynamicLibraryTest, LoadsByPathAndFindsFunctions) {
  std::string error;
  auto lib = DynamicLibrary::Load(UPWEND_TEST_PLUGIN, error);
  ASSERT_NE(lib, nullptr) << error;
  auto answer = lib->Function<int (*)()>("UpwendTestAnswer");
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 42);
  EXPECT_EQ(lib->Symbol("NoSuchFunction"), nullptr);
  EXPECT_EQ(lib->Symbol(""), nullptr);

  // The folder of the code at an address: the library's for its function, the program's for ours.
  std::string plugin = UPWEND_TEST_PLUGIN;
  std::string pluginFolder = plugin.substr(0, plugin.find_last_of("\\/") + 1);
  EXPECT_EQ(Folder(ModuleFolderOf(reinterpret_cast<const void*>(answer))), Folder(pluginFolder));
  EXPECT_EQ(Folder(ModuleFolderOf(reinterpret_cast<const void*>(&Folder))), Folder(ExecutableFolder()));
}

// A bare name means the file in the working folder, never a system library of that name.
TEST(DynamicLibraryTest, ABareNameIsAFileInTheWorkingFolder) {
  std::string dir = testing::FreshTestDir();
  std::string name(FileNamePart(UPWEND_TEST_PLUGIN));
  fs::copy_file(UPWEND_TEST_PLUGIN, dir + "/copy-" + name);
  fs::path before = fs::current_path();
  fs::current_path(dir);
  std::string error;
  auto copy = DynamicLibrary::Load("copy-" + name, error);
#ifdef _WIN32
  auto system = DynamicLibrary::Load("kernel32.dll", error);
#else
  auto system = DynamicLibrary::Load("libc.so.6", error);
#endif
  fs::current_path(before);
  EXPECT_NE(copy, nullptr) << error;
  EXPECT_EQ(system, nullptr);
}

TEST(DynamicLibraryTest, AMissingLibraryNamesTheFile) {
  std::string error;
  EXPECT_EQ(DynamicLibrary::Load("/nonexistent/QMSL_MSVC10R.dll", error), nullptr);
  EXPECT_NE(error.find("QMSL_MSVC10R.dll"), std::string::npos) << error;
#ifdef _WIN32
  // The system's error survives the making of the message, for the caller's report.
  EXPECT_EQ(GetLastSystemError(), 126u);  // ERROR_MOD_NOT_FOUND
#endif
}

}  // namespace
}  // namespace upwend
