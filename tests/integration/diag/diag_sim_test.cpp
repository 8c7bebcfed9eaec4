// The DIAG framing against the simulated device: its DIAG port is a pseudo-terminal that the
// simulator publishes; requests go out through the platform serial port.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "engine/diag/diag_control.h"
#include "engine/diag/diag_framing.h"
#include "engine/diag/diag_transport.h"
#include "platform/clock.h"
#include "tests/unit/engine/diag/support/fake_worker.h"

namespace upwend::test {
namespace {

constexpr double kScale = 0.05;

// Starts upwend-sim and waits for the line that publishes its DIAG port.
class Simulator {
public:
  Simulator() {
    const char* home = std::getenv("UPWEND_HOME");
    const std::filesystem::path base = home != nullptr ? std::filesystem::path(home) : std::filesystem::temp_directory_path();
    root_ = base / ("diag-sim-" + std::to_string(getpid()));
    const std::filesystem::path& root = root_;
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root / "bus");
    const std::string exe = UPWEND_SIM_EXE;
    const std::string bus = (root / "bus").string(), state = (root / "state").string();
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(fds[1], STDOUT_FILENO);
      close(fds[0]);
      close(fds[1]);
      execl(exe.c_str(), exe.c_str(), "--bus", bus.c_str(), "--state", state.c_str(), "--time-scale", "0.05",
            static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    out_ = fdopen(fds[0], "r");
    char line[512];
    while (out_ != nullptr && std::fgets(line, sizeof line, out_) != nullptr) {
      char port[64] = {}, path[256] = {};
      if (std::sscanf(line, "published DIAG %63s %255s", port, path) == 2) {
        diagPath_ = path;
        state_ = state;
        break;
      }
    }
  }
  ~Simulator() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    if (out_ != nullptr) std::fclose(out_);
    std::error_code ignored;
    if (!root_.empty()) std::filesystem::remove_all(root_, ignored);
  }
  const std::string& diagPath() const { return diagPath_; }
  // The platform code the simulated device reports (its PLATFORM fact).
  int Platform() const {
    std::ifstream in(state_ + "/device.txt");
    std::string line;
    while (std::getline(in, line)) {
      if (line.rfind("PLATFORM=", 0) == 0) return static_cast<int>(std::stoul(line.substr(9)) & 0xFF);
    }
    return -1;
  }

private:
  std::filesystem::path root_;
  pid_t pid_ = -1;
  FILE* out_ = nullptr;
  std::string diagPath_;
  std::string state_;
};

TEST(DiagAgainstSimulator, ControlRequestsAndStreamCommands) {
  Simulator sim;
  ASSERT_FALSE(sim.diagPath().empty()) << "the simulator published no DIAG port";
  ScaledClock clock(kScale);
  FakeWorker worker(clock);
  DiagTransport transport(worker, [&] {
    return CreatePosixSerialPort(clock, [&](const std::string&) -> std::optional<std::string> { return sim.diagPath(); });
  });
  transport.config().comPort = 5;
  transport.config().projectType = 1013;
  ASSERT_TRUE(transport.OpenDiagPort());
  DiagFraming framing(worker, transport);
  DiagControlRequests control(worker, transport, framing);

  worker.lines.clear();
  ASSERT_GE(sim.Platform(), 0);
  EXPECT_EQ(control.QueryPlatform(), sim.Platform());
  EXPECT_EQ(control.SendDiagOffline(), 0);
  EXPECT_TRUE(worker.lines.empty());  // acknowledged at once: no "Offline cmd rec:" lines
  // The device answers the power-off request and then restarts; that is the last exchange.
  EXPECT_EQ(framing.SendStreamPowerOff(), 0);
  EXPECT_EQ(worker.ErrorCode(), 0);
}

}  // namespace
}  // namespace upwend::test
