#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>

#include "app/shell/dialogs.h"
#include "app/shell/main_window.h"
#include "app/shell/startup_error.h"
#include "app/shell/update_shell.h"
#include "platform/clock.h"
#include "platform/headless_loop.h"
#include "platform/ini_file.h"
#include "platform/named_mutex.h"
#include "platform/payload_archive.h"
#include "platform/settings_store.h"
#include "tests/unit/app/support/form_test.h"
#include "tests/unit/app/support/test_product.h"

namespace upwend {
namespace {

namespace fs = std::filesystem;

class TestForm : public TVorezUzeUiForm {
public:
  using TVorezUzeUiForm::TVorezUzeUiForm;
  std::vector<std::string> diagPorts;
  std::vector<std::string> atPorts;
  std::vector<std::string> calls;
  void DiscoverPorts() override {
    calls.push_back("DiscoverPorts");
    state().PortCBox.items = diagPorts;
    state().SerialPortCBox.items = atPorts;
  }
  void VerifyImageFolder(const std::string& folder) override {
    calls.push_back("VerifyImageFolder " + folder);
    TVorezUzeUiForm::VerifyImageFolder(folder);
  }
  void StartDeviceWatch() override { calls.push_back("StartDeviceWatch"); }
};

class StartupTest : public testing::FormTest {
protected:
  void SetUp() override {
    dir_ = testing::FreshTestDir();
    PlaceFolders(dir_);
    fs::create_directories(dir_ + "/exe");
  }

  std::unique_ptr<TestForm> MakeForm(const std::string& productPath) {
    auto archive = PayloadArchive::Open(productPath);
    EXPECT_TRUE(archive) << archive.error();
    archives_.push_back(std::make_unique<PayloadArchive>(std::move(*archive)));
    FormServices services{clock_, loop_, dialogs_, *archives_.back(), paths_, dir_ + "/exe/",
                          [this](const std::string& line) { diag_.push_back(line); },
                          [] { return std::string("2019/10/09"); }};
    return std::make_unique<TestForm>(services);
  }

  std::unique_ptr<SettingsKey> Key() { return OpenSettingsKey(RegistryRoot::CurrentUser, kSettingsKeyPath, true, paths_.configDir); }

  std::vector<std::string> Messages() const {
    std::vector<std::string> out;
    for (const auto& m : dialogs_.shown()) out.push_back("[" + m.caption + "] " + m.text);
    return out;
  }

  std::string dir_;
  std::vector<std::unique_ptr<PayloadArchive>> archives_;
  std::vector<std::string> diag_;
};

TEST_F(StartupTest, BuiltInProductStartsUpAndCleansUp) {
  auto form = MakeForm(testing::BuiltProductPath());
  form->Create();
  EXPECT_TRUE(Messages().empty());
  EXPECT_FALSE(form->quitRequested());
  std::string work = dir_ + "/tmp/TempFiles";
  EXPECT_EQ(form->workingFolder(), work);
  EXPECT_EQ(form->backupFolder(), dir_ + "/tmp/Backup/2019_10_09");
  EXPECT_EQ(form->settingsSummary(),
            "Backup, Restore, sbl1, tz, rpm, appsboot, erase, mdm9607sysfs, erase, NONHLOS, boot9607, efs, erase, cdrom.");
  // The shipped tables' files, the fastboot list pointing at them.
  for (const char* f : {"Config.ini", "sbl1.mbn", "tz.mbn", "rpm.mbn", "appsboot.mbn", "mdm9607sysfs.ubi", "NONHLOS.ubi",
                        "boot9607.img", "efs.mbn", "cdrom.ubi", "nprg9x15.hex", "partition.mbn", "DoShiftDevice.exe",
                        "DoShiftNetFile.exe", "HexToBin.dll", "CleanSystemEnv32.exe", "CleanSystemEnv64.exe", "adbdev.bat",
                        "AdbWinApi.dll", "QMSL_MSVC10R.dll", "msvcp100.dll", "msvcr100.dll", "AdbWinUsbApi.dll",
                        "fastboot.exe", "adb.exe"}) {
    EXPECT_TRUE(fs::is_regular_file(work + "/" + f)) << f;
  }
  const auto& files = form->config().fastbootFileNameList;
  ASSERT_EQ(files.size(), 12u);
  EXPECT_EQ(files[0], work + "/sbl1.mbn");
  EXPECT_EQ(files[4], "erase");
  EXPECT_GT(fs::file_size(files[5]), 1u << 20);
  EXPECT_EQ(form->helperFolder(), work);
  EXPECT_EQ(form->imageFolder(), work);

  // The window state of a built-in start.
  const WindowState& s = form->state();
  EXPECT_EQ(s.width, 513);
  EXPECT_EQ(s.height, 343);
  EXPECT_EQ(s.caption, "Upwend_QCOMM");
  EXPECT_EQ(s.applicationTitle, "Upwend_QCOMM");
  EXPECT_EQ(s.Label_status.text, "Not Ready");
  EXPECT_EQ(s.StatusBar, "Welcome to Upwend_QCOMM!!");
  EXPECT_FALSE(s.StartButton.enabled || s.StopButton.enabled);
  EXPECT_TRUE(s.Label_warning.visible && s.Image_warning.visible && s.Label_title.visible);
  EXPECT_FALSE(s.Reupdate1.visible);
  EXPECT_FALSE(s.Timer1Enabled);
  EXPECT_FALSE(s.lvFileList.empty());
  EXPECT_EQ(form->slots()[0].gauge, "ProgressBar");
  EXPECT_EQ(form->calls, (std::vector<std::string>{"DiscoverPorts", "VerifyImageFolder " + work, "StartDeviceWatch"}));

  form->Destroy();
  EXPECT_FALSE(fs::exists(work));
  EXPECT_TRUE(fs::exists(dir_ + "/tmp/Backup/2019_10_09"));
  auto key = Key();
  EXPECT_EQ(key->ReadString("@"), "temp");
  EXPECT_EQ(key->ReadString("DownloadStatus"), "");
  EXPECT_EQ(key->ReadInteger("COMM Port"), 1);
  EXPECT_EQ(key->ReadInteger("SerialCOMM Port"), 1);
  EXPECT_EQ(key->ReadString("Image File Folder"), work);
}

TEST_F(StartupTest, SavedPortsSelectTheirEntriesOrTheFirst) {
  {
    auto key = Key();
    key->WriteInteger("COMM Port", 9);
    key->WriteInteger("SerialCOMM Port", 12);
    key->WriteString("DownloadStatus", "Backup succssfully");
  }
  auto form = MakeForm(testing::BuiltProductPath());
  form->diagPorts = {"COM3", "COM7"};
  form->atPorts = {"COM4", "COM12"};
  form->Create();
  EXPECT_EQ(form->state().PortCBox.text, "COM3");  // COM9 is gone: the first entry
  EXPECT_EQ(form->state().SerialPortCBox.text, "COM12");
  EXPECT_TRUE(form->state().Reupdate1.visible);

  form->state().PortCBox.text = "COM123";
  form->state().SerialPortCBox.text = "";
  form->Destroy();
  EXPECT_EQ(Key()->ReadInteger("COMM Port"), 12);  // two characters after "COM"
  EXPECT_EQ(Key()->ReadInteger("SerialCOMM Port"), 1);
  EXPECT_EQ(Key()->ReadString("DownloadStatus"), "Backup succssfully");
}

TEST_F(StartupTest, SavedPortNumbers) {
  EXPECT_EQ(SavedPortNumber("COM5"), 5);
  EXPECT_EQ(SavedPortNumber("COM123"), 12);
  EXPECT_EQ(SavedPortNumber(""), 1);
  EXPECT_EQ(SavedPortNumber("COMx"), 1);
  EXPECT_EQ(SavedPortNumber("\\\\.\\COM10"), 10);
}

TEST_F(StartupTest, UnusableSettingsStoreNeitherRestoresNorSavesButStartUpGoesOn) {
  std::ofstream(dir_ + "/config") << "a file, not a folder";
  auto form = MakeForm(testing::BuiltProductPath());
  form->diagPorts = {"COM3"};
  form->Create();
  EXPECT_FALSE(form->quitRequested());
  EXPECT_EQ(form->state().PortCBox.text, "");  // nothing restored, nothing selected
  form->Destroy();
  EXPECT_EQ(testing::ReadFile(dir_ + "/config"), "a file, not a folder");
  EXPECT_FALSE(fs::exists(dir_ + "/tmp/TempFiles"));
}

TEST_F(StartupTest, SecondCopyIsToldToQuitAndLeavesTheFirstAlone) {
  auto first = MakeForm(testing::BuiltProductPath());
  first->Create();
  std::string work = first->workingFolder();
  std::string sbl1 = testing::ReadFile(work + "/sbl1.mbn");

  auto second = MakeForm(testing::BuiltProductPath());
  second->Create();
  EXPECT_TRUE(second->quitRequested());
  EXPECT_EQ(Messages(), std::vector<std::string>{"[Warning] upgrading is running,please exit the upgrade tool!"});
  EXPECT_NE(second->workingFolder(), work);
  EXPECT_EQ(std::count(second->calls.begin(), second->calls.end(), "StartDeviceWatch"), 0);
  second->Destroy();
  EXPECT_FALSE(fs::exists(second->workingFolder()));

  EXPECT_FALSE(first->quitRequested());
  EXPECT_EQ(testing::ReadFile(work + "/sbl1.mbn"), sbl1);
  EXPECT_EQ(first->config().fastbootFileNameList[0], work + "/sbl1.mbn");
  first->Destroy();
  EXPECT_FALSE(fs::exists(work));
  EXPECT_EQ(loop_.exitCode(), kExitRefused);
}

TEST_F(StartupTest, ConnectionUtilityMutexCountsAsAnotherCopy) {
  bool existed = false;
  auto utility = NamedMutex::Create("VXTUSBModem_Mutex", existed, paths_.runtimeDir);
  ASSERT_FALSE(existed);
  auto form = MakeForm(testing::BuiltProductPath());
  form->Create();
  EXPECT_TRUE(form->quitRequested());
  // The mutexes before it were created; the one after it was not.
  auto probe = NamedMutex::Create("Mutex_EM_0_Modem", existed, paths_.runtimeDir);
  EXPECT_TRUE(existed);
  probe = NamedMutex::Create("inno setup tovrix sw", existed, paths_.runtimeDir);
  EXPECT_FALSE(existed);
}

TEST_F(StartupTest, AMissingResourceEndsStartUpButTheFolderIsStillRemoved) {
  std::string config = "[Project]\nProject=MDM9x15\n[DownloadItems]\nbFastbootConfiguration=1\n"
                       "[FastbootDownloadFiles]\nDL0=sbl|sbl1.mbn\n";
  auto form = MakeForm(testing::MakeProduct(dir_, config));
  EXPECT_THROW(
      {
        try {
          form->Create();
        } catch (const StartupError& e) {
          EXPECT_STREQ(e.what(), "Resource sbl1File not found");
          throw;
        }
      },
      StartupError);
  form->Destroy();
  EXPECT_FALSE(fs::exists(dir_ + "/tmp/TempFiles"));
}

TEST_F(StartupTest, ConfigurationErrorIsShownAndStartUpGoesOn) {
  std::string config = "[Project]\nProject=MDM9x15\n[DownloadItems]\nbBackup=1\n";
  auto form = MakeForm(testing::MakeProduct(dir_, config));
  form->Create();
  // The test product's HexToBin.dll is a stand-in, so the image check that follows fails too.
  EXPECT_EQ(Messages(), (std::vector<std::string>{"[Warning] Config was wrong.\nBackup and restore must be selected at same time.",
                                                  "[ERROR] Load library failed [HexToBin.dll]!",
                                                  "[Upwend_***] Error: BIN file  does not exist!\n"}));
  EXPECT_EQ(form->settingsSummary(), "Backup.");
  EXPECT_FALSE(form->quitRequested());
}

TEST_F(StartupTest, UncreatableWorkingFolderEndsStartUp) {
  fs::create_directories(dir_ + "/tmp");
  std::ofstream(dir_ + "/tmp/TempFiles") << "in the way";
  auto form = MakeForm(testing::BuiltProductPath());
  try {
    form->Create();
    FAIL() << "no error";
  } catch (const StartupError& e) {
    EXPECT_EQ(std::string(e.what()), "Could not create folder!" + dir_ + "/tmp/TempFiles");
  }
}

TEST_F(StartupTest, TwoPackageBuildChecksThePair) {
  std::string config = "[Project]\nProject=MDM9x15\nName=A\nPacket=2\nFlashType=1\n";
  auto product = testing::MakeProduct(dir_, config,
                                      {{"HEX", "NPRG6260File2", "h"},
                                       {"MBN", "PartitionFile2", "p"},
                                       {"EXE", "DoShiftDeviceFile2", "d"},
                                       {"DLL", "HexToBinFile2", "x"},
                                       {"INI", "ConfigFile2", "[Project]\nName=B\nFlashType=1\n"}});
  auto form = MakeForm(product);
  form->Create();
  EXPECT_TRUE(form->quitRequested());
  ASSERT_FALSE(dialogs_.shown().empty());
  EXPECT_EQ(dialogs_.shown().back().text, kMsgSameFlashType);
  EXPECT_TRUE(fs::exists(dir_ + "/tmp/TempFiles2/Config.ini"));
  form->Destroy();
  EXPECT_FALSE(fs::exists(dir_ + "/tmp/TempFiles2"));
}

class SwitchingShell : public UpdateShell {
public:
  using UpdateShell::UpdateShell;
  using UpdateShell::SwitchToSecondPackage;
};

// A two-package build from start-up through the switch to its second package to exit: the second
// package's own Config.ini takes over, what start-up learned about the pair stays, and exit
// removes both working folders although the second file does not call itself a two-package build.
TEST_F(StartupTest, SwitchToTheSecondPackageKeepsThePairAndCleansUpBothFolders) {
  std::string first = "[Project]\nCaption=First\nProject=MDM9x15\nName=NQ411\nPacket=2\nFlashType=1\n"
                      "bCheckMainboardType=1\nVersion=v1.0.0\n";
  std::string second = "[Project]\nCaption=Second\nProject=MDM9x15\nName=NQ418\nFlashType=2\n"
                       "bCheckMainboardType=1\nVersion=v2.0.0\n";
  auto product = testing::MakeProduct(dir_, first,
                                      {{"HEX", "NPRG6260File2", "h"},
                                       {"MBN", "PartitionFile2", "p"},
                                       {"EXE", "DoShiftDeviceFile2", "d"},
                                       {"DLL", "HexToBinFile2", "x"},
                                       {"INI", "ConfigFile2", second}});
  auto archive = PayloadArchive::Open(product);
  ASSERT_TRUE(archive) << archive.error();
  fs::create_directories(dir_ + "/bus");
  ShellOptions options;
  options.devices = "sim:" + dir_ + "/bus";
  SwitchingShell shell(FormServices{clock_, loop_, dialogs_, *archive, paths_, dir_ + "/exe/", nullptr,
                                    [] { return std::string("2019/10/09"); }},
                       options);
  shell.Create();
  ASSERT_FALSE(shell.quitRequested()) << ::testing::PrintToString(Messages());
  EXPECT_EQ(shell.config().secondName, "NQ418");

  shell.SwitchToSecondPackage();
  EXPECT_EQ(shell.config().name, "NQ418");
  EXPECT_EQ(shell.state().caption, "Second");
  EXPECT_EQ(shell.imageFolder(), dir_ + "/tmp/TempFiles2");
  EXPECT_EQ(shell.config().secondName, "NQ418");
  EXPECT_EQ(shell.config().secondSoftwareVersion, "v2.0.0");

  shell.Destroy();
  EXPECT_FALSE(fs::exists(dir_ + "/tmp/TempFiles"));
  EXPECT_FALSE(fs::exists(dir_ + "/tmp/TempFiles2"));
}

class RecordingWorker : public SlotWorker {
public:
  explicit RecordingWorker(std::atomic<int>& code) : code_(code) {}
  void RequestStop() override { code_ = 210; }

private:
  std::atomic<int>& code_;
};

TEST_F(StartupTest, DestructionStopsRunningWorkers) {
  auto form = MakeForm(testing::BuiltProductPath());
  form->Create();
  std::atomic<int> code0{0};
  std::atomic<int> code5{0};
  form->slots()[0].worker = std::make_shared<RecordingWorker>(code0);
  form->slots()[5].worker = std::make_shared<RecordingWorker>(code5);
  form.reset();
  EXPECT_EQ(code0, 210);
  EXPECT_EQ(code5, 210);
  EXPECT_FALSE(fs::exists(dir_ + "/tmp/TempFiles"));
}

}  // namespace
}  // namespace upwend
