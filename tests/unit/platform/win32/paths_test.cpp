// Where the tool writes on Windows: below UPWEND_HOME when set, else in the user's local
// application data and temporary folders; folders are written with "/" whatever the variables use.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "platform/process_environment.h"

namespace upwend {
namespace {

// Sets variables for one test and puts the old values back after it.
class Environment {
public:
  ~Environment() {
    for (const auto& [name, value] : saved_) SetEnvironmentValue(name, value.value_or(""));
  }
  void Set(const std::string& name, const std::string& value) {
    saved_.try_emplace(name, EnvironmentValue(name));
    SetEnvironmentValue(name, value);
  }

private:
  std::map<std::string, std::optional<std::string>> saved_;
};

std::vector<std::string> Listed(const ToolPaths& p) {
  return {p.tempDir, p.configDir, p.runtimeDir, p.logDir, p.stateDir, p.programsDir};
}

TEST(PathsTest, FoldersAreWrittenWithSlashesBelowHomeOrTheUsersFolders) {
  Environment env;
  env.Set("UPWEND_TEMP_DIR", "");
  env.Set("UPWEND_LOG_DIR", "");
  env.Set("UPWEND_HOME", "C:\\Users\\me\\upwend home");
  EXPECT_EQ(Listed(CurrentPaths()), Listed(PathsBelowHome("C:/Users/me/upwend home/")));

  env.Set("UPWEND_HOME", "");
  env.Set("LOCALAPPDATA", "C:\\Users\\me\\AppData\\Local");
  ToolPaths user = CurrentPaths();
  EXPECT_EQ(user.configDir, "C:/Users/me/AppData/Local/upwend/config");
  EXPECT_EQ(user.stateDir, "C:/Users/me/AppData/Local/upwend/state");
  EXPECT_EQ(user.logDir, "C:/Users/me/AppData/Local/upwend/logs");
  EXPECT_EQ(user.programsDir, "C:/Users/me/AppData/Local/Programs/upwend");
  ASSERT_FALSE(user.tempDir.empty());
  EXPECT_EQ(user.tempDir.find('\\'), std::string::npos) << user.tempDir;
  EXPECT_TRUE(user.tempDir.ends_with("/upwend/")) << user.tempDir;
  EXPECT_EQ(user.runtimeDir, user.tempDir + "run");

  env.Set("UPWEND_TEMP_DIR", "D:\\scratch");
  env.Set("UPWEND_LOG_DIR", "D:\\logs");
  ToolPaths moved = CurrentPaths();
  EXPECT_EQ(moved.tempDir, "D:/scratch/");
  EXPECT_EQ(moved.logDir, "D:/logs");
}

}  // namespace
}  // namespace upwend
