#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tools/hextobin/intel_hex.h"

namespace upwend::hex {
namespace {

// One record with its checksum, as an encoder would write it.
std::string Rec(uint8_t type, uint16_t address, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> bytes{static_cast<uint8_t>(data.size()), static_cast<uint8_t>(address >> 8),
                             static_cast<uint8_t>(address & 0xFF), type};
  bytes.insert(bytes.end(), data.begin(), data.end());
  uint8_t sum = 0;
  for (uint8_t b : bytes) sum = static_cast<uint8_t>(sum + b);
  bytes.push_back(static_cast<uint8_t>(-sum));
  std::string line = ":";
  static const char* kDigits = "0123456789ABCDEF";
  for (uint8_t b : bytes) {
    line += kDigits[b >> 4];
    line += kDigits[b & 15];
  }
  return line + "\n";
}

const std::string kEof = ":00000001FF\n";

TEST(IntelHexTest, ClassicRecordsDecodeToTheirBytes) {
  // A well-known sample: 16 bytes at 0x0100, written with lower-case digits and CRLF endings.
  auto image = ParseIntelHex(":10010000214601360121470136007efe09d2190140\r\n:00000001ff\r\n");
  ASSERT_TRUE(image) << image.error();
  EXPECT_EQ(image->baseAddress, 0x0100u);
  std::vector<uint8_t> expected{0x21, 0x46, 0x01, 0x36, 0x01, 0x21, 0x47, 0x01,
                                0x36, 0x00, 0x7E, 0xFE, 0x09, 0xD2, 0x19, 0x01};
  EXPECT_EQ(image->bytes, expected);
}

TEST(IntelHexTest, ImageStartsAtLowestAddressAndGapsAreErased) {
  // Records out of order, a linear base, start records that must not add bytes, blank lines.
  std::string text = Rec(4, 0, {0x08, 0x00}) + Rec(0, 0x0010, {0xAA, 0xBB}) + "\n" + Rec(5, 0, {8, 0, 0, 0}) +
                     Rec(3, 0, {0, 0, 0, 0}) + Rec(0, 0x0004, {0x11, 0x22, 0x33}) + kEof;
  auto image = ParseIntelHex(text);
  ASSERT_TRUE(image) << image.error();
  EXPECT_EQ(image->baseAddress, 0x08000004u);
  std::vector<uint8_t> expected{0x11, 0x22, 0x33, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xAA, 0xBB};
  EXPECT_EQ(image->bytes, expected);
}

TEST(IntelHexTest, SegmentAddressingWrapsInsideItsSegmentButLinearDoesNot) {
  // Segment 0x1000 => base 0x10000. Four bytes at offset 0xFFFE: two at the top, two wrap to 0.
  auto seg = ParseIntelHex(Rec(2, 0, {0x10, 0x00}) + Rec(0, 0xFFFE, {1, 2, 3, 4}) + kEof);
  ASSERT_TRUE(seg) << seg.error();
  EXPECT_EQ(seg->baseAddress, 0x10000u);
  ASSERT_EQ(seg->bytes.size(), 0x10000u);
  EXPECT_EQ(seg->bytes[0], 3);
  EXPECT_EQ(seg->bytes[1], 4);
  EXPECT_EQ(seg->bytes[2], 0xFF);
  EXPECT_EQ(seg->bytes[0xFFFE], 1);
  EXPECT_EQ(seg->bytes[0xFFFF], 2);

  // The same record under a linear base runs on into the next 64 KiB.
  auto lin = ParseIntelHex(Rec(4, 0, {0x00, 0x01}) + Rec(0, 0xFFFE, {1, 2, 3, 4}) + kEof);
  ASSERT_TRUE(lin) << lin.error();
  EXPECT_EQ(lin->baseAddress, 0x1FFFEu);
  EXPECT_EQ(lin->bytes, (std::vector<uint8_t>{1, 2, 3, 4}));
}

TEST(IntelHexTest, ContentAfterEndOfFileIsIgnored) {
  auto image = ParseIntelHex(Rec(0, 0, {7}) + kEof + "trailing junk\x01\x02");
  ASSERT_TRUE(image) << image.error();
  EXPECT_EQ(image->bytes, std::vector<uint8_t>{7});
}

TEST(IntelHexTest, MalformedFilesAreRejectedWithTheReason) {
  std::string good = Rec(0, 0x0000, {1, 2, 3, 4});
  std::string badChecksum = good;
  badChecksum[badChecksum.size() - 2] = badChecksum[badChecksum.size() - 2] == '0' ? '1' : '0';
  struct Case {
    const char* name;
    std::string text;
    const char* reason;
  } cases[] = {
      {"bad checksum", badChecksum + kEof, "line 1: checksum mismatch"},
      {"same address twice", good + Rec(0, 0x0000, {1, 2, 3, 4}) + kEof, "line 2: data at address 00000000 overlaps"},
      {"partial overlap", good + Rec(0, 0x0003, {9, 9}) + kEof, "overlaps"},
      {"overlap via segment and linear bases", Rec(0, 0x0010, {1}) + Rec(2, 0, {0, 1}) + Rec(0, 0, {2}) + kEof, "overlaps"},
      {"no end-of-file record", good, "missing end-of-file"},
      {"odd digit count", ":0100000001FE0\n" + kEof, "odd number"},
      {"bad digit", ":01000000G1FE\n" + kEof, "invalid hex digit"},
      {"count larger than data", ":0500000001FA\n" + kEof, "does not match"},
      {"record too short", ":0000\n" + kEof, "too short"},
      {"missing colon", "0100000001FE\n" + kEof, "does not start with ':'"},
      {"unknown record type", Rec(6, 0, {}) + kEof, "unknown record type 06"},
      {"address record of wrong size", Rec(4, 0, {1}) + kEof, "needs 2 data bytes"},
      {"end record with data", Rec(0, 0, {1}) + Rec(1, 0, {1}), "needs 0 data bytes"},
      {"no data at all", kEof, "no data records"},
      {"empty file", "", "missing end-of-file"},
      {"binary garbage", std::string("\x7f" "ELF\x00\x01\x02", 7), "line 1"},
  };
  for (const Case& c : cases) {
    auto image = ParseIntelHex(c.text);
    ASSERT_FALSE(image) << c.name;
    EXPECT_NE(image.error().find(c.reason), std::string::npos) << c.name << ": " << image.error();
  }
}

TEST(IntelHexTest, ImagesSpanningMoreThanTheLimitAreRefused) {
  // Two bytes 4 GiB apart would otherwise become a 4 GiB file of 0xFF.
  std::string text = Rec(0, 0, {1}) + Rec(4, 0, {0xFF, 0xFF}) + Rec(0, 0xFFFF, {2}) + kEof;
  auto image = ParseIntelHex(text);
  ASSERT_FALSE(image);
  EXPECT_NE(image.error().find("more than the limit"), std::string::npos) << image.error();
  auto small = ParseIntelHex(Rec(0, 0, {1}) + Rec(0, 0x0100, {2}) + kEof, 0x100);
  EXPECT_FALSE(small);
  auto fits = ParseIntelHex(Rec(0, 0, {1}) + Rec(0, 0x00FF, {2}) + kEof, 0x100);
  ASSERT_TRUE(fits) << fits.error();
  EXPECT_EQ(fits->bytes.size(), 0x100u);
}

}  // namespace
}  // namespace upwend::hex
