// ConvertHexToBin against the built HexToBin.dll: known images, faulty hex files, and a
// library that is missing, broken or lacks its entry point.
#include "app/images/hex_conversion.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cctype>
#include <filesystem>
#include <fstream>

#include "tests/unit/app/support/test_product.h"
#include "tests/unit/app/images/image_support.h"

namespace upwend::testing {
namespace {

namespace fs = std::filesystem;

class HexConversionTest : public ImageFolderTest {
protected:
  bool Convert(const std::string& hex) { return ConvertHexToBin(hex, bin_, work_, dialogs_); }
  unsigned LastFlags() const { return dialogs_.shown().back().flags; }
  std::string bin_ = "";

  void SetUp() override {
    ImageFolderTest::SetUp();
    bin_ = images_ + "/out.BIN";
  }
};

TEST_F(HexConversionTest, KnownImagesConvertByteForByte) {
  EXPECT_TRUE(Convert(Put("known.hex", KnownHex())));
  EXPECT_EQ(ReadFile(bin_), KnownBin());
  // Segment addressing and lower-case digits.
  std::string segmented = HexRecord(0x02, 0, {0x10, 0x00}) + HexRecord(0x00, 0x0004, {0xde, 0xad}) +
                          HexRecord(0x00, 0x0000, {0x11}) + HexRecord(0x01, 0, {});
  for (char& ch : segmented) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  EXPECT_TRUE(Convert(Put("seg.hex", segmented)));
  EXPECT_EQ(ReadFile(bin_), std::string("\x11\xFF\xFF\xFF\xDE\xAD", 6));
  EXPECT_TRUE(Messages().empty());
}

TEST_F(HexConversionTest, FaultyHexFilesFailWithTheConversionMessageAndLeaveTheOldBin) {
  std::string record = HexRecord(0x00, 0, {1, 2, 3, 4});
  std::string badChecksum = record;
  badChecksum[record.size() - 3] = badChecksum[record.size() - 3] == '0' ? '1' : '0';
  const std::vector<std::pair<const char*, std::string>> faulty = {
      {"malformed", "this is not a hex file at all\r\n"},
      {"bad checksum", badChecksum + HexRecord(0x01, 0, {})},
      {"overlapping records", record + HexRecord(0x00, 2, {9, 9}) + HexRecord(0x01, 0, {})},
      {"no end record", record},
      {"shorter than the probe", ":00000001FF"},
      {"empty", ""},
  };
  std::ofstream(bin_) << "previous";
  for (const auto& [name, text] : faulty) {
    SCOPED_TRACE(name);
    size_t before = dialogs_.shown().size();
    EXPECT_FALSE(Convert(Put("bad.hex", text)));
    ASSERT_EQ(dialogs_.shown().size(), before + 1);
    EXPECT_EQ(Messages().back(), "[ERROR] switch hex to bin failed!");
    EXPECT_EQ(LastFlags(), kMbOk | kMbIconWarning);
    EXPECT_EQ(ReadFile(bin_), "previous");
  }
}

TEST_F(HexConversionTest, AHexFileThatCannotBeOpenedOrReadNeverReachesTheLibrary) {
  fs::remove(work_ + "/HexToBin.dll");
  EXPECT_FALSE(Convert(images_ + "/absent.hex"));
  EXPECT_EQ(Messages().back(), "[ERROR] Read hex file failed(INVALID_HANDLE)!");
  EXPECT_EQ(LastFlags(), kMbOk);
  fs::create_directories(images_ + "/folder.hex");
  EXPECT_FALSE(Convert(images_ + "/folder.hex"));
#ifdef _WIN32
  // Windows cannot open a folder as a file at all.
  EXPECT_EQ(Messages().back(), "[ERROR] Read hex file failed(INVALID_HANDLE)!");
#else
  EXPECT_EQ(Messages().back(), "[ERROR] Read hex file failed!");
#endif
  EXPECT_EQ(dialogs_.shown().size(), 2u);
#ifndef _WIN32
  // A pipe with no writer would block a reader for ever (Windows keeps no pipes among files).
  ASSERT_EQ(::mkfifo((images_ + "/pipe.hex").c_str(), 0600), 0);
  EXPECT_FALSE(Convert(images_ + "/pipe.hex"));
  EXPECT_EQ(Messages().back(), "[ERROR] Read hex file failed!");
  EXPECT_EQ(dialogs_.shown().size(), 3u);
#endif
}

TEST_F(HexConversionTest, AMissingBrokenOrIncompleteLibraryFailsTheConversion) {
  std::string hex = Put("known.hex", KnownHex());
  fs::remove(work_ + "/HexToBin.dll");
  EXPECT_FALSE(Convert(hex));
  EXPECT_EQ(Messages().back(), "[ERROR] Load library failed [HexToBin.dll]!");
  EXPECT_EQ(LastFlags(), kMbOk | kMbIconWarning);

  std::ofstream(work_ + "/HexToBin.dll") << "upwend placeholder for HexToBin.dll";
  EXPECT_FALSE(Convert(hex));
  EXPECT_EQ(Messages().back(), "[ERROR] Load library failed [HexToBin.dll]!");

  fs::remove(work_ + "/HexToBin.dll");
  fs::copy_file(UPWEND_NO_ENTRY_DLL, work_ + "/HexToBin.dll");
  EXPECT_FALSE(Convert(hex));
  EXPECT_EQ(Messages().back(), "[ERROR] switch hex to bin failed!");
  EXPECT_FALSE(fs::exists(bin_));
}

}  // namespace
}  // namespace upwend::testing
