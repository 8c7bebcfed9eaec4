// The helper programs' side of the shell on the manual clock: what is started, how long the
// tool waits, and which answer it reads back.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "app/helpers/download_support.h"
#include "app/helpers/helper_programs.h"
#include "platform/ini_file.h"
#include "platform/manual_clock.h"
#include "platform/settings_store.h"
#include "tests/unit/platform/test_dir.h"

namespace upwend {
namespace {

namespace fs = std::filesystem;

class HelperProgramsTest : public ::testing::Test {
protected:
  void SetUp() override {
    dir_ = testing::FreshTestDir();
    temp_ = dir_ + "/tmp/";
    images_ = dir_ + "/images";
    fs::create_directories(temp_ + "TempFiles");
    fs::create_directories(images_);
  }

  HelperPrograms Make(std::string temp = "-") {
    if (temp == "-") temp = temp_;
    return HelperPrograms(
        clock_,
        [this](const std::string& path) {
          started_.push_back(path);
          startedAt_.push_back(clock_.NowMs());
          if (onStart_) onStart_(static_cast<int>(started_.size()));
        },
        HelperFolders{[this] { return images_; }, [temp] { return temp; }});
  }

  void WriteResetAnswer(const std::string& value) {
    std::string path = temp_ + "TempFiles/Config.ini";
    auto ini = IniFile::Load(path);
    ini->WriteString("Project", "ExecuteResetModem", value);
    ASSERT_TRUE(ini->Save(path));
  }

  void RunReset(const std::string& answerOnEveryStart, std::vector<std::string>& raised, bool& ok) {
    onStart_ = [&](int) { WriteResetAnswer(answerOnEveryStart); };
    HelperPrograms h = Make();
    ok = h.RunResetModem([&](const std::string& t) { raised.push_back(t); });
  }

  ManualClock clock_;
  std::string dir_, temp_, images_;
  std::vector<std::string> started_;
  std::vector<uint64_t> startedAt_;
  std::function<void(int)> onStart_;
};

TEST_F(HelperProgramsTest, ResetAnsweredOnTheSecondStartReturnsAfterSeventeenSeconds) {
  WriteResetAnswer("1");
  onStart_ = [&](int n) {
    if (n == 2) WriteResetAnswer("100");
  };
  HelperPrograms h = Make();
  std::vector<std::string> raised;
  EXPECT_TRUE(h.RunResetModem([&](const std::string& t) { raised.push_back(t); }));
  EXPECT_EQ(clock_.NowMs(), 3000u + 2 * 7000u);
  EXPECT_EQ(started_, (std::vector<std::string>{temp_ + "TempFiles/ResetModem.exe", temp_ + "TempFiles/ResetModem.exe"}));
  EXPECT_EQ(startedAt_, (std::vector<uint64_t>{3000, 10000}));
  EXPECT_TRUE(raised.empty());
}

TEST_F(HelperProgramsTest, ResetProgramThatNeverAnswersRaisesUnknownErrorAfterThreeStarts) {
  WriteResetAnswer("1");  // the configuration's own value, never overwritten
  HelperPrograms h = Make();
  std::vector<std::string> raised;
  EXPECT_FALSE(h.RunResetModem([&](const std::string& t) { raised.push_back(t); }));
  EXPECT_EQ(raised, std::vector<std::string>{"Unknown error[ExecuteResetModem]."});
  EXPECT_EQ(started_.size(), 3u);
  EXPECT_EQ(clock_.NowMs(), 24000u);
}

TEST_F(HelperProgramsTest, ResetAnswersRaiseTheirOwnTexts) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"-1", "Could not find modem port."},
      {"0", "Could not Execute reset Modem."},
      {"-2", "Fail to execute reset modem."},
      {"100 ", "Unknown error[ExecuteResetModem]."},  // blanks are trimmed by the reader: this is "100"
      {"1000", "Unknown error[ExecuteResetModem]."},
  };
  for (const auto& [answer, text] : cases) {
    std::vector<std::string> raised;
    bool ok = true;
    RunReset(answer, raised, ok);
    if (answer == "100 ") {
      EXPECT_TRUE(ok);
      continue;
    }
    EXPECT_FALSE(ok) << answer;
    EXPECT_EQ(raised, std::vector<std::string>{text}) << answer;
  }
  // No answer file at all reads as "0".
  onStart_ = nullptr;
  fs::remove(temp_ + "TempFiles/Config.ini");
  std::vector<std::string> raised;
  EXPECT_FALSE(Make().RunResetModem([&](const std::string& t) { raised.push_back(t); }));
  EXPECT_EQ(raised, std::vector<std::string>{"Could not Execute reset Modem."});
}

TEST_F(HelperProgramsTest, ResetWithoutATemporaryFolderStartsNothing) {
  std::vector<std::string> raised;
  EXPECT_FALSE(Make("").RunResetModem([&](const std::string& t) { raised.push_back(t); }));
  EXPECT_EQ(raised, std::vector<std::string>{"Could not get temp dir path"});
  EXPECT_TRUE(started_.empty());
  EXPECT_EQ(clock_.NowMs(), 0u);
}

TEST_F(HelperProgramsTest, DriverAnswerIsReadThreeSecondsAfterTheStartFromTheImageFolder) {
  HelperPrograms h = Make();
  // No Uninstall section (and the program never answers): false every time.
  { std::ofstream(images_ + "/Config.ini") << "[Project]\r\nName=X\r\n"; }
  EXPECT_FALSE(h.RunInstallDriver());
  EXPECT_FALSE(h.RunInstallDriver());
  EXPECT_EQ(clock_.NowMs(), 6000u);
  EXPECT_EQ(started_.back(), images_ + "/InstallDriver.exe");

  onStart_ = [&](int) {
    auto ini = IniFile::Load(images_ + "/Config.ini");
    ini->WriteInteger("Uninstall", "UninstallUDisk", 1);
    ASSERT_TRUE(ini->Save(images_ + "/Config.ini"));
  };
  EXPECT_TRUE(h.RunInstallDriver());
  // Cleared while the device is away; the rest of the file stays.
  EXPECT_TRUE(h.ClearUninstallFlag());
  auto ini = IniFile::Load(images_ + "/Config.ini");
  EXPECT_EQ(ini->ReadInteger("Uninstall", "UninstallUDisk", -1), 0);
  EXPECT_EQ(ini->ReadString("Project", "Name", ""), "X");
  EXPECT_FALSE(h.InstallDriverAnswer());
}

TEST_F(HelperProgramsTest, ModeSwitchStartsFromTheImageFolderAndAnOverlongPathIsNeverCut) {
  Make().ShiftDevice1Click();
  EXPECT_EQ(started_, std::vector<std::string>{images_ + "/DoShiftDevice.exe"});
  EXPECT_EQ(clock_.NowMs(), 0u);
  images_ = dir_ + "/" + std::string(1100, 'x');
  Make().ShiftDevice1Click();
  EXPECT_EQ(started_.size(), 1u);
}

TEST_F(HelperProgramsTest, HiddenStarterRunsTheProgramInItsFolderWithoutArguments) {
  std::string program = dir_ + "/images/probe.exe";
  { std::ofstream(program) << "#!/bin/sh\necho \"$#:$(pwd)\" > out.txt\n"; }
  fs::permissions(program, fs::perms::owner_all);
  ProgramStarter start = HiddenProgramStarter();
  start(program);
  start(dir_ + "/images/missing.exe");  // nothing reported, nothing thrown
  std::string out;
  for (int i = 0; i < 500 && out.empty(); ++i) {
    std::ifstream in(images_ + "/out.txt");
    std::getline(in, out);
    if (out.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(out, "0:" + fs::canonical(images_).string());
}

TEST_F(HelperProgramsTest, DownloadSupportIsAMachineValueAndItsFailuresGoToTheRunLog) {
  std::vector<std::string> log;
  auto append = [&](const std::string& t) { log.push_back(t); };
  std::string config = dir_ + "/config";
  SetDownloadSupport(true, config, append);
  auto key = OpenSettingsKey(RegistryRoot::LocalMachine, kDownloadSupportKey, false, config);
  ASSERT_TRUE(key);
  EXPECT_EQ(key->ReadString("DownloadSupport"), "OK");
  SetDownloadSupport(false, config, append);
  key = OpenSettingsKey(RegistryRoot::LocalMachine, kDownloadSupportKey, false, config);
  EXPECT_EQ(key->ReadString("DownloadSupport"), "NOK");
  EXPECT_TRUE(log.empty());

  std::string blocked = dir_ + "/blocked";
  { std::ofstream(blocked) << "a file where the settings folder should be"; }
  SetDownloadSupport(true, blocked, append);
  EXPECT_EQ(log, std::vector<std::string>{"Failed to create key. Do you run it in administrator's right?"});
}

}  // namespace
}  // namespace upwend
