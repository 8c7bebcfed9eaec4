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
                                                            {"HEX",
       "NPRG6260File2", "hex2"},
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

// Every resource either package of the tests below may ask for, beyond the always written ones.
std::vector<testing::TestResource> EveryOptionResource() {
  std::vector<testing::TestResource> r;
  auto add = [&](const char* type, const char* name) { r.push_back({type, name, name}); };
  for (const char* name : {"Ramdisk_RecoveryimageFile", "UserdataimageFile", "BootimageFile", "RamdiskFile",
                           "SystemimageFile", "RecoveryimageFile"}) {
    add("IMG", name);
  }
  for (const char* name : {"Primary_gptFile", "Secondary_gptFile", "ZimageFile", "zImage_recoveryFile", "xloadFile",
                           "SplashimageFile"}) {
    add("BIN", name);
  }
  for (const char* name : {"AmssFile", "AmsshdFile", "AllFile", "CEfsFile", "AppEfsFile", "EfsFile", "NandimageFile",
                           "DblFile", "FsblFile", "OsblFile", "Oemsbl1File", "Oemsbl2dlFile", "DSP1File", "DSP2File",
                           "ResimageFile", "CfgdataFile", "OemRPMFile", "AppsBootloaderFile", "AppsImageHeaderFile",
                           "AppsImageFile", "AppsBootloaderHeaderFile"}) {
    add("MBN", name);
    add("MBN", (std::string(name) + "2").c_str());
  }
  add("MBN", "PartitionFile2");
  add("ISO", "CDROMFile");
  add("ISO", "CDROMFile2");
  add("IMA", "FAT16File");
  add("IMA", "FAT16File2");
  for (const char* name : {"ResetModemFile", "InstallDriverFile", "DoShiftDeviceFile2"}) add("EXE", name);
  add("HEX",
       "NPRG6260File2");
  add("DLL", "HexToBinFile2");
  add("TXT", "modeFile");
  add("INI", "ConfigFile2");
  return r;
}

// The files each package writes, in order, for builds that turn on every option their project
// allows: a row lost, doubled or moved to the other package shows here.
TEST_F(ExtractionTest, EachPackageWritesItsRowsInOrder) {
  struct Case {
    const char* project;
    const char* options;
    const char* first;  // the files' names, in order, one space apart
    const char* second;
  };
  const std::string fastboot =
      "bFastbootRamdisk_recoveryImage=1\nbFastbootUserdataImage=1\nbFastbootBootImage=1\nbFastbootPrimary_gpt=1\n"
      "bFastbootSecondary_gpt=1\nbFastbootzImage=1\nbFastbootRamdisk=1\nbFastbootSystemImage=1\n"
      "bFastbootzImage_recoveryImage=1\nbSwitchFastbootMode=1\n";
  const std::vector<Case> cases = {
      {"PT07", "bAMSSFile=1\nbPhoneImage=1\nbEFS=1\nbRawAppsEFS=1\nbBootloader=1\nbDSP=1\nbCfgdata=1\n"
               "bRpmBootloader=1\nbAppsBootloader=1\nbAppsImageAndBootloader=1\n",
       "ramdisk_recovery.img userdata.img boot.img primary_gpt secondary_gpt zImage ramdisk.img "
       "system.img zImage_recovery xload.bin nprg9x15.hex partition.mbn amss.mbn amsshd.mbn all.mbn "
       "cefs.mbn cefs_apps.mbn nandimage sbl1.mbn sbl2_dl.mbn AdbWinApi.dll AdbWinUsbApi.dll "
       "fastboot.exe adb.exe dsp1.mbn dsp2.mbn cfgdata.mbn rpm.mbn appsboot.mbn appshd.mbn apps.mbn "
       "appsboothd.mbn appsboot.mbn ResetModem.exe DoShiftDevice.exe DoShiftNetFile.exe HexToBin.dll "
       "CleanSystemEnv32.exe CleanSystemEnv64.exe adbdev.bat AdbWinApi.dll QMSL_MSVC10R.dll "
       "msvcp100.dll msvcr100.dll AdbWinUsbApi.dll fastboot.exe adb.exe",
       "NPRG6260.hex partition.mbn amss.mbn amsshd.mbn all.mbn cefs.mbn cefs_apps.mbn dsp1.mbn "
       "dsp2.mbn cfgdata.mbn appsboothd.mbn appsboot.mbn appshd.mbn apps.mbn appsboothd.mbn "
       "appsboot.mbn recovery.img userdata.img boot.img system.img splash.bin AdbWinApi.dll "
       "AdbWinUsbApi.dll DoShiftDevice.exe HexToBin.dll Config.ini"},
      {"PT46", "bEnprg9x15=1\nbAMSSFile=1\nbEFS=1\nbBootloader=1\nbDISK=1\n",
       "ramdisk_recovery.img userdata.img boot.img primary_gpt secondary_gpt zImage ramdisk.img "
       "system.img zImage_recovery xload.bin ENPRG9x15.hex partition.mbn amss.mbn cefs_apps.mbn "
       "dbl.mbn fsbl.mbn osbl.mbn FAT16.IMA ResetModem.exe DoShiftDevice.exe DoShiftNetFile.exe "
       "HexToBin.dll CleanSystemEnv32.exe CleanSystemEnv64.exe adbdev.bat AdbWinApi.dll "
       "QMSL_MSVC10R.dll msvcp100.dll msvcr100.dll AdbWinUsbApi.dll fastboot.exe adb.exe",
       "NPRG6260.hex partition.mbn amss.mbn efs.mbn FAT16.IMA recovery.img userdata.img boot.img "
       "system.img splash.bin AdbWinApi.dll AdbWinUsbApi.dll DoShiftDevice.exe HexToBin.dll "
       "Config.ini"},
      {"PT06", "bResImage=1\nbPartOfEFS=1\n",
       "ramdisk_recovery.img userdata.img boot.img primary_gpt secondary_gpt zImage ramdisk.img "
       "system.img zImage_recovery xload.bin nprg9x15.hex partition.mbn mode.txt resimage "
       "ResetModem.exe DoShiftDevice.exe DoShiftNetFile.exe HexToBin.dll InstallDriver.exe "
       "CleanSystemEnv32.exe CleanSystemEnv64.exe CleanSystemEnv32.exe CleanSystemEnv64.exe "
       "adbdev.bat AdbWinApi.dll QMSL_MSVC10R.dll msvcp100.dll msvcr100.dll AdbWinUsbApi.dll "
       "fastboot.exe adb.exe",
       "NPRG6260.hex partition.mbn resimage recovery.img userdata.img boot.img system.img splash.bin "
       "AdbWinApi.dll AdbWinUsbApi.dll DoShiftDevice.exe HexToBin.dll InstallDriver.exe "
       "CleanSystemEnv32.exe CleanSystemEnv64.exe Config.ini"},
      {"PT35", "bCDROM=1\nbEFS=1\nbAppsBootloader=1\n",
       "ramdisk_recovery.img userdata.img boot.img primary_gpt secondary_gpt zImage ramdisk.img "
       "system.img zImage_recovery xload.bin nprg9x15.hex efs.mbn CDROM.iso appsboot.mbn "
       "ResetModem.exe DoShiftDevice.exe DoShiftNetFile.exe HexToBin.dll CleanSystemEnv32.exe "
       "CleanSystemEnv64.exe adbdev.bat AdbWinApi.dll QMSL_MSVC10R.dll msvcp100.dll msvcr100.dll "
       "AdbWinUsbApi.dll fastboot.exe adb.exe",
       "NPRG6260.hex efs.mbn CDROM.iso appsboothd.mbn appsboot.mbn recovery.img userdata.img "
       "boot.img system.img splash.bin AdbWinApi.dll AdbWinUsbApi.dll DoShiftDevice.exe HexToBin.dll "
       "Config.ini"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.project);
    SetUp();
    std::string config = std::string("[Project]\nProject=") + c.project +
                         "\nVersion=V1\nPacket=2\nExecuteResetModem=1\n[DownloadItems]\n" + fastboot + c.options +
                         "[AddFiles]\nAF0=/nv/conf/mode.txt\n";
    ASSERT_NO_FATAL_FAILURE(Extract(config, EveryOptionResource()));
    std::string second = dir_ + "/TempFiles2";
    fs::create_directories(second);
    ExtractionContext ctx{*archive_, config_, second, dialogs_, clock_, [] {}, "", nullptr, {}, {}};
    ExtractSecondPackage(ctx);
    auto names = [](const std::vector<std::string>& paths) {
      std::string out;
      for (const std::string& path : paths) out += (out.empty() ? "" : " ") + fs::path(path).filename().string();
      return out;
    };
    EXPECT_EQ(names(ctx_->written), c.first);
    EXPECT_EQ(names(ctx.written), c.second);
  }
}

}  // namespace
}  // namespace upwend
