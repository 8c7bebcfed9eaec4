// The fault matrix: the built-in product, headless, against upwend-sim with one fault at one
// phase of the update per case. Each case checks the exit code and the first error, that the
// run kept within its time bound, that a failed run recovers after a replug (Re-update when the
// failed run had made its backup, Start otherwise), that every identity value, NV item and EFS
// item file the product saves is as before, and that nothing is left that blocks the next run.
// With UPWEND_FAULT_TABLE set, each case appends its row of docs/fault-matrix.md to that file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/integration/faults/fault_cases.h"
#include "tests/integration/sim/sim_process.h"

namespace upwend {
namespace {

namespace fs = std::filesystem;
using testing::SimProcess;

std::string Build() { return std::getenv("UPWEND_BUILD_DIR"); }
std::string Source() { return std::getenv("UPWEND_SOURCE_DIR"); }

struct RunResult {
  int exitCode = -1;
  std::string output;
  double seconds = 0;
};

// Runs upwend headless; when `stopOn` shows up in its output, SIGINT stops the run as Stop does.
RunResult RunUpwend(const std::string& binary, const std::string& home, const std::vector<std::string>& args,
                    const std::string& stopOn) {
  int out[2];
  RunResult r;
  if (pipe(out) != 0) return r;
  auto begin = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    dup2(out[1], STDERR_FILENO);
    close(out[0]);
    close(out[1]);
    setenv("UPWEND_HOME", home.c_str(), 1);
    std::string program = binary;
    std::vector<char*> argv{program.data()};
    std::vector<std::string> all = {"--headless", "--time-scale", kFaultTimeScale};
    all.insert(all.end(), args.begin(), args.end());
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(out[1]);
  bool stopped = stopOn.empty();
  // A hard limit far above every case's bound, so a hung run fails its case instead of the suite.
  auto limit = begin + std::chrono::seconds(240);
  for (;;) {
    pollfd p{out[0], POLLIN, 0};
    if (poll(&p, 1, 100) > 0) {
      char buf[4096];
      ssize_t n = read(out[0], buf, sizeof buf);
      if (n <= 0) break;
      r.output.append(buf, static_cast<size_t>(n));
      if (!stopped && r.output.find(stopOn) != std::string::npos) {
        kill(pid, SIGINT);
        stopped = true;
      }
    }
    if (std::chrono::steady_clock::now() > limit) kill(pid, SIGKILL);
  }
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

// The AT probe of port discovery can miss the AT port on a heavily loaded machine: Start is then
// refused before anything happens, or a Re-update takes the device for one in its boot loader
// and fails without touching it. A person presses again; so does the suite, once.
RunResult RunUpwendAgainIfProbeMissed(const std::string& binary, const std::string& home,
                                      const std::vector<std::string>& args, const std::string& stopOn) {
  RunResult r = RunUpwend(binary, home, args, stopOn);
  const bool missed = r.output.find("[Download] Serial Port was not found.") != std::string::npos ||
                      (r.output.find("Device without AT port") != std::string::npos &&
                       r.output.find("ADB Interface Invalid") != std::string::npos);
  if (r.exitCode == 0 || !missed) return r;
  RunResult again = RunUpwend(binary, home, args, stopOn);
  again.seconds = std::max(again.seconds, r.seconds);
  return again;
}

std::string Dump(const std::string& state) {
  std::string json;
  testing::RunCommand(SimProcess::Binary() + " --state " + state + " --dump", json);
  return json;
}

std::string FirstError(const std::string& output) {
  size_t at = output.find("ERROR, ");
  if (at == std::string::npos) return {};
  return output.substr(at, output.find('\n', at) - at);
}

// The product of a case: the built-in one, or a bad one made from it with upwend-pack. Its
// files are extracted beside it, since the check compares the partitions with them.
struct Product {
  std::string binary;
  std::string dir;
};

Product MakeProduct(const std::string& home, const std::string& kind) {
  const std::string pack = Build() + "/tools/pack/upwend-pack";
  Product p{Build() + "/app/console/upwend", home + "/product"};
  std::string script = "set -e; d=" + p.dir + "; " + pack + " --extract " + p.binary + " --payload $d >/dev/null; " +
                       "f() { echo $d/$(awk -v n=$1 '$2==n {print $3}' $d/manifest.txt); }; ";
  if (kind.empty()) {
    std::string out;
    testing::RunCommand(script, out);
    return p;
  }
  const std::string out = home + "/upwend";
  if (kind == "empty-sbl1") script += ": > $(f sbl1File); ";
  if (kind == "truncated-sbl1") script += "truncate -s 1000 $(f sbl1File); ";
  if (kind == "missing-sbl1") script += "sed -i '/ sbl1File /d' $d/manifest.txt; ";
  if (kind == "garbage-config") script += "yes 'x\x01[]==;' | head -c 3000 > $(f ConfigFile); ";
  script += pack + " --tool " + Build() + "/app/console/upwend-bare --payload $d --out " + out + " >/dev/null; ";
  // A product cut short, or with one bit flipped in the middle of its payload.
  if (kind == "truncated-product") script += "truncate -s -4096 " + out + "; ";
  if (kind == "bitflipped-product") {
    script += "python3 -c \"import sys; p = sys.argv[1]; b = bytearray(open(p, 'rb').read()); "
              "b[len(b) - 300000] ^= 4; open(p, 'wb').write(b)\" " + out + "; ";
  }
  std::string log;
  EXPECT_EQ(testing::RunCommand(script, log), 0) << log;
  p.binary = out;
  return p;
}

// Every lock file below the tool's folders is free and the working folder is gone.
std::string LeftBehind(const std::string& home) {
  std::error_code ec;
  if (fs::exists(home + "/tmp/TempFiles", ec)) return "the working folder";
  for (const auto& e : fs::recursive_directory_iterator(home, ec)) {
    if (e.path().extension() != ".lock") continue;
    int fd = open(e.path().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    bool held = flock(fd, LOCK_EX | LOCK_NB) != 0;
    close(fd);
    if (held) return "the lock " + e.path().string();
  }
  return {};
}

class FaultMatrixTest : public ::testing::TestWithParam<FaultCase> {
protected:
  std::vector<std::string> SimArgs(const std::string& home, const std::vector<std::string>& faults) {
    std::vector<std::string> args = {"--bus", home + "/bus", "--state", home + "/device", "--time-scale",
                                     kFaultTimeScale};
    for (const auto& f : faults) {
      args.push_back("--fault");
      args.push_back(f);
    }
    return args;
  }

  std::string CheckSaved(const std::string& home, const std::string& before, const FaultCase& c,
                         const Product& product) {
    std::ofstream(home + "/before.json") << before;
    std::ofstream(home + "/after.json") << Dump(home + "/device");
    std::string command = "python3 " + Source() + "/scripts/check_device.py " + product.dir + " " + home +
                          "/before.json " + home + "/after.json";
    for (const auto& e : c.exceptItems) command += " --except " + e;
    std::string out;
    return testing::RunCommand(command, out) == 0 ? std::string() : out;
  }

  void Record(const FaultCase& c, bool verified, const std::string& note) {
    const char* table = std::getenv("UPWEND_FAULT_TABLE");
    if (table == nullptr || *table == '\0') return;
    std::ostringstream row;
    const auto all = FaultCases();
    size_t index = 0;
    while (index < all.size() && all[index].name != c.name) ++index;
    row << "| " << index + 1 << " | " << c.name << " | " << c.phase << " | `" << c.FaultText() << "` | " << c.expectedEnd << " | "
        << (verified ? "yes" : "NO: " + note) << " |\n";
    // One write per row: the cases run in parallel processes.
    int fd = open(table, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    std::string text = row.str();
    (void)!write(fd, text.data(), text.size());
    close(fd);
  }
};

TEST_P(FaultMatrixTest, EndsAsExpectedAndLosesNothing) {
  const FaultCase& c = GetParam();
  std::string home = testing::FreshDir("case-" + c.name);
  Product product = MakeProduct(home, c.product);
  std::string before;
  RunResult first;
  {
    SimProcess sim(SimArgs(home, c.simFaults));
    ASSERT_TRUE(sim.WaitLine("published AT", std::chrono::seconds(20)));
    before = Dump(home + "/device");
    std::vector<std::string> args = c.upwendArgs;
    args.insert(args.end(), {"--wait", "60", "--devices", "sim:" + home + "/bus"});
    first = RunUpwendAgainIfProbeMissed(product.binary, home, args, c.stopOn);
  }
  std::string failure;
  auto expect = [&](bool ok, const std::string& what) {
    if (!ok && failure.empty()) failure = what;
    EXPECT_TRUE(ok) << what << "\n" << first.output;
  };
  expect(first.exitCode == c.exitCode, "exit " + std::to_string(first.exitCode));
  expect(FirstError(first.output).find(c.firstError) != std::string::npos &&
             (c.firstError.empty() == FirstError(first.output).empty()),
         "first error \"" + FirstError(first.output) + "\"");
  expect(first.seconds < c.boundSeconds, "took " + std::to_string(first.seconds) + " s");
  expect(LeftBehind(home).empty(), "left behind: " + LeftBehind(home));

  if (c.recovery == Recovery::kUnchanged) {
    expect(Dump(home + "/device") == before, "the device changed");
  } else {
    if (c.recovery != Recovery::kNone) {
      // Replugged: the device starts again (normal mode, no fault) and the run is repeated.
      const bool inBootLoader = c.recovery == Recovery::kReupdateInBootLoader;
      std::vector<std::string> simArgs = SimArgs(home, {});
      if (inBootLoader) simArgs.insert(simArgs.end(), {"--mode", "fastboot"});
      SimProcess sim(simArgs);
      EXPECT_TRUE(sim.WaitLine(inBootLoader ? "published FASTBOOT" : "published AT", std::chrono::seconds(20)));
      std::vector<std::string> args = {c.recovery == Recovery::kStart ? "--start" : "--reupdate", "--wait", "60",
                                       "--devices", "sim:" + home + "/bus"};
      RunResult again = RunUpwendAgainIfProbeMissed(product.binary, home, args, "");
      expect(again.exitCode == 0, "recovery exit " + std::to_string(again.exitCode) + "\n" + again.output);
      expect(again.seconds < c.boundSeconds, "recovery took " + std::to_string(again.seconds) + " s");
      expect(LeftBehind(home).empty(), "left behind after recovery: " + LeftBehind(home));
    }
    std::string lost = CheckSaved(home, before, c, product);
    expect(lost.empty(), "lost: " + lost);
  }
  Record(c, failure.empty(), failure);
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultMatrixTest, ::testing::ValuesIn(FaultCases()),
                         [](const ::testing::TestParamInfo<FaultCase>& c) { return c.param.name; });

}  // namespace
}  // namespace upwend
