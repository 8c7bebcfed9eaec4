#pragma once
// Helpers shared by the simulator's unit tests.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "sim/faults.h"
#include "sim/state_store.h"

namespace upwend::sim::testing {

// A fresh folder below the test's UPWEND_HOME (or the temporary folder), removed afterwards.
class TempDir {
public:
  explicit TempDir(const std::string& name) {
    const char* home = std::getenv("UPWEND_HOME");
    std::filesystem::path base = home ? home : std::filesystem::temp_directory_path().string();
    path_ = base / ("sim-" + name + "-" + std::to_string(getpid()) + "-" + std::to_string(counter_++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string Path() const { return path_.string(); }

private:
  static inline int counter_ = 0;
  std::filesystem::path path_;
};

// The fixture of the tests that run one of the device's services: the device's state, opened in
// a fresh folder with the given seed, and its fault switches, all off.
class DeviceStateTest : public ::testing::Test {
protected:
  DeviceStateTest(const std::string& name, uint32_t seed) : dir_(name), seed_(seed) {}
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(state_.Open(dir_.Path(), seed_, error)) << error;
  }

  TempDir dir_;
  StateStore state_;
  FaultSet faults_;

private:
  uint32_t seed_;
};

inline std::vector<uint8_t> B(std::initializer_list<int> bytes) {
  std::vector<uint8_t> out;
  for (int b : bytes) out.push_back(static_cast<uint8_t>(b));
  return out;
}

}  // namespace upwend::sim::testing
