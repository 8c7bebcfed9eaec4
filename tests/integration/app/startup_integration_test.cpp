// The built programs as a user runs them: upwend --headless and upwend-pack.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/ini_file.h"
#include "tests/support/file_text.h"

namespace upwend {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;

std::string Build(const std::string& rel) { return std::string(std::getenv("UPWEND_BUILD_DIR")) + "/" + rel; }

std::string FreshHome() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string dir = std::string(std::getenv("UPWEND_HOME")) + "/" + info->name();
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

// A child process with its own UPWEND_HOME and its output in files.
struct Child {
  pid_t pid = -1;
  std::string out;
  std::string err;

  static Child Start(const std::string& home, const std::string& name, std::vector<std::string> args) {
    Child c;
    c.out = home + "/" + name + ".out";
    c.err = home + "/" + name + ".err";
    c.pid = fork();
    if (c.pid == 0) {
      setenv("UPWEND_HOME", home.c_str(), 1);
      freopen(c.out.c_str(), "w", stdout);
      freopen(c.err.c_str(), "w", stderr);
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    return c;
  }

  // The exit code, or -signal; -1000 when it did not end in time (it is then killed).
  int Wait(int seconds = 60) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    int status = 0;
    while (std::chrono::steady_clock::now() < end) {
      if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1000;
  }

  bool Running() { return waitpid(pid, nullptr, WNOHANG) == 0; }
  std::string Out() const { return ReadFile(out); }
  std::string Err() const { return ReadFile(err); }
};

int RunChild(const std::string& home, const std::string& name, std::vector<std::string> args, Child* child = nullptr) {
  Child c = Child::Start(home, name, std::move(args));
  int code = c.Wait();
  if (child) *child = c;
  return code;
}

constexpr const char* kSummary =
    "Settings summary: Backup, Restore, sbl1, tz, rpm, appsboot, erase, mdm9607sysfs, erase, NONHLOS, boot9607, efs, "
    "erase, cdrom.\n";

TEST(UpwendHeadlessTest, PrintSummaryShowsTheBuiltInProductAndCleansUp) {
  std::string home = FreshHome();
  Child c;
  ASSERT_EQ(RunChild(home, "upwend", {Build("app/console/upwend"), "--headless", "--print-summary", "--time-scale", "0.01"}, &c), 0)
      << c.Err();
  std::string out = c.Out();
  EXPECT_NE(out.find(kSummary), std::string::npos) << out;
  std::string work = home + "/tmp/TempFiles";
  EXPECT_NE(out.find("  sbl      " + work + "/sbl1.mbn\n"), std::string::npos) << out;
  EXPECT_NE(out.find("  cdrom    erase\n"), std::string::npos);
  EXPECT_NE(out.find(work + "/mdm9607sysfs.ubi"), std::string::npos);
  EXPECT_NE(out.find("Image files: 10, "), std::string::npos) << out;
  EXPECT_NE(out.find("  " + work + "/partition.mbn\n"), std::string::npos);
  EXPECT_FALSE(fs::exists(work));
  EXPECT_TRUE(fs::is_directory(home + "/state/Backup"));
  auto settings = IniFile::Load(home + "/config/HKEY_CURRENT_USER.ini");
  ASSERT_TRUE(settings);
  EXPECT_EQ(settings->ReadString("Software\\Hovrel7\\Upwend_QCOMM", "@", ""), "temp");
  EXPECT_EQ(settings->ReadInteger("Software\\Hovrel7\\Upwend_QCOMM", "COMM Port", 0), 1);
  EXPECT_EQ(settings->ReadString("Software\\Hovrel7\\Upwend_QCOMM", "Image File Folder", ""), work);
}

// A run log folder that cannot be written is said once at start-up, not found out after a run.
TEST(UpwendHeadlessTest, AnUnwritableRunLogFolderIsSaidOnceAtStartUp) {
  std::string home = FreshHome();
  std::ofstream(home + "/a-file") << "not a folder";
  std::vector<std::string> folders = {home + "/a-file/logs"};
  if (geteuid() != 0) {  // permissions do not hold root back
    fs::create_directories(home + "/read-only");
    fs::permissions(home + "/read-only", fs::perms::owner_read | fs::perms::owner_exec);
    folders.push_back(home + "/read-only");
  }
  for (const std::string& folder : folders) {
    Child c;
    EXPECT_EQ(RunChild(home, "upwend", {Build("app/console/upwend"), "--headless", "--print-summary", "--log-dir", folder}, &c), 0)
        << c.Err();
    std::string err = c.Err();
    size_t at = err.find("upwend: warning: the run log folder " + folder + " cannot be written (");
    EXPECT_NE(at, std::string::npos) << err;
    EXPECT_EQ(err.find("run log folder", err.find("run log folder") + 1), std::string::npos) << err;
  }
  Child c;
  ASSERT_EQ(RunChild(home, "upwend", {Build("app/console/upwend"), "--headless", "--print-summary"}, &c), 0);
  EXPECT_EQ(c.Err().find("run log folder"), std::string::npos) << c.Err();
}

// Each way another local user could take over the temporary folder before the tool runs: the
// tool refuses it, says where, and neither writes into it nor deletes through it.
TEST(UpwendHeadlessTest, ATemporaryFolderOthersControlIsRefused) {
  std::string home = FreshHome();
  std::string temp = home + "/tmp";
  struct Attack {
    std::string name;
    std::string reason;
    std::function<void()> arrange;
  };
  std::vector<Attack> attacks = {
      // A link to a folder of the victim's: the tool's clean-up would empty its TempFiles.
      {"link", "it is a symbolic link", [&] { fs::create_directory_symlink(home + "/victim", temp); }},
      {"mode 777", "other users can write to it (mode 777)", [&] {
         fs::create_directories(temp);
         fs::permissions(temp, fs::perms::all);
       }},
  };
  if (geteuid() == 0) {
    attacks.push_back({"another user's", "it belongs to another user (uid 65534)", [&] {
                         fs::create_directories(temp);
                         fs::permissions(temp, fs::perms::owner_all);
                         ASSERT_EQ(chown(temp.c_str(), 65534, 65534), 0);
                       }});
  }
  fs::create_directories(home + "/victim/TempFiles");
  std::ofstream(home + "/victim/TempFiles/precious") << "keep";
  for (const Attack& attack : attacks) {
    std::error_code ec;
    if (fs::is_symlink(temp, ec)) fs::remove(temp, ec);
    fs::remove_all(temp, ec);
    attack.arrange();
    Child c;
    EXPECT_EQ(RunChild(home, "upwend", {Build("app/console/upwend"), "--headless", "--print-summary"}, &c), 1)
        << attack.name << ": " << c.Err();
    EXPECT_NE(c.Err().find("The temporary folder " + temp + " is not safe to use: " + attack.reason), std::string::npos)
        << attack.name << ": " << c.Err();
    EXPECT_FALSE(fs::exists(temp + "/TempFiles/QMSL_MSVC10R.dll")) << attack.name;
    EXPECT_FALSE(fs::exists(temp + "/run")) << attack.name;
  }
  EXPECT_TRUE(fs::exists(home + "/victim/TempFiles/precious"));
}

TEST(UpwendHeadlessTest, SecondCopyQuitsAndTheFirstIsUnharmed) {
  std::string home = FreshHome();
  Child first = Child::Start(home, "first", {Build("app/console/upwend"), "--headless", "--time-scale", "0.01"});
  // Start-up ends with the device watcher's hook line.
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (first.Err().find("device watcher") == std::string::npos && std::chrono::steady_clock::now() < until) {
    ASSERT_TRUE(first.Running()) << first.Err();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::string work = home + "/tmp/TempFiles";
  std::string system = ReadFile(work + "/mdm9607sysfs.ubi");
  ASSERT_GT(system.size(), 1u << 20);

  Child second;
  EXPECT_EQ(RunChild(home, "second", {Build("app/console/upwend"), "--headless", "--time-scale", "0.01"}, &second), 2);
  EXPECT_NE(second.Err().find("[Warning] upgrading is running,please exit the upgrade tool!\n"), std::string::npos)
      << second.Err();

  EXPECT_TRUE(first.Running());
  EXPECT_EQ(ReadFile(work + "/mdm9607sysfs.ubi"), system);
  EXPECT_TRUE(fs::exists(work + "/Config.ini"));

  kill(first.pid, SIGTERM);  // the user closes the window
  EXPECT_EQ(first.Wait(), 0) << first.Err();
  EXPECT_FALSE(fs::exists(work));
  for (const auto& e : fs::directory_iterator(home + "/tmp")) {
    EXPECT_FALSE(e.path().filename().string().starts_with("TempFiles")) << e.path();
  }
}

TEST(UpwendHeadlessTest, DamagedProductsAndBadArgumentsGiveClearErrors) {
  std::string home = FreshHome();
  Child c;
  EXPECT_EQ(RunChild(home, "bad", {Build("app/console/upwend"), "--headless", "--answer", "perhaps"}, &c), 2);
  EXPECT_NE(c.Err().find("--answer"), std::string::npos);
  // Without a display the window cannot open: one line that points to --headless.
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  EXPECT_EQ(RunChild(home, "window", {Build("app/console/upwend")}, &c), 2);
  std::string said = c.Err();
  EXPECT_NE(said.find("--headless"), std::string::npos) << said;
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;

  // The bare program carries no payload; a cut product has lost its index.
  EXPECT_EQ(RunChild(home, "bare", {Build("app/console/upwend-bare"), "--headless"}, &c), 1);
  EXPECT_NE(c.Err().find("carries no payload"), std::string::npos) << c.Err();
  std::string cut = home + "/cut-upwend";
  fs::copy_file(Build("app/console/upwend"), cut);
  fs::resize_file(cut, fs::file_size(cut) - 1000);
  EXPECT_EQ(RunChild(home, "cut", {cut, "--headless"}, &c), 1);
  EXPECT_FALSE(c.Err().empty());
  EXPECT_FALSE(fs::exists(home + "/tmp/TempFiles"));
}

TEST(UpwendPackTest, ListsExtractsAndRepacksAndRefusesBadManifests) {
  std::string home = FreshHome();
  std::string pack = Build("tools/pack/upwend-pack");
  Child c;
  ASSERT_EQ(RunChild(home, "list", {pack, "--list", Build("app/console/upwend")}, &c), 0) << c.Err();
  std::string listing = c.Out();
  EXPECT_NE(listing.find("30 resources"), std::string::npos) << listing;
  EXPECT_NE(listing.find("UBI  mdm9607sysfsFile"), std::string::npos);

  std::string dir = home + "/payload";
  ASSERT_EQ(RunChild(home, "extract", {pack, "--extract", Build("app/console/upwend"), "--payload", dir}, &c), 0) << c.Err();
  EXPECT_TRUE(fs::exists(dir + "/manifest.txt"));
  EXPECT_TRUE(fs::exists(dir + "/INI/ConfigFile"));
  std::string again = home + "/again";
  ASSERT_EQ(RunChild(home, "repack", {pack, "--tool", Build("app/console/upwend"), "--payload", dir, "--out", again}, &c), 0)
      << c.Err();
  EXPECT_NE(c.Out().find("30 resources"), std::string::npos);
  ASSERT_EQ(RunChild(home, "list2", {pack, "--list", again}, &c), 0);
  EXPECT_EQ(c.Out(), listing);
  EXPECT_EQ(fs::file_size(again), fs::file_size(Build("app/console/upwend")));

  std::ofstream(dir + "/manifest.txt", std::ios::app) << "MBN sbl1file INI/ConfigFile\n";
  EXPECT_EQ(RunChild(home, "dup", {pack, "--tool", Build("app/console/upwend-bare"), "--payload", dir, "--out", home + "/x"}, &c), 1);
  EXPECT_NE(c.Err().find("given twice"), std::string::npos) << c.Err();
  std::ofstream(dir + "/manifest.txt", std::ios::trunc) << "MBN sbl1File missing.mbn\n";
  EXPECT_EQ(RunChild(home, "missing", {pack, "--tool", Build("app/console/upwend-bare"), "--payload", dir, "--out", home + "/x"}, &c), 1);
  EXPECT_NE(c.Err().find("missing.mbn not found"), std::string::npos) << c.Err();
  EXPECT_FALSE(fs::exists(home + "/x"));
  EXPECT_EQ(RunChild(home, "usage", {pack, "--tool"}, &c), 2);
}

}  // namespace
}  // namespace upwend
