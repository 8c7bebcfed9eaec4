#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/config/configuration.h"
#include "app/shell/dialogs.h"
#include "app/config/payload_extraction.h"
#include "app/shell/startup_error.h"
#include "platform/clock.h"
#include "platform/ini_file.h"
#include "platform/payload_archive.h"
#include "tests/unit/app/support/test_product.h"

namespace upwend {
namespace {

namespace fs = std::filesystem;

TEST(NameRuleTest, EntryNamesResourceAndType) {
  EXPECT_EQ(ResourceForEntry("NONHLOS.ubi"), std::make_pair(std::string("NONHLOSFile"), std::string("UBI")));
  EXPECT_EQ(ResourceForEntry("sbl1.mbn"), std::make_pair(std::string("sbl1File"), std::string("MBN")));
  EXPECT_EQ(ResourceForEntry("primary_gpt"), std::make_pair(std::string("primary_gptFile"), std::string("BIN")));
  EXPECT_EQ(ResourceForEntry("boot.v2.img"), std::make_pair(std::string("bootFile"), std::string("V2.IMG")));
}

class ExtractionTest : public ::testing::Test {
protected:
  void SetUp() override {
    dir_ = testing::FreshTestDir();
    work_ = dir_ + "/TempFiles";
    fs::create_directories(work_);
  }

  // Loads `config` and runs ExtractPayload against a product made of it and `extra`.
  void Extract(const std::string& config, const std::vector<testing::TestResource>& extra) {
    product_ = testing::MakeProduct(dir_, config, extra);
    auto archive = PayloadArchive::Open(product_);
    ASSERT_TRUE(archive);
    archive_ = std::make_unique<PayloadArchive>(std::move(*archive));
    ASSERT_TRUE(LoadConfig(config_, IniFile::FromText(config), dialogs_)) << dialogs_.shown().at(0).text;
    ctx_ = std::make_unique<ExtractionContext>(ExtractionContext{
        *archive_, config_, work_, dialogs_, clock_, [this] { ++quits_; }, dir_ + "/", nullptr, {}, {}});
    ExtractPayload(*ctx_);
  }

  std::string dir_;
  std::string work_;
  std::string product_;
  ScaledClock clock_{0.001};
  HeadlessDialogs dialogs_{AnswerPolicy::Ok, [](const std::string&) {}};
  ProductConfig config_;
  std::unique_ptr<PayloadArchive> archive_;
  std::unique_ptr<ExtractionContext> ctx_;
  int quits_ = 0;
};

TEST_F(ExtractionTest, FastbootListIsWrittenAndRewrittenToFullPaths) {
  fs::create_directories(dir_ + "/img");
  std::ofstream(dir_ + "/img/boot.img") << "boot from disk";
  std::string config = "[Project]\n[DownloadItems]\nbFastbootConfiguration=1\n[FastbootDownloadFiles]\n"
                       "DL0=sbl|sbl1.mbn\nDL1=system|erase\nDL2=system|mdm9607sysfs.ubi\nDL3=boot|" +
                       dir_ + "\\img\\boot.img\nDL4=gpt|primary_gpt\n";
  Extract(config, {{"MBN", "SBL1FILE", "sbl1 bytes"}, {"ubi", "mdm9607sysfsFile", "system bytes"}, {"BIN", "primary_gptFile", "gpt"}});
  EXPECT_EQ(quits_, 0);
  EXPECT_EQ(config_.fastbootFileNameList,
            (std::vector<std::string>{work_ + "/sbl1.mbn", "erase", work_ + "/mdm9607sysfs.ubi", work_ + "/boot.img",
                                      work_ + "/primary_gpt"}));
  EXPECT_EQ(testing::ReadFile(work_ + "/sbl1.mbn"), "sbl1 bytes");
  EXPECT_EQ(testing::ReadFile(work_ + "/boot.img"), "boot from disk");
  EXPECT_EQ(testing::ReadFile(work_ + "/nprg9x15.hex"), "bytes of NPRG6260File");
  EXPECT_EQ(testing::ReadFile(dir_ + "/AdbWinUsbApi.dll"), "bytes of AdbWinUsbApiFile");  // beside the program
  EXPECT_EQ(ctx_->helperFolder, work_);
  EXPECT_FALSE(fs::exists(work_ + "/erase"));
}

TEST_F(ExtractionTest, MissingListFileAsksToQuitAndGoesOn) {
  std::string config = "[Project]\n[DownloadItems]\nbFastbootConfiguration=1\n[FastbootDownloadFiles]\n"
                       "DL0=boot|C:\\nowhere\\boot.img\nDL1=sbl|sbl1.mbn\n";
  Extract(config, {{"MBN", "sbl1File", "sbl1"}});
  EXPECT_EQ(quits_, 1);
  ASSERT_EQ(dialogs_.shown().size(), 1u);
  EXPECT_EQ(dialogs_.shown()[0].text, kMsgCopyFileFailed);
  EXPECT_EQ(dialogs_.shown()[0].caption, "Warning");
  EXPECT_EQ(config_.fastbootFileNameList[0], "C:\\nowhere\\boot.img");
  EXPECT_EQ(config_.fastbootFileNameList[1], work_ + "/sbl1.mbn");  // the rest still written
}

TEST_F(ExtractionTest, AListFileAlreadyInTheWorkingFolderIsNotEmptied) {
  std::ofstream(work_ + "/boot.img") << "keep me";
  Extract("[Project]\n[DownloadItems]\nbFastbootConfiguration=1\n[FastbootDownloadFiles]\nDL0=boot|" + work_ + "/boot.img\n",
          {});
  EXPECT_EQ(quits_, 0);
  EXPECT_EQ(testing::ReadFile(work_ + "/boot.img"), "keep me");
}

TEST_F(ExtractionTest, AMissingResourceEndsStartUp) {
  std::string config = "[Project]\n[DownloadItems]\nbFastbootConfiguration=1\n[FastbootDownloadFiles]\nDL0=modem|NONHLOS.ubi\n";
  try {
    Extract(config, {});
    FAIL() << "no error";
  } catch (const StartupError& e) {
    EXPECT_STREQ(e.what(), "Resource NONHLOSFile not found");
  }
}

TEST_F(ExtractionTest, OptionRowsWriteTheirFiles) {
  fs::create_directories(dir_ + "/sys");
  std::ofstream(dir_ + "/sys/system.img") << "system from folder";
  std::string config = "[Project]\nProject=PT07\n[DownloadItems]\nbEnprg9x15=1\nbEFS=1\nbFastbootSystemImage=1\n"
                       "FastBootSystemImageFilePath=" + dir_ + "\\sys\nbBootloader=1\n";
  Extract(config, {{"MBN", "CEfsFile", "c"}, {"MBN", "AppEfsFile", "a"}, {"MBN", "Oemsbl1File", "o1"}, {"MBN", "Oemsbl2dlFile", "o2"}});
  EXPECT_EQ(quits_, 0);
  EXPECT_EQ(testing::ReadFile(work_ + "/ENPRG9x15.hex"), "bytes of NPRG6260File");
  EXPECT_FALSE(fs::exists(work_ + "/nprg9x15.hex"));
  EXPECT_EQ(testing::ReadFile(work_ + "/cefs.mbn"), "c");
  EXPECT_EQ(testing::ReadFile(work_ + "/cefs_apps.mbn"), "a");
  EXPECT_EQ(testing::ReadFile(work_ + "/system.img"), "system from folder");
  EXPECT_EQ(testing::ReadFile(work_ + "/sbl2_dl.mbn"), "o2");
}

TEST_F(ExtractionTest, MissingSystemImageFolderAsksToQuit) {
  Extract("[Project]\n[DownloadItems]\nbFastbootSystemImage=1\nFastBootSystemImageFilePath=" + dir_ + "/none\n", {});
  EXPECT_EQ(quits_, 1);
  ASSERT_EQ(dialogs_.shown().size(), 1u);
  EXPECT_EQ(dialogs_.shown()[0].text, kMsgCopySystemImageFailed);
}

TEST_F(ExtractionTest, PartOfEfsFilesFollowTheNameRule) {
  Extract("[Project]\n[DownloadItems]\nbPartOfEFS=1\n[AddFiles]\nAF0=/nv/item_files/conf/mode.txt\nAF1=plain\n",
          {{"TXT", "modeFile", "mode"}, {"BIN", "plainFile", "plain"}});
  EXPECT_EQ(testing::ReadFile(work_ + "/mode.txt"), "mode");
  EXPECT_EQ(testing::ReadFile(work_ + "/plain"), "plain");
}

TEST_F(ExtractionTest, SecondPackageUsesSuffixedNames) {
  Extract("[Project]\nPacket=2\n[DownloadItems]\nbEFS=1\n", {{"MBN", "EfsFile", "efs1"},
                                                            {"HEX", "NPRG6260File2", "hex2"},
                                                            {"MBN", "PartitionFile2", "part2"},
                                                            {"MBN", "EfsFile2", "efs2"},
                                                            {"EXE", "DoShiftDeviceFile2", "shift2"},
                                                            {"DLL", "HexToBinFile2", "h2"},
                                                            {"INI", "ConfigFile2", "[Project]\nName=B\n"}});
  std::string second = dir_ + "/TempFiles2";
  fs::create_directories(second);
  ExtractionContext ctx{*archive_, config_, second, dialogs_, clock_, [this] { ++quits_; }, "", nullptr, {}, {}};
  ExtractSecondPackage(ctx);
  EXPECT_EQ(testing::ReadFile(second + "/NPRG6260.hex"), "hex2");
  EXPECT_EQ(testing::ReadFile(second + "/efs.mbn"), "efs2");
  EXPECT_EQ(testing::ReadFile(second + "/Config.ini"), "[Project]\nName=B\n");
  EXPECT_EQ(testing::ReadFile(work_ + "/efs.mbn"), "efs1");
}

}  // namespace
}  // namespace upwend
