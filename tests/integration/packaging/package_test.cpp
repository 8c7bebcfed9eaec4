// What a Debian user gets: a product whose payload survives strip, a working folder that works
// when /tmp is mounted noexec, and a .deb whose unpacked tree runs an update against upwend-sim.
#include <sys/mount.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "sim_process.h"

namespace upwend {
namespace {

namespace fs = std::filesystem;
using testing::RunCommand;
using testing::SimProcess;

std::string Build() { return std::getenv("UPWEND_BUILD_DIR"); }
std::string Product() { return Build() + "/app/console/upwend"; }

struct Outcome {
  int code = -1;
  std::string out;
};

Outcome Sh(const std::string& command) {
  Outcome o;
  o.code = RunCommand(command, o.out);
  return o;
}

// A headless update of a fresh simulated device with `program`; `env` goes in front.
Outcome UpdateWith(const std::string& program, const std::string& home, const std::string& env) {
  SimProcess sim({"--bus", home + "/bus", "--state", home + "/device", "--time-scale", "0.02"});
  if (!sim.WaitLine("published AT", std::chrono::seconds(10))) return {};
  return Sh(env + " timeout 120 " + program + " --headless --start --wait 60 --time-scale 0.02 --devices sim:" + home +
            "/bus");
}

TEST(PackageTest, ThePayloadSurvivesStrip) {
  std::string dir = testing::FreshDir("strip");
  for (const char* how : {"--strip-all", "--remove-section=.comment --remove-section=.note --strip-unneeded"}) {
    std::string copy = dir + "/upwend";
    fs::copy_file(Product(), copy, fs::copy_options::overwrite_existing);
    ASSERT_EQ(Sh(std::string("strip ") + how + " " + copy).code, 0) << how;
    EXPECT_LT(fs::file_size(copy), fs::file_size(Product()));
    Outcome list = Sh(Build() + "/tools/pack/upwend-pack --list " + copy);
    EXPECT_EQ(list.code, 0) << list.out;
    EXPECT_NE(list.out.find("ConfigFile"), std::string::npos) << how;
    Outcome summary = Sh("UPWEND_HOME=" + dir + "/home " + copy + " --headless --print-summary --devices sim:" + dir);
    EXPECT_EQ(summary.code, 0) << summary.out;
    EXPECT_NE(summary.out.find("AdbWinApi.dll"), std::string::npos) << summary.out;
  }
}

// A tmpfs mounted noexec where the test may mount one (root in its own namespace); skipped otherwise.
class NoexecTest : public ::testing::Test {
protected:
  void SetUp() override {
    dir_ = testing::FreshDir("noexec");
    fs::create_directories(dir_ + "/tmp");
    if (::mount("tmpfs", (dir_ + "/tmp").c_str(), "tmpfs", MS_NOEXEC | MS_NOSUID, "size=64m,mode=0700") != 0) {
      GTEST_SKIP() << "cannot mount a noexec tmpfs here (needs root): " << std::strerror(errno);
    }
    mounted_ = true;
  }
  void TearDown() override {
    if (mounted_) ::umount2((dir_ + "/tmp").c_str(), MNT_DETACH);
  }
  std::string dir_;
  bool mounted_ = false;
};

TEST_F(NoexecTest, TheDefaultWorkingFolderWorksAndANoexecOneIsExplained) {
  // No UPWEND_HOME: the folders a user gets, with TMPDIR on the noexec mount.
  std::string env = "env -u UPWEND_HOME -u XDG_STATE_HOME -u XDG_CACHE_HOME -u UPWEND_TEMP_DIR HOME=" + dir_ + "/home TMPDIR=" + dir_ +
                    "/tmp UPWEND_LOG_DIR=" + dir_ + "/logs XDG_CONFIG_HOME=" + dir_ + "/config XDG_RUNTIME_DIR=" + dir_ +
                    "/run";
  Outcome pass = UpdateWith(Product(), dir_ + "/a", env);
  EXPECT_EQ(pass.code, 0) << pass.out;
  // Forced onto the noexec mount, the loader's message and its cause are in the log; the hex
  // images cannot be converted, so the image check fails and Start is refused.
  Outcome failed = UpdateWith(Product(), dir_ + "/b", env + " UPWEND_TEMP_DIR=" + dir_ + "/tmp");
  EXPECT_EQ(failed.code, 2) << failed.out;
  EXPECT_NE(failed.out.find("mounted noexec"), std::string::npos) << failed.out;
}

TEST(PackageTest, TheDebianPackageUnpacksAndUpdates) {
  std::string dir = testing::FreshDir("deb");
  Outcome cpack = Sh("cd " + dir + " && cpack -G DEB --config " + Build() + "/CPackConfig.cmake -B " + dir);
  ASSERT_EQ(cpack.code, 0) << cpack.out;
  std::string deb;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.path().extension() == ".deb") deb = e.path().string();
  ASSERT_FALSE(deb.empty()) << cpack.out;
  Outcome depends = Sh("dpkg-deb -f " + deb + " Depends");
  EXPECT_NE(depends.out.find("libc6"), std::string::npos) << depends.out;  // computed, not written by hand
  ASSERT_EQ(Sh("dpkg-deb -x " + deb + " " + dir + "/root").code, 0);
  std::string root = dir + "/root/usr";
  for (const char* file : {"/lib/udev/rules.d/70-upwend.rules", "/share/man/man1/upwend.1",
                           "/share/bash-completion/completions/upwend", "/share/applications/io.github.upwend.Upwend.desktop",
                           "/share/metainfo/io.github.upwend.Upwend.metainfo.xml", "/bin/upwend-sim", "/bin/upwend-pack"}) {
    EXPECT_TRUE(fs::exists(root + file)) << file;
  }
  Outcome version = Sh(root + "/bin/upwend --version");
  EXPECT_EQ(version.code, 0);
  EXPECT_EQ(version.out.rfind("upwend 1.", 0), 0u) << version.out;
  Outcome run = UpdateWith(root + "/bin/upwend", dir + "/run", "UPWEND_HOME=" + dir + "/run");
  EXPECT_EQ(run.code, 0) << run.out;
  EXPECT_NE(run.out.find(" PASS"), std::string::npos);
}

}  // namespace
}  // namespace upwend
