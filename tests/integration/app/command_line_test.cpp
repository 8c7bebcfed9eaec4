// The three programs' command lines as a user meets them: --help, --version, --opt=value, and
// one clear line with exit 2 for every bad option or value.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "sim_process.h"

namespace upwend {
namespace {

struct Outcome {
  int code = -1;
  std::string out;
};

Outcome Exec(const std::string& program, const std::string& args) {
  Outcome r;
  r.code = testing::RunCommand("timeout 60 " + std::string(std::getenv("UPWEND_BUILD_DIR")) + "/" + program + " " + args,
                               r.out);
  return r;
}

const char* kUpwend = "app/console/upwend";
const char* kSim = "sim/upwend-sim";
const char* kPack = "tools/pack/upwend-pack";

TEST(CommandLineIntegrationTest, VersionAndHelpOfEveryProgram) {
  for (const char* program : {kUpwend, kSim, kPack}) {
    Outcome v = Exec(program, "--version");
    EXPECT_EQ(v.code, 0) << program;
    EXPECT_NE(v.out.find(" 1."), std::string::npos) << v.out;
    Outcome h = Exec(program, "--help");
    EXPECT_EQ(h.code, 0) << program;
    EXPECT_NE(h.out.find("--version"), std::string::npos) << h.out;
    EXPECT_NE(h.out.find("Exit codes"), std::string::npos) << h.out;
  }
  Outcome h = Exec(kUpwend, "--help");
  for (const char* text : {"--json", "--quiet", "--list-devices", "--device", "--wait", "UPWEND_HOME", "UPWEND_DEVICES",
                           "3  no device became ready"}) {
    EXPECT_NE(h.out.find(text), std::string::npos) << text;
  }
}

TEST(CommandLineIntegrationTest, BadValuesEndWithOneLineAndExitTwo) {
  struct Case {
    const char* program;
    const char* args;
    const char* names;
  };
  for (const Case& c : {Case{kUpwend, "--headless --devices foo", "--devices"},
                        Case{kUpwend, "--headless --time-scale -1", "--time-scale"},
                        Case{kUpwend, "--headless --time-scale=nan", "--time-scale"},
                        Case{kUpwend, "--headless --wait=-5", "--wait"},
                        Case{kUpwend, "--headless --answer maybe", "--answer"},
                        Case{kUpwend, "--headless --json --quiet", "--json"},
                        Case{kUpwend, "--headless --bogus", "--bogus"},
                        Case{kSim, "--state /nonexistent --mode sideways", "--mode"},
                        Case{kSim, "--state /nonexistent --com-diag 0", "--com-diag"},
                        Case{kSim, "--bus /x", "--state"},
                        Case{kPack, "--tool x", "--out"},
                        Case{kPack, "--list", "--list"}}) {
    Outcome r = Exec(c.program, c.args);
    EXPECT_EQ(r.code, 2) << c.program << " " << c.args << "\n" << r.out;
    EXPECT_NE(r.out.find(c.names), std::string::npos) << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
  }
}

TEST(CommandLineIntegrationTest, EqualsFormAndNoReadyDeviceExitCode) {
  std::string home = testing::FreshDir("cli-wait");
  std::filesystem::create_directories(home + "/bus");
  // --opt=value everywhere; no device on the bus, so --start gives up after --wait.
  Outcome r = Exec(kUpwend, "--headless --start --wait=2 --time-scale=0.02 --devices=sim:" + home +
                            "/bus --log-dir=" + home + "/logs");
  EXPECT_EQ(r.code, 3) << r.out;
  EXPECT_NE(r.out.find("did not become ready within 2 s"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace upwend
