#pragma once
// SHA-256 for the state dump's partition hashes (FIPS 180-4).
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace upwend::sim {

class Sha256 {
public:
  Sha256();
  void Update(const uint8_t* data, size_t len);
  std::array<uint8_t, 32> Finish();
  static std::string Hex(const std::array<uint8_t, 32>& digest);

private:
  void Block(const uint8_t* p);
  uint32_t h_[8];
  uint8_t buf_[64];
  size_t used_ = 0;
  uint64_t total_ = 0;
};

// Hex SHA-256 of a file's content; empty when it cannot be read.
std::string Sha256File(const std::string& path);

}  // namespace upwend::sim
