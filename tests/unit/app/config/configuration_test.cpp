#include <gtest/gtest.h>

#include <string>

#include "app/config/configuration.h"
#include "app/shell/dialogs.h"
#include "platform/ini_file.h"
#include "tests/unit/app/support/test_product.h"

namespace upwend {
namespace {

struct Loaded {
  ProductConfig config;
  HeadlessDialogs dialogs{AnswerPolicy::Ok, [](const std::string&) {}};
  bool ok = false;
  std::vector<std::string> messages() const {
    std::vector<std::string> out;
    for (const auto& m : dialogs.shown()) out.push_back(m.text);
    return out;
  }
};

std::unique_ptr<Loaded> Load(const std::string& text) {
  auto l = std::make_unique<Loaded>();
  l->ok = LoadConfig(l->config, IniFile::FromText(text), l->dialogs);
  return l;
}

// A minimal sound configuration with extra lines appended to DownloadItems and after it.
std::string Config(const std::string& project, const std::string& items, const std::string& rest = "") {
  return "[Project]\n" + project + "\n[DownloadItems]\n" + items + "\n" + rest;
}

TEST(LoadConfigTest, ShippedConfigurationGivesTheBuiltInProduct) {
  auto l = Load(testing::ShippedConfigText());
  ASSERT_TRUE(l->ok);
  EXPECT_TRUE(l->messages().empty());
  const ProductConfig& c = l->config;
  EXPECT_EQ(c.projectType, kProjectTypeMdm9x15);
  EXPECT_EQ(c.platformCode, kPlatformUnchecked);
  EXPECT_EQ(c.networkType, 0);
  EXPECT_FALSE(c.phone);
  EXPECT_EQ(c.blockSize, 1024);
  EXPECT_EQ(c.packet, 1);
  EXPECT_TRUE(c.options.bFastbootConfiguration && c.options.bBackup && c.options.bRestore);
  EXPECT_FALSE(c.options.bEFS || c.options.bBootloader || c.options.pcSuite || c.options.AnyFastbootItem());
  ASSERT_EQ(c.fastbootFileNameList.size(), 12u);
  EXPECT_EQ(c.fastbootFileCmdList[3], "aboot");
  EXPECT_EQ(c.fastbootFileNameList[3], "appsboot.mbn");
  EXPECT_EQ(c.fastbootFileCmdList[4], "system");
  EXPECT_EQ(c.fastbootFileNameList[4], "erase");
  EXPECT_EQ(c.startATList, std::vector<std::string>{"AT+CFUN=5\r\n\r\n"});
  EXPECT_EQ(c.endATList, (std::vector<std::string>{"AT+CFUN=1\r\n\r\n", "AT+syscmd=sys_mode_set D1\r\n\r\n"}));
  EXPECT_TRUE(c.nvItemList.empty());
  EXPECT_FALSE(c.simLock);
  EXPECT_EQ(BuildSettingsSummaryText(c),
            "Backup, Restore, sbl1, tz, rpm, appsboot, erase, mdm9607sysfs, erase, NONHLOS, boot9607, efs, erase, cdrom.");
}

TEST(LoadConfigTest, DerivedNumbers) {
  EXPECT_EQ(ProjectTypeOf("PT00"), 0);
  EXPECT_EQ(ProjectTypeOf("PT48"), 48);
  EXPECT_EQ(ProjectTypeOf("PT49"), -1);
  EXPECT_EQ(ProjectTypeOf("pt05"), -1);
  EXPECT_EQ(ProjectTypeOf("PT5"), -1);
  EXPECT_EQ(ProjectTypeOf("mdm9x15"), -1);
  EXPECT_EQ(ProjectTypeOf(""), -1);
  EXPECT_EQ(PlatformCodeOf("MSM6260"), 186);
  EXPECT_EQ(PlatformCodeOf("9200 and 6260"), 0);
  EXPECT_EQ(PlatformCodeOf("QSC6270"), 19);
  EXPECT_EQ(PlatformCodeOf("UNKNOWN"), kPlatformUnchecked);
  EXPECT_EQ(PlatformCodeOf("unknown"), -1);
  EXPECT_EQ(NetworkTypeOf("LTE"), 3);
  EXPECT_EQ(NetworkTypeOf("lte"), 0);

  auto phone = Load(Config("Project=PT05\nType=EVDO", ""));
  EXPECT_TRUE(phone->config.phone);
  EXPECT_EQ(phone->config.networkType, 2);
  auto variant = Load(Config("Project=PT03\nVersion=X_SWVB002_SWVA001", ""));
  EXPECT_EQ(variant->config.variant, 1);  // tested in order: A first
  auto variantB = Load(Config("Project=PT03\nVersion=X_SWVB002", ""));
  EXPECT_EQ(variantB->config.variant, 2);
  EXPECT_EQ(Load(Config("Language=english", ""))->config.layout, LayoutLanguage::English);
  EXPECT_EQ(Load(Config("Language=Japanese", ""))->config.layout, LayoutLanguage::Japanese);
  EXPECT_EQ(Load(Config("Language=English+Japanese", ""))->config.layout, LayoutLanguage::English);
}

TEST(LoadConfigTest, AStopLeavesTheRestUnreadAndClearsOptions) {
  auto l = Load(Config("Platform=QSD8650\nName=NP31", "bEFS=1\nbBackup=1\nbRestore=1",
                       "[Start_AT]\nAT1=AT+CFUN=5\n"));
  EXPECT_FALSE(l->ok);
  EXPECT_EQ(l->messages(), std::vector<std::string>{kMsgBadPlatform});
  EXPECT_EQ(l->dialogs.shown()[0].caption, "Warning");
  EXPECT_EQ(l->config.name, "");      // not read: initial value, not the default "UNKNOWN"
  EXPECT_EQ(l->config.blockSize, 0);  // likewise not 1024
  EXPECT_TRUE(l->config.startATList.empty());
  EXPECT_FALSE(l->config.options.bBackup);

  // A reload starts from a clean state.
  ProductConfig& c = l->config;
  HeadlessDialogs quiet(AnswerPolicy::Ok, [](const std::string&) {});
  ASSERT_TRUE(LoadConfig(c, IniFile::FromText(Config("Name=Second", "")), quiet));
  EXPECT_EQ(c.name, "Second");
  EXPECT_EQ(c.blockSize, 1024);
}

TEST(LoadConfigTest, EachConfigurationErrorShowsItsMessage) {
  struct Case {
    std::string text;
    const char* message;
    bool cleared;
  };
  const Case cases[] = {
      {"[Project]\n[MemoryType]\nbCheckDataCardMemory=1\nbCheckRouterMemory=1\n", kMsgUnknownTerminal, true},
      {"[Project]\n[MemoryType]\nbCheckRouterMemory=1\n", kMsgBadMemoryType, true},
      {Config("Project=PT02", "bEFS=1"), kMsgNoSoftwareVersion, false},
      {Config("bCheckMainboardType=1", ""), kMsgNoSoftwareVersion, false},
      {Config("", "bEFS=1\nbFastbootConfiguration=1", "[FastbootDownloadFiles]\nDL0=sbl | sbl1.mbn\nDL1=tz tz.mbn\n"),
       kMsgBadFastbootList, true},
      {Config("", "bEFS=1\nbBackupUserData=1"), kMsgNoUserData, true},
      {Config("Project=PT07", "bEFS=1\nbCDROM=1"), kMsgPhonePcSuite, true},
      {Config("", "bEFS=1\nbBackup=1"), kMsgBackupRestore, true},
      {Config("", "bEFS=1\nbPartOfEFS=1"), kMsgEfsPartOfEfs, true},
      {Config("", "bEFS=1", "[SIMLOCK]\nbSimLock=1\n"), kMsgSimLockEmpty, true},
      {Config("", "bEFS=1", "[NV_Default]\nNV1=4:00\nNV2=400\n"), kMsgBadDefaultNv, true},
      {Config("", "bEFS=1", "[NV_Custom]\nNV1=400\n"), kMsgBadCustomNv, true},
      {Config("", "bEFS=1", "[Start_AT]\nAT1=at+cfun=1\n"), kMsgBadStartAt, true},
      {Config("", "bEFS=1", "[End_AT]\nAT1=AT+CFUN=1\nAT2=reboot\n"), kMsgBadEndAt, true},
  };
  for (const Case& c : cases) {
    auto l = Load(c.text);
    EXPECT_FALSE(l->ok) << c.message;
    EXPECT_EQ(l->messages(), std::vector<std::string>{c.message});
    if (c.cleared) {
      EXPECT_FALSE(l->config.options.bEFS) << c.message;
    }
  }
  auto userData = Load(Config("", "bBackupUserData=1"));
  EXPECT_EQ(userData->dialogs.shown()[0].flags & kMbButtonMask, kMbOkCancel);
  auto simLock = Load(Config("", "", "[SIMLOCK]\nbSimLock=1\n"));
  EXPECT_EQ(simLock->dialogs.shown()[0].flags & kMbIconWarning, kMbIconWarning);
}

TEST(LoadConfigTest, BackupWithoutRestoreKeepsBothValues) {
  auto l = Load(Config("", "bBackup=1\nbRestore=0"));
  EXPECT_EQ(l->messages(), std::vector<std::string>{kMsgBackupRestore});
  EXPECT_TRUE(l->config.options.bBackup);
  EXPECT_FALSE(l->config.options.bRestore);
}

TEST(LoadConfigTest, ListsStopAtAGapAndAtTheirLimits) {
  std::string fastboot = "[FastbootDownloadFiles]\nDL0= sbl |  sbl1.mbn \nDL1=tz|tz.mbn\nDL3=rpm|rpm.mbn\n";
  auto gap = Load(Config("", "bFastbootConfiguration=1", fastboot));
  EXPECT_EQ(gap->config.fastbootFileCmdList, (std::vector<std::string>{"sbl", "tz"}));
  EXPECT_EQ(gap->config.fastbootFileNameList, (std::vector<std::string>{"sbl1.mbn", "tz.mbn"}));

  std::string many = "[FastbootDownloadFiles]\n";
  for (int i = 0; i < 20; ++i) many += "DL" + std::to_string(i) + "=p" + std::to_string(i) + "|f" + std::to_string(i) + "\n";
  many += "[NV_Default]\n";
  for (int i = 1; i <= 10000; ++i) many += "NV" + std::to_string(i) + "=" + std::to_string(i) + ":00\n";
  auto big = Load(Config("", "bFastbootConfiguration=1", many));
  ASSERT_TRUE(big->ok);
  EXPECT_EQ(big->config.fastbootFileNameList.size(), 15u);
  EXPECT_EQ(big->config.nvItemList.size(), 1000u);

  // An empty value ends a list as a missing key does; the fastboot list needs its switch.
  auto off = Load(Config("", "bFastbootConfiguration=0", fastboot + "[Start_AT]\nAT1=AT\nAT2=\nAT3=AT+X\n"));
  EXPECT_TRUE(off->config.fastbootFileNameList.empty());
  EXPECT_EQ(off->config.startATList.size(), 1u);
}

TEST(LoadConfigTest, BadFastbootEntryLeavesNoHalfList) {
  auto l = Load(Config("", "bFastbootConfiguration=1", "[FastbootDownloadFiles]\nDL0=sbl|sbl1.mbn\nDL1=broken\n"));
  EXPECT_TRUE(l->config.options.bFastbootConfiguration);  // not among the options cleared
  EXPECT_TRUE(l->config.fastbootFileNameList.empty());     // so nothing half-read can be flashed
  EXPECT_FALSE(l->config.FastbootListLoaded());
}

TEST(LoadConfigTest, NvAndAtLinesAndSimLock) {
  auto l = Load(Config("", "", "[NV_Default]\nNV1=nv1:abc\n[NV_Custom]\nNV1=4:00,01\n[SIMLOCK]\nbSimLock=0\n"));
  ASSERT_TRUE(l->ok);
  EXPECT_EQ(l->config.nvItemList, (std::vector<std::string>{"NV1:ABC", "4:00,01"}));
  EXPECT_TRUE(l->config.simLock);
  EXPECT_EQ(l->config.simLockMode, 0);
  auto mode1 = Load(Config("", "", "[SIMLOCK]\nbSimLock=1,12345\n"));
  ASSERT_TRUE(mode1->ok);
  EXPECT_EQ(mode1->config.simLockMode, 1);
  EXPECT_EQ(mode1->config.simLockText, "1,12345");
  auto arm = Load(Config("", "bBackupARM11Files=1"));
  EXPECT_FALSE(arm->config.options.bBackupARM11Files);  // no ARM11F0: switched off
}

TEST(LoadConfigTest, PcSuiteIsDerivedFromTheMediumKeys) {
  auto disk = Load(Config("", "bDISK=1\nbCDROM=1\nbResImage=1"));
  EXPECT_TRUE(disk->config.options.pcSuite && disk->config.options.bDISK);
  EXPECT_FALSE(disk->config.options.bCDROM || disk->config.options.bResImage);
  EXPECT_EQ(BuildSettingsSummaryText(disk->config), "PC Suite.");
  auto res = Load(Config("", "bResImage=1"));
  EXPECT_EQ(BuildSettingsSummaryText(res->config), "bResImage.");
  auto none = Load(Config("", ""));
  EXPECT_FALSE(none->config.options.pcSuite);
  EXPECT_EQ(BuildSettingsSummaryText(none->config), ".");
}

TEST(LoadConfigTest, ClearDownloadOptionsKeepsTheFixedSet) {
  auto l = Load(Config("", "bEFS=1\nbBackup=1\nbRestore=1\nbBootloader=1\nbPhoneImage=1\nbDSP=1\nbCDROM=1\n"
                           "bFastbootConfiguration=1\nbFastbootBootImage=1\nbFastbootSystemImageMutil=1\nbCfgdata=1",
                       "[FastbootDownloadFiles]\nDL0=a|b\n[SIMLOCK]\nbSimLock=0\n"));
  ASSERT_TRUE(l->ok);
  ClearDownloadOptions(l->config);
  const DownloadOptions& o = l->config.options;
  EXPECT_FALSE(o.bEFS || o.pcSuite || o.bCfgdata || o.bFastbootBootImage || o.bFastbootSystemImageMutil);
  EXPECT_FALSE(l->config.simLock);
  EXPECT_TRUE(o.bBackup && o.bRestore && o.bBootloader && o.bPhoneImage && o.bDSP && o.bCDROM);
  EXPECT_TRUE(o.bFastbootConfiguration);
  EXPECT_EQ(l->config.fastbootFileNameList.size(), 1u);
}

TEST(LoadConfigTest, SummaryOrderAndFileNames) {
  auto l = Load(Config("", "bRestore=1\nbBackup=1\nbFastbootSystemImage=1\nbFastbootBootImage=1\nbPartOfEFS=1\nbDSP=1\n"
                           "bFastbootConfiguration=1",
                       "[FastbootDownloadFiles]\nDL0=boot|C:\\img\\boot.v2.img\nDL1=sys|erase\nDL2=k|kernel\n"));
  ASSERT_TRUE(l->ok);
  l->config.fastbootFileNameList[2] = "/tmp/x.y/TempFiles/kernel";  // rewritten to a full path
  EXPECT_EQ(BuildSettingsSummaryText(l->config),
            "PartOfEFS, Backup, DSP, BootImage, SystemImage, Restore, boot, erase, kernel.");
}

TEST(LoadConfigTest, HostileFilesNeverCrash) {
  using namespace std::string_literals;
  std::string binary = "[Project]\nProject=\x01\x02\xff\x00MDM\n[DownloadItems]\nbBackup=\x00\x01\n"s;
  auto b = Load(binary);
  EXPECT_EQ(b->config.projectType, -1);
  EXPECT_FALSE(b->config.options.bBackup);  // not a number: the default 0

  std::string huge = "[Project]\nCaption=" + std::string(1 << 20, 'c') + "\n" + std::string(1 << 20, '[') + "\n" +
                     "[DownloadItems]\nbBackup=1\nbRestore=1\n[DownloadItems]\nbBackup=0\nno equals sign here\n";
  auto h = Load(huge);
  EXPECT_TRUE(h->ok);
  EXPECT_EQ(h->config.caption.size(), size_t{1} << 20);
  EXPECT_TRUE(h->config.options.bBackup);  // the first of two sections counts

  // A file that does not exist reads as all defaults.
  ProductConfig c;
  HeadlessDialogs quiet(AnswerPolicy::Ok, [](const std::string&) {});
  EXPECT_TRUE(LoadConfig(c, "/nonexistent/Config.ini", quiet));
  EXPECT_EQ(c.caption, "Upwend_***");
}

TEST(CheckPackagePairTest, FlashTypesAndPartners) {
  std::string dir = testing::FreshTestDir();
  auto second = [&](const std::string& text) {
    std::string path = dir + "/Config2.ini";
    FILE* f = fopen(path.c_str(), "w");
    fputs(text.c_str(), f);
    fclose(f);
    return path;
  };
  auto check = [&](const std::string& mine, const std::string& theirs, std::string* message) {
    auto l = Load(mine);
    bool ok = CheckPackagePair(l->config, second(theirs), l->dialogs);
    *message = l->dialogs.shown().empty() ? "" : l->dialogs.shown()[0].caption + " " + l->dialogs.shown()[0].text;
    return std::make_pair(ok, l->config);
  };
  std::string msg;
  EXPECT_FALSE(check(Config("Name=A\nFlashType=2", "bEFS=1"), "[Project]\nFlashType=2\n", &msg).first);
  EXPECT_EQ(msg, std::string(kCaptionChineseWarning) + " " + kMsgSameFlashType);
  EXPECT_TRUE(check(Config("Name=A\nFlashType=2", ""), "[Project]\nFlashType=3\n", &msg).first);
  EXPECT_TRUE(check(Config("Name=NP31\nFlashType=2", ""), "[Project]\nName=NP30\nFlashType=2\n", &msg).first);
  auto [ok, cfg] = check(Config("Name=NQ411", "bEFS=1"), "[Project]\nName=NP30\n", &msg);
  EXPECT_FALSE(ok);
  EXPECT_EQ(msg, std::string(kCaptionChineseWarning) + " " + kMsgBadPairing);
  EXPECT_FALSE(cfg.options.bEFS);
  auto [ok2, cfg2] = check(Config("Name=NP30\nbCheckMainboardType=1\nVersion=V1", ""), "[Project]\nName=NP31\nVersion=V2\n", &msg);
  EXPECT_TRUE(ok2);
  EXPECT_EQ(cfg2.secondName, "NP31");
  EXPECT_EQ(cfg2.secondSoftwareVersion, "V2");
}

}  // namespace
}  // namespace upwend
