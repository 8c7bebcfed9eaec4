#include <gtest/gtest.h>

#include "other_process.h"
#include "platform/process_environment.h"
#include "test_dir.h"

namespace upwend {
namespace {

// A value set here is seen by this process and by the programs it starts afterwards (on Windows
// the C runtime and the system each keep a copy); an empty value reads as unset.
TEST(ProcessEnvironmentTest, ValuesSetReachThisProcessAndProgramsStartedLater) {
  std::string dir = testing::FreshTestDir();
  const std::string name = "UPWEND_TEST_VALUE_" + testing::Tag();
  EXPECT_EQ(EnvironmentValue(name), std::nullopt);
  SetEnvironmentValue(name, "a b=c");
  EXPECT_EQ(EnvironmentValue(name), "a b=c");
  std::string program = testing::HelperCopy(dir, "env" + testing::Tag() + testing::kExeSuffix);
  auto child = StartProgramHidden(program, {"env", name, dir + "/seen"});
  ASSERT_TRUE(child);
  EXPECT_EQ(testing::WaitForFile(dir + "/seen"), "a b=c");
  EXPECT_TRUE(testing::WaitUntilEnded(*child));

  SetEnvironmentValue(name, "");
  EXPECT_EQ(EnvironmentValue(name), std::nullopt);
}

}  // namespace
}  // namespace upwend
