// The checks: which files the options need, the messages, the limits, the rows and the sizes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>

#include "engine/worker/run_parameters.h"
#include "tests/unit/app/images/image_support.h"

namespace upwend::testing {
namespace {

namespace fs = std::filesystem;

using ImageChecksTest = ImageFolderTest;

constexpr uint64_t kMiB = 1024 * 1024;

TEST_F(ImageChecksTest, NothingToCheckLeavesTheListEmptyWithoutAMessage) {
  Put("apps.mbn", "x");
  ImageSet empty = Verify("");
  EXPECT_FALSE(empty.verified);
  ImageSet none = Verify();
  EXPECT_TRUE(none.verified);
  EXPECT_EQ(none.totalSize, 0u);
  EXPECT_TRUE(rows_.empty());
  EXPECT_TRUE(Messages().empty());
}

TEST_F(ImageChecksTest, RestoreWithoutBackupNeedsTheBackupFilesFirst) {
  config_.options.bRestore = true;
  config_.networkType = 1;  // NV items saved over DIAG, in nv.bak
  rows_.push_back({"stale", "/", true});
  Verify();
  EXPECT_EQ(Messages(), std::vector<std::string>{"[Upwend_QCOMM] Error: File " + images_ + "/at.bak does not exist!\n"});
  EXPECT_TRUE(rows_.empty());

  Put("at.bak", "[BACKUP]\n");
  Put("nv.bak", std::string(130, '\0'));
  config_.options.bRpmBootloader = true;
  Put("rpm.mbn", "rpm");
  ImageSet set = Verify();
  EXPECT_TRUE(set.verified);
  EXPECT_EQ(RowPaths(), (std::vector<std::string>{images_ + "/at.bak", images_ + "/nv.bak", images_ + "/rpm.mbn"}));
  EXPECT_EQ(set.totalSize, 3u);
}

TEST_F(ImageChecksTest, NvBakIsNeededOnlyWhereTheNvItemsAreSavedInIt) {
  config_.options.bRestore = true;
  Put("at.bak", "[BACKUP]\n");
  EXPECT_TRUE(Verify().verified);  // the QMSL path keeps its items beside the EFS copies
  config_.networkType = 2;
  Verify();
  EXPECT_EQ(Messages().back(), "[Upwend_QCOMM] Error: File " + images_ + "/nv.bak does not exist!\n");
}

TEST_F(ImageChecksTest, AResumedRunTakesTheBackupFilesFromTheBackupFolder) {
  config_.options.bRestore = true;
  config_.networkType = 1;
  Put("at.bak", "in the image folder");
  Put("nv.bak", "in the image folder");
  resuming_ = true;
  ImageSet set = Verify();
  EXPECT_EQ(set.atBakPath, backup_ + "/at.bak");
  EXPECT_EQ(set.nvBakPath, backup_ + "/nv.bak");
  EXPECT_EQ(Messages(), std::vector<std::string>{"[Upwend_QCOMM] Error: File " + backup_ + "/at.bak does not exist!\n"});

  std::ofstream(backup_ + "/at.bak") << "a";
  std::ofstream(backup_ + "/nv.bak") << "n";
  EXPECT_TRUE(Verify().verified);
  EXPECT_EQ(RowPaths(), (std::vector<std::string>{backup_ + "/at.bak", backup_ + "/nv.bak"}));

  resuming_ = false;
  EXPECT_EQ(Verify().atBakPath, images_ + "/at.bak");
}

// One image at, below and above its limit, and missing.
struct LimitCase {
  const char* name;
  std::function<void(ProductConfig&)> enable;
  const char* file;
  uint64_t limit;
  const char* missingPrefix;
  const char* sizePrefix;
  bool listFile = false;  // named by the configuration, not found by the scan
};

TEST_F(ImageChecksTest, EveryLimitAcceptsOneByteBelowItAndRejectsItsOwnSizeAndAnEmptyFile) {
  const std::vector<LimitCase> cases = {
      {"partition", [](ProductConfig& c) { c.options.bPhoneImage = true; }, "partition.mbn", 1024,
       "Error:partition file ", "Error:partition file "},
      {"oem header", [](ProductConfig& c) { c.options.bBootloader = true; }, "oemsblhd.mbn", 512, "Error:Oemh file ",
       "Error:Oemhd file "},
      {"apps boot header", [](ProductConfig& c) { c.options.bAppsImageAndBootloader = true; }, "appsboothd.mbn", 512,
       "Error: File ", "Error: File "},
      {"amss", [](ProductConfig& c) { c.options.bAMSSFile = true; }, "amss.mbn", 100 * kMiB, "Error:AMss file ",
       "Error:Amss file "},
      {"fsbl", [](ProductConfig& c) {
         c.options.bBootloader = true;
         c.projectType = 45;
       }, "fsbl.mbn", 100 * kMiB,
       "Error:Fsbl file ", "Error:Fsbl ile "},
      {"system", [](ProductConfig& c) { c.options.bFastbootSystemImage = true; }, "system.img", 200 * kMiB,
       "Error:system File ", "Error: File "},
      {"pc suite", [](ProductConfig& c) { c.options.bCDROM = c.options.pcSuite = true; }, "CDROM.iso", 240 * kMiB,
       "Error:PCSuit file ", "Error:PCSuit file "},
      {"fastboot list", [](ProductConfig& c) { c.options.bFastbootConfiguration = true; }, "modem.ubi", 500 * kMiB,
       "Error: File ", "Error: File ", true},
      {"add file", [](ProductConfig& c) { c.options.bPartOfEFS = true; }, "pref.xml", 200 * kMiB, "Error: File ",
       "Error: File ", true},
  };
  // Everything that the options need besides the file under test, in place and valid.
  auto putTheOthers = [&] {
    Put("prog.hex", KnownHex());
    Put("partition.mbn", std::string(1000, 'p'));
    for (const char* other : {"qcsbl.mbn", "qcsblhd_cfgdata.mbn", "oemsbl.mbn", "oemsblhd.mbn", "dbl.mbn", "osbl.mbn",
                              "fsbl.mbn", "amsshd.mbn", "appshd.mbn", "apps.mbn", "appsboothd.mbn", "appsboot.mbn",
                              "all.mbn"}) {
      Put(other, "x");
    }
  };
  for (const LimitCase& c : cases) {
    SCOPED_TRACE(c.name);
    putTheOthers();
    config_ = ProductConfig{};
    c.enable(config_);
    config_.fastbootFileNameList = {"erase", images_ + "/modem.ubi"};
    config_.addFiles = {"/nv/item_files/pref.xml"};
    std::string path = images_ + "/" + c.file;
    auto verifyWith = [&](std::optional<uint64_t> size) {
      fs::remove(path);
      if (size) PutSized(c.file, *size);
      size_t before = dialogs_.shown().size();
      ImageSet set = Verify();
      std::string shown = dialogs_.shown().size() > before ? dialogs_.shown().back().text : "";
      return std::make_pair(set, shown);
    };
    auto [below, belowMessage] = verifyWith(c.limit - 1);
    EXPECT_TRUE(below.verified) << belowMessage;
    EXPECT_GE(below.totalSize, c.limit - 1);
    std::vector<std::string> listed = RowPaths();
    EXPECT_NE(std::find(listed.begin(), listed.end(), path), listed.end());
    for (uint64_t bad : {c.limit, c.limit + 1, uint64_t{0}}) {
      auto [set, message] = verifyWith(bad);
      EXPECT_FALSE(set.verified);
      EXPECT_EQ(set.totalSize, 0u);
      EXPECT_TRUE(rows_.empty());
      EXPECT_EQ(message, c.sizePrefix + path + " size error!\n") << bad;
    }
    auto [missing, missingMessage] = verifyWith(std::nullopt);
    EXPECT_FALSE(missing.verified);
    // A role the scan did not fill keeps its empty path.
    EXPECT_EQ(missingMessage, c.missingPrefix + (c.listFile ? path : "") + " does not exist!\n");
  }
}

TEST_F(ImageChecksTest, AFileOfFourGibibytesAndMoreNeverWrapsIntoAnAcceptedSize) {
  config_.options.bFastbootConfiguration = true;
  std::string path = PutSized("big.ubi", (uint64_t{1} << 32) + 10);
  config_.fastbootFileNameList = {path};
  EXPECT_FALSE(Verify().verified);
  EXPECT_EQ(Messages(), std::vector<std::string>{"[Upwend_QCOMM] Error: File " + path + " size error!\n"});
}

TEST_F(ImageChecksTest, TheFlashProgrammerIsCheckedWithoutARowAndAFailedConversionReadsAsMissing) {
  config_.options.bBackup = true;
  config_.options.bRestore = true;
  Put("partition.mbn", "p");
  // Records after the end record are not read.
  Put("prog.hex", HexRecord(0x00, 0, {1, 2}) + HexRecord(0x01, 0, {}) + HexRecord(0x00, 0, {1}));
  ImageSet ok = Verify();
  EXPECT_TRUE(ok.verified);
  EXPECT_EQ(RowPaths(), std::vector<std::string>{images_ + "/partition.mbn"});
  EXPECT_EQ(ok.Size(ImageRole::FlashProgrammer), 2u);
  EXPECT_EQ(ok.totalSize, 3u);

  // A BIN one byte below and at 10 MiB: one byte at each end of the span.
  auto spanning = [](uint16_t lastOffset) {
    return HexRecord(0x00, 0, {1}) + HexRecord(0x04, 0, {0x00, 0x9F}) + HexRecord(0x00, lastOffset, {2}) +
           HexRecord(0x01, 0, {});
  };
  Put("prog.hex", spanning(0xFFFE));
  ImageSet below = Verify();
  EXPECT_TRUE(below.verified);
  EXPECT_EQ(below.Size(ImageRole::FlashProgrammer), 10 * kMiB - 1);
  Put("prog.hex", spanning(0xFFFF));
  EXPECT_FALSE(Verify().verified);
  EXPECT_EQ(Messages().back(), "[Upwend_QCOMM] Error:BIN file " + images_ + "/prog.BIN size error!\n");

  fs::remove(images_ + "/prog.hex");
  fs::remove(images_ + "/prog.BIN");
  EXPECT_FALSE(Verify().verified);
  EXPECT_EQ(Messages().back(), "[Upwend_QCOMM] Error: BIN file  does not exist!\n");
}

TEST_F(ImageChecksTest, FastbootListSkipsEraseAndKeepsSizesAtTheirListIndex) {
  config_.options.bFastbootConfiguration = true;
  config_.options.bAppsBootloader = true;
  config_.options.bAppsImageAndBootloader = true;
  config_.options.bRpmBootloader = true;
  Put("prog.hex", KnownHex());
  Put("partition.mbn", "pp");
  Put("sub/appshd.mbn", "h");
  Put("apps.mbn", "aaaa");
  Put("appsboothd.mbn", "b");
  Put("appsboot.mbn", "bbbbbbbb");
  Put("rpm.mbn", "r");
  std::string sys = Put("list/sys.ubi", std::string(100, 's'));
  std::string modem = Put("list/modem.ubi", std::string(7, 'm'));
  config_.fastbootFileNameList = {"erase", sys, "erase", modem};
  ImageSet set = Verify();
  ASSERT_TRUE(set.verified) << Messages().front();
  // "appsboot.mbn" is listed by both apps options and counted once.
  EXPECT_EQ(RowPaths(), (std::vector<std::string>{images_ + "/partition.mbn", images_ + "/sub/appshd.mbn",
                                                  images_ + "/apps.mbn", images_ + "/appsboothd.mbn",
                                                  images_ + "/appsboot.mbn", images_ + "/appsboot.mbn", sys, modem,
                                                  images_ + "/rpm.mbn"}));
  EXPECT_EQ(rows_[1].fileName, "appshd.mbn");
  EXPECT_EQ(rows_[1].location, images_ + "/sub/");
  EXPECT_EQ(set.fastbootFileSizes[0], 0u);
  EXPECT_EQ(set.fastbootFileSizes[1], 100u);
  EXPECT_EQ(set.fastbootFileSizes[2], 0u);
  EXPECT_EQ(set.fastbootFileSizes[3], 7u);
  EXPECT_EQ(set.totalSize, 10u + 2 + 1 + 4 + 1 + 8 + 1 + 100 + 7);

  RunParameters params;
  CopyImageSetInto(set, params);
  EXPECT_EQ(params.FastbootFileSizes[3], 7u);
  EXPECT_EQ(params.allTotalFileSize, set.totalSize);
}

TEST_F(ImageChecksTest, PartOfEfsFilesAreLocalByTheirLastNameAndLimitedToFifty) {
  config_.options.bPartOfEFS = true;
  config_.addFiles = {"/nv/item_files/modem/mmode/lte_bandpref", "plain.txt"};
  Put("lte_bandpref", "12345");
  Put("plain.txt", "1");
  ImageSet set = Verify();
  ASSERT_TRUE(set.verified) << Messages().front();
  EXPECT_EQ(set.partOfEfsFiles, (std::vector<std::string>{images_ + "/lte_bandpref", images_ + "/plain.txt"}));
  EXPECT_EQ(set.addFileSizes[0], 5u);
  EXPECT_EQ(set.addFileSizes[1], 1u);
  EXPECT_EQ(set.totalSize, 6u);
  RunParameters params;
  CopyImageSetInto(set, params);
  ASSERT_NE(params.PartOfEFSFileNameList, nullptr);
  EXPECT_EQ(*params.PartOfEFSFileNameList, set.partOfEfsFiles);

  config_.addFiles.clear();
  for (int i = 0; i < 51; ++i) {
    config_.addFiles.push_back("/f" + std::to_string(i));
    Put("f" + std::to_string(i), "x");
  }
  EXPECT_FALSE(Verify().verified);
  EXPECT_EQ(Messages().back(),
            "[Upwend_QCOMM] Error: File " + images_ + "/f50 is beyond the 50 add files an update can write!\n");
  config_.addFiles.pop_back();
  EXPECT_TRUE(Verify().verified);
}

TEST_F(ImageChecksTest, ProjectTypesPickTheirBootLoadersAndEfsImages) {
  config_.options.bBootloader = true;
  config_.options.bEFS = true;
  Put("prog.hex", KnownHex());
  Put("partition.mbn", "p");
  for (const char* f : {"sbl1.mbn", "sbl2_dl.mbn", "cefs.mbn", "cefs_apps.mbn", "efs.mbn"}) Put(f, "x");
  config_.projectType = kProjectTypeMdm9x15;
  EXPECT_TRUE(Verify().verified);
  EXPECT_EQ(RowPaths(), (std::vector<std::string>{images_ + "/partition.mbn", images_ + "/sbl1.mbn",
                                                  images_ + "/sbl2_dl.mbn", images_ + "/efs.mbn"}));
  config_.projectType = 7;
  Verify();
  EXPECT_EQ(Messages().back(), "[Upwend_QCOMM] Error:QC file  does not exist!\n");
  config_.options.bBootloader = false;
  EXPECT_TRUE(Verify().verified);
  EXPECT_EQ(RowPaths(), (std::vector<std::string>{images_ + "/partition.mbn", images_ + "/cefs.mbn",
                                                  images_ + "/cefs_apps.mbn"}));
  // Project type 35 has no partition table.
  fs::remove(images_ + "/partition.mbn");
  config_.projectType = 35;
  EXPECT_TRUE(Verify().verified);
}

}  // namespace
}  // namespace upwend::testing
