#include <gtest/gtest.h>

#include <filesystem>

#include "other_process.h"
#include "platform/objcopy.h"
#include "platform/process_environment.h"
#include "test_dir.h"

namespace upwend {
namespace {

#ifdef _WIN32
constexpr char kPathSeparator = ';';
#else
constexpr char kPathSeparator = ':';
#endif

// The objcopy found on the search path is run with each argument whole, and its failure or
// absence is an error. The helper stands in for it: its first arguments say what it does.
TEST(ObjcopyTest, RunsTheObjcopyOnTheSearchPathWithEachArgumentWhole) {
  std::string dir = testing::FreshTestDir();
  std::filesystem::create_directories(dir + "/bin");
  testing::HelperCopy(dir + "/bin", std::string("objcopy") + testing::kExeSuffix);
  std::string searchPath = EnvironmentValue("PATH").value_or("");
  SetEnvironmentValue("PATH", std::filesystem::path(dir + "/bin").make_preferred().string() + kPathSeparator + searchPath);
  const std::vector<std::string> args = {"--add-section", ".upwend=C:\\Program Files\\x y\\", "say \"hi\"", ""};
  std::vector<std::string> command = {"args", dir + "/out"};
  command.insert(command.end(), args.begin(), args.end());
  auto ran = RunObjcopy(command);
  auto failed = RunObjcopy({"exit", "1"});
  SetEnvironmentValue("PATH", (dir + "/empty") + kPathSeparator);
  auto missing = RunObjcopy({"exit", "0"});
  SetEnvironmentValue("PATH", searchPath);

  ASSERT_TRUE(ran) << ran.error();
  auto out = ReadWholeFile(dir + "/out");
  ASSERT_TRUE(out);
  std::string expected;
  for (const std::string& a : args) expected += a + '\0';
  EXPECT_EQ(out->substr(out->find('\0') + 1), expected);  // after the working folder
  ASSERT_FALSE(failed);
  EXPECT_EQ(failed.error(), "objcopy failed");
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error(), "objcopy (binutils) is needed to put the payload into an ELF program");
}

}  // namespace
}  // namespace upwend
