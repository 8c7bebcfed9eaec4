// HexToBin.dll as the tool uses it: loaded by path, the entry point looked up by name. One source
// for both systems: the Windows build runs it against its own HexToBin.dll under Wine.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "abi/hex_to_bin.h"
#include "platform/dynamic_library.h"
#include "tests/unit/platform/test_dir.h"

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary);
  out << data;
}

class HexToBinDllTest : public ::testing::Test {
protected:
  void SetUp() override {
    std::string why;
    lib_ = upwend::DynamicLibrary::Load(UPWEND_HEXTOBIN_DLL, why);
    ASSERT_NE(lib_, nullptr) << why;
    convert_ = lib_->Function<HexToBinFn>("HexToBin");
    lastError_ = lib_->Function<HexToBinLastErrorFn>("HexToBinLastError");
    ASSERT_NE(convert_, nullptr);
    ASSERT_NE(lastError_, nullptr);
    dir_ = upwend::testing::FreshTestDir();
  }

  std::unique_ptr<upwend::DynamicLibrary> lib_;
  HexToBinFn convert_ = nullptr;
  HexToBinLastErrorFn lastError_ = nullptr;
  // A file in the test's own folder.
  std::string At(const std::string& name) const { return dir_ + "/" + name; }

  std::string dir_;
};

TEST_F(HexToBinDllTest, ReproducesAnImageEncodedByAnIndependentTool) {
  // objcopy wrote the library's own bytes from 0x0800fff0 on, with extended linear address
  // records at every 64 KiB boundary; our reader must invert it byte for byte.
  const std::string image = ReadFile(UPWEND_HEXTOBIN_DLL);
  ASSERT_GT(image.size(), 64u * 1024);
  std::string bin = At("prog.bin");
  ASSERT_NE(convert_(UPWEND_HEXTOBIN_OBJCOPY_HEX, bin.c_str()), 0) << lastError_();
  EXPECT_STREQ(lastError_(), "");
  EXPECT_TRUE(ReadFile(bin) == image);
  for (const auto& entry : fs::directory_iterator(dir_)) {
    EXPECT_EQ(entry.path().string().find(".part"), std::string::npos) << "temporary file left: " << entry.path();
  }
}

TEST_F(HexToBinDllTest, FailedConversionWritesNoBinAndSaysWhy) {
  std::string bin = At("out.bin");
  WriteFile(At("bad.hex"), ":0400000001020304F1\n:00000001FF\n");  // checksum should be F2
  EXPECT_EQ(convert_(At("bad.hex").c_str(), bin.c_str()), 0);
  EXPECT_NE(std::string(lastError_()).find("checksum"), std::string::npos) << lastError_();
  EXPECT_FALSE(fs::exists(bin));

  // A BIN from an earlier good conversion is neither replaced by a partial one nor truncated.
  WriteFile(bin, "previous");
  EXPECT_EQ(convert_(At("bad.hex").c_str(), bin.c_str()), 0);
  EXPECT_EQ(ReadFile(bin), "previous");

  EXPECT_EQ(convert_(At("missing.hex").c_str(), bin.c_str()), 0);
  EXPECT_NE(std::string(lastError_()).find("cannot open"), std::string::npos);
  EXPECT_EQ(convert_(nullptr, bin.c_str()), 0);
  EXPECT_EQ(convert_(At("bad.hex").c_str(), nullptr), 0);

  WriteFile(At("good.hex"), ":0400000001020304F2\n:00000001FF\n");
  EXPECT_EQ(convert_(At("good.hex").c_str(), At("no-such-dir/x.bin").c_str()), 0);
  EXPECT_NE(std::string(lastError_()).find("cannot create"), std::string::npos) << lastError_();
  ASSERT_NE(convert_(At("good.hex").c_str(), bin.c_str()), 0);
  EXPECT_EQ(ReadFile(bin), std::string("\x01\x02\x03\x04"));
}

}  // namespace
