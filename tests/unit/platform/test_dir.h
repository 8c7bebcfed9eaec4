#pragma once
// A fresh folder below UPWEND_HOME (set by CTest) for one test.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace upwend::testing {

inline std::string FreshTestDir() {
  const char* home = std::getenv("UPWEND_HOME");
  std::string base = home ? home : "/tmp/upwend-test-home";
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string dir = base + "/" + info->test_suite_name() + "." + info->name();
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

}  // namespace upwend::testing
