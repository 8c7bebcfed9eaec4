// The role rules and the folder scan: which file fills which role, and which one wins.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/unit/app/support/test_product.h"
#include "tests/unit/app/images/image_support.h"

namespace upwend::testing {
namespace {

namespace fs = std::filesystem;

RoleMatch::Kind KindOf(const char* name, const DownloadOptions& options = {}) {
  return MatchImageRole(name, options).kind;
}

TEST(ImageRoleRules, NamesMatchInAnyLetterCaseAndTheFirstRuleDecides) {
  DownloadOptions none;
  EXPECT_EQ(MatchImageRole("SBL1.MBN", none).role, ImageRole::Sbl1);
  EXPECT_EQ(MatchImageRole("zImage", none).role, ImageRole::ZImage);
  EXPECT_EQ(MatchImageRole("zImage_recovery", none).role, ImageRole::ZImageRecovery);
  EXPECT_EQ(MatchImageRole("Partition.mbn", none).role, ImageRole::Partition);
  EXPECT_EQ(MatchImageRole("all.mbn", none).role, ImageRole::Phone);
  // The hex rule comes first and is a "contains" test.
  EXPECT_EQ(KindOf("NPRG9x15.HEX"), RoleMatch::Kind::Hex);
  EXPECT_EQ(KindOf("partition.mbn.hex"), RoleMatch::Kind::Hex);
  EXPECT_EQ(KindOf("firmware.hexdump"), RoleMatch::Kind::Hex);
  // Exact rules do not match longer names; unknown names are ignored.
  EXPECT_EQ(KindOf("apps.mbn.old"), RoleMatch::Kind::None);
  EXPECT_EQ(KindOf("Config.ini"), RoleMatch::Kind::None);
  EXPECT_EQ(KindOf("HexToBin.dll"), RoleMatch::Kind::None);
  EXPECT_EQ(KindOf(""), RoleMatch::Kind::None);
}

TEST(ImageRoleRules, PcSuiteNamesNeedTheirMediumAndAreConsumedOtherwise) {
  DownloadOptions cdrom;
  cdrom.bCDROM = true;
  DownloadOptions disk;
  disk.bDISK = true;
  DownloadOptions res;
  res.bResImage = true;
  EXPECT_EQ(MatchImageRole("CDROM.iso", cdrom).role, ImageRole::PcSuite);
  EXPECT_EQ(MatchImageRole("autorun_iso_v2.bin", cdrom).role, ImageRole::PcSuite);
  EXPECT_EQ(KindOf("CDROM.iso", disk), RoleMatch::Kind::Consumed);
  EXPECT_EQ(KindOf("ImageEmpty.ISO", cdrom), RoleMatch::Kind::None);
  EXPECT_EQ(MatchImageRole("FAT16.IMA", disk).role, ImageRole::PcSuite);
  EXPECT_EQ(KindOf("FATEMPTY.ima", disk), RoleMatch::Kind::None);
  EXPECT_EQ(KindOf("FAT16.IMA", cdrom), RoleMatch::Kind::Consumed);
  EXPECT_EQ(MatchImageRole("ResImage", res).role, ImageRole::PcSuite);
  EXPECT_EQ(KindOf("resimage", cdrom), RoleMatch::Kind::Consumed);
  // A consumed name is not tested further: "iso" comes before the exact names.
  EXPECT_EQ(KindOf("qcsbl.mbn", cdrom), RoleMatch::Kind::Role);
}

using ScanTest = ImageFolderTest;

TEST_F(ScanTest, NestedFoldersAreScannedDepthFirstAndTheLastFileMetWins) {
  Put("apps.mbn", "top");
  Put("b/apps.mbn", "b");
  Put("a/deeper/still/boot.img", "boot");
  Put("a/APPS.MBN", "a");
  ImageSet set;
  ScanImageFolder(Context(), images_ + "/", set);
  // Name order: "a/" (and all below it), "apps.mbn", "b/": the one in b is met last.
  EXPECT_EQ(set.Path(ImageRole::Apps), images_ + "/b/apps.mbn");
  EXPECT_EQ(set.Path(ImageRole::BootImage), images_ + "/a/deeper/still/boot.img");

  fs::remove_all(images_ + "/b");
  ImageSet again;
  ScanImageFolder(Context(), images_ + "/", again);
  EXPECT_EQ(again.Path(ImageRole::Apps), images_ + "/apps.mbn");
}

TEST_F(ScanTest, ALinkedFolderIsNotEnteredSoALoopEnds) {
  Put("real/rpm.mbn", "rpm");
  std::error_code error;
  fs::create_directory_symlink(images_ + "/real", images_ + "/linked", error);
  if (error) GTEST_SKIP() << "the system cannot make folder links here (Wine): " << error.message();
  fs::create_directory_symlink(images_, images_ + "/real/loop");
  ImageSet set;
  ScanImageFolder(Context(), images_ + "/", set);
  EXPECT_EQ(set.Path(ImageRole::Rpm), images_ + "/real/rpm.mbn");
}

TEST_F(ScanTest, EveryHexFileIsConvertedBesideItselfAndTheLastSuccessIsTheFlashProgrammer) {
  Put("NPRG9x15.HEX", KnownHex());
  Put("z/old.prog.hex", "not a hex file\r\n");
  ImageSet set;
  ScanImageFolder(Context(), images_ + "/", set);
  // X.HEX gives X.BIN, the name cut after its first "."; the broken one after it keeps the first.
  EXPECT_EQ(set.Path(ImageRole::FlashProgrammer), images_ + "/NPRG9x15.BIN");
  EXPECT_EQ(ReadFile(images_ + "/NPRG9x15.BIN"), KnownBin());
  EXPECT_FALSE(fs::exists(images_ + "/z/old.BIN"));
  EXPECT_EQ(Messages(), std::vector<std::string>{"[ERROR] switch hex to bin failed!"});
}

}  // namespace
}  // namespace upwend::testing
