// SCSICMD as DoShiftDevice reads it, and the bulk-only transport wrappers it sends.
#include <gtest/gtest.h>

#include "tools/helpers/scsi_command.h"

namespace upwend::helpers {
namespace {

std::vector<uint8_t> Cdb(std::initializer_list<uint8_t> b) { return b; }

TEST(ScsiCommandTest, AWholeWrapperGivesItsCommandBlockAndTag) {
  std::string error;
  // The form product builds carry: a 31-byte wrapper with a 6-byte command.
  auto c = ParseScsiCommand("55534243123456780000000000000611062000000000000000000000000000", error);
  ASSERT_TRUE(c) << error;
  EXPECT_EQ(c->cdb, Cdb({0x11, 0x06, 0x20, 0x00, 0x00, 0x00}));
  EXPECT_EQ(c->tag, 0x78563412u);

  auto cbw = BuildCbw(*c);
  EXPECT_EQ(std::string(cbw.begin(), cbw.begin() + 4), "USBC");
  EXPECT_EQ(cbw[4], 0x12);
  EXPECT_EQ(cbw[8] | cbw[9] | cbw[10] | cbw[11] | cbw[12] | cbw[13], 0);  // no data phase, LUN 0
  EXPECT_EQ(cbw[14], 6);
  EXPECT_EQ(cbw[15], 0x11);
  EXPECT_EQ(cbw[20], 0x00);
  EXPECT_EQ(cbw[30], 0x00);
}

TEST(ScsiCommandTest, ABareCommandBlockInEitherCaseWithBlanks) {
  std::string error;
  auto c = ParseScsiCommand(" 1b 00 00 00 0A 00 ", error);
  ASSERT_TRUE(c) << error;
  EXPECT_EQ(c->cdb, Cdb({0x1B, 0, 0, 0, 0x0A, 0}));
  EXPECT_EQ(c->tag, 1u);
  auto sixteen = ParseScsiCommand(std::string(32, 'f'), error);
  ASSERT_TRUE(sixteen);
  EXPECT_EQ(BuildCbw(*sixteen)[14], 16);
}

TEST(ScsiCommandTest, TextThatIsNoCommandIsRefusedWithAReason) {
  const std::vector<std::pair<std::string, std::string>> bad = {
      {"", "empty"},
      {"11062G", "not hexadecimal"},
      {"0x1106", "not hexadecimal"},
      {"110", "odd number"},
      {std::string(34, '0'), "longer than a command block"},
      {"5553424312345678000000000000001106200000000000000000000000000000", "longer than a command block"},  // 32 bytes
      {"55534243123456780000000000000011062000000000000000000000000000", "command length of 0"},
      {"55534243123456780000000000001111062000000000000000000000000000", "command length of 17"},
      {std::string("11\0" "06", 5), "not hexadecimal"},
  };
  for (const auto& [text, reason] : bad) {
    std::string error;
    EXPECT_FALSE(ParseScsiCommand(text, error)) << text;
    EXPECT_NE(error.find(reason), std::string::npos) << text << ": " << error;
  }
}

TEST(ScsiCommandTest, AStatusCountsOnlyForItsOwnTag) {
  const uint8_t passed[13] = {'U', 'S', 'B', 'S', 0x12, 0x34, 0x56, 0x78, 0, 0, 0, 0, 0};
  const uint8_t failed[13] = {'U', 'S', 'B', 'S', 0x12, 0x34, 0x56, 0x78, 0, 0, 0, 0, 1};
  EXPECT_EQ(CswStatus(passed, 13, 0x78563412u), 0);
  EXPECT_EQ(CswStatus(failed, 13, 0x78563412u), 1);
  EXPECT_FALSE(CswStatus(passed, 13, 1));
  EXPECT_FALSE(CswStatus(passed, 12, 0x78563412u));
  const uint8_t noSignature[13] = {'U', 'S', 'B', 'C', 0x12, 0x34, 0x56, 0x78, 0, 0, 0, 0, 0};
  EXPECT_FALSE(CswStatus(noSignature, 13, 0x78563412u));
}

}  // namespace
}  // namespace upwend::helpers
