#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "platform/file_io.h"

namespace upwend {
namespace {

namespace fs = std::filesystem;

std::string Generate(const std::string& dir) {
  fs::remove_all(dir);
  std::string cmd = std::string(UPWEND_IMAGEGEN) + " --out " + dir + " --placeholder QMSL_MSVC10R.dll";
  EXPECT_EQ(std::system(cmd.c_str()), 0);
  return dir;
}

TEST(ImageGeneratorTest, ImagesAreReproducibleSizedAndNeverBlank) {
  std::string home = std::getenv("UPWEND_HOME");
  std::string a = Generate(home + "/gen-a");
  std::string b = Generate(home + "/gen-b");
  bool large = false;
  size_t count = 0;
  for (const auto& e : fs::directory_iterator(a + "/images")) {
    ++count;
    std::string name = e.path().filename().string();
    auto bytesA = ReadWholeFile(e.path().string());
    auto bytesB = ReadWholeFile(b + "/images/" + name);
    ASSERT_TRUE(bytesA && bytesB) << name;
    EXPECT_EQ(*bytesA, *bytesB) << name << " differs between two runs";
    EXPECT_NE(bytesA->find_first_not_of('\0'), std::string::npos) << name << " is blank";
    EXPECT_LT(bytesA->size(), size_t{4} << 20) << name;
    large |= bytesA->size() > (size_t{1} << 20);
  }
  EXPECT_EQ(count, 12u);
  EXPECT_TRUE(large);
  EXPECT_TRUE(fs::is_regular_file(a + "/helpers/QMSL_MSVC10R.dll"));
}

TEST(ImageGeneratorTest, FlashProgrammerIsValidIntelHex) {
  std::string dir = Generate(std::string(std::getenv("UPWEND_HOME")) + "/gen-hex");
  auto text = ReadWholeFile(dir + "/images/nprg9x15.hex");
  ASSERT_TRUE(text);
  std::istringstream lines(*text);
  std::string line;
  int data = 0;
  bool ended = false;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    ASSERT_FALSE(ended) << "records after the end record";
    ASSERT_GE(line.size(), 11u);
    ASSERT_EQ(line[0], ':');
    unsigned sum = 0;
    for (size_t i = 1; i + 1 < line.size(); i += 2) sum += std::stoul(line.substr(i, 2), nullptr, 16);
    EXPECT_EQ(sum & 0xFF, 0u) << line;
    unsigned len = std::stoul(line.substr(1, 2), nullptr, 16);
    EXPECT_EQ(line.size(), 11u + 2 * len) << line;
    std::string type = line.substr(7, 2);
    if (type == "00") ++data;
    if (type == "01") ended = true;
  }
  EXPECT_TRUE(ended);
  EXPECT_EQ(data, 1024);
}

}  // namespace
}  // namespace upwend
