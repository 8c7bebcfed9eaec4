#include "tests/unit/app/images/image_support.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "tests/unit/app/support/test_product.h"

namespace upwend::testing {

namespace fs = std::filesystem;

std::string HexRecord(uint8_t type, uint16_t address, const std::vector<uint8_t>& data) {
  unsigned sum = static_cast<unsigned>(data.size()) + (address >> 8) + (address & 0xFF) + type;
  char buf[16];
  std::snprintf(buf, sizeof buf, ":%02X%04X%02X", static_cast<unsigned>(data.size()), address, type);
  std::string line = buf;
  for (uint8_t b : data) {
    std::snprintf(buf, sizeof buf, "%02X", b);
    line += buf;
    sum += b;
  }
  std::snprintf(buf, sizeof buf, "%02X\r\n", (0x100 - (sum & 0xFF)) & 0xFF);
  return line + buf;
}

std::string KnownHex() {
  return HexRecord(0x04, 0, {0x08, 0x00}) + HexRecord(0x00, 0x0000, {1, 2, 3, 4}) +
         HexRecord(0x00, 0x0008, {0xAA, 0xBB}) + HexRecord(0x01, 0, {});
}

std::string KnownBin() { return std::string("\x01\x02\x03\x04\xFF\xFF\xFF\xFF\xAA\xBB", 10); }

void ImageFolderTest::SetUp() {
  dir_ = FreshTestDir();
  images_ = dir_ + "/images";
  work_ = dir_ + "/work";
  backup_ = dir_ + "/backup";
  for (const auto& d : {images_, work_, backup_}) fs::create_directories(d);
  fs::copy_file(UPWEND_HEXTOBIN_DLL, work_ + "/HexToBin.dll");
}

std::string ImageFolderTest::Put(const std::string& rel, const std::string& bytes) {
  std::string path = images_ + "/" + rel;
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

std::string ImageFolderTest::PutSized(const std::string& rel, uint64_t size) {
  std::string path = Put(rel, "");
  fs::resize_file(path, size);
  return path;
}

ImageSet ImageFolderTest::Verify(const std::string& folder) { return VerifyImageFolder(Context(), folder, rows_); }

std::vector<std::string> ImageFolderTest::Messages() const {
  std::vector<std::string> out;
  for (const auto& m : dialogs_.shown()) out.push_back("[" + m.caption + "] " + m.text);
  return out;
}

std::vector<std::string> ImageFolderTest::RowPaths() const {
  std::vector<std::string> out;
  for (const auto& row : rows_) {
    EXPECT_TRUE(row.checked);
    out.push_back(row.location + row.fileName);
  }
  return out;
}

}  // namespace upwend::testing
