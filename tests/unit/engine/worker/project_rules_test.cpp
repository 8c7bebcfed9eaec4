#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

namespace upwend {
namespace {

namespace fs = std::filesystem;

// What a family does differently is asked of project_rules.h only: a comparison of the project
// type written anywhere else is a rule nobody will find when the family changes.
TEST(ProjectRulesTest, NoProjectTypeIsComparedOutsideTheRules) {
  const char* root = std::getenv("UPWEND_SOURCE_DIR");
  ASSERT_NE(root, nullptr);
  const std::regex bare(R"((projectType|\bpt)\s*(==|!=|<=|>=|<|>)\s*[0-9]|switch\s*\([^)]*projectType)");
  std::string found;
  int files = 0;
  for (const char* area : {"app", "dialogs", "engine", "tools"}) {
    for (const auto& entry : fs::recursive_directory_iterator(fs::path(root) / area)) {
      const fs::path& path = entry.path();
      if (!entry.is_regular_file() || (path.extension() != ".cpp" && path.extension() != ".h")) continue;
      if (path.filename() == "project_rules.h") continue;
      ++files;
      std::ifstream in(path);
      std::string line;
      for (int number = 1; std::getline(in, line); ++number) {
        if (std::regex_search(line, bare)) found += path.string() + ":" + std::to_string(number) + ": " + line + "\n";
      }
    }
  }
  EXPECT_GT(files, 100);  // the tree was found
  EXPECT_EQ(found, "");
}

}  // namespace
}  // namespace upwend
