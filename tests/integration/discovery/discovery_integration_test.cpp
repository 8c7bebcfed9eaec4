// The headless tool's device watcher against the built simulator: discovery finds the ports,
// the status follows the device as it goes and comes back.
#include <gtest/gtest.h>

#include <chrono>

#include "sim_process.h"
#include "tool_process.h"

namespace upwend {
namespace {

using namespace std::chrono_literals;
using testing::FreshDir;
using testing::SimProcess;

size_t CountOf(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// upwend --headless as a child process with its output in files.
struct Upwend : testing::ToolProcess {
  Upwend(const std::string& home, std::vector<std::string> args)
      : ToolProcess(home, "app/console/upwend", std::move(args)) {}
};

constexpr const char* kScale = "0.1";

TEST(DiscoveryIntegrationTest, StatusFollowsTheSimulatedDevice) {
  std::string home = FreshDir("watch");
  std::string bus = home + "/bus";
  std::string state = home + "/state";
  auto sim = std::make_unique<SimProcess>(std::vector<std::string>{"--bus", bus, "--state", state, "--time-scale", kScale});
  ASSERT_TRUE(sim->WaitLine("published AT", 10s));

  Upwend tool(home, {"--headless", "--devices", "sim:" + bus, "--time-scale", kScale});
  size_t ready = tool.WaitFor("Status: Ready", 0, 60s);
  ASSERT_NE(ready, std::string::npos) << tool.Out() << tool.Err();
  std::string out = tool.Out();
  for (const char* line : {"CheckForComPorts start", "enum Port:COM5", "enum Port:COM6", "Start Send ATI COM6",
                           "Send ATI COM6 OK", "Send AT+VXTSW COM6 OK", "Send at+vxtinf=0,2 COM6 OK", "Close Port COM6",
                           "Find AT Port:COM6", "Diag Port:COM5", "AT Port:COM6"}) {
    EXPECT_NE(out.find(line), std::string::npos) << line;
  }
  // The DIAG port is never probed over AT.
  EXPECT_EQ(out.find("Start Send ATI COM5"), std::string::npos);

  // Unplugged: "Not Ready" within one pass of the watcher.
  size_t before = tool.Out().size();
  ASSERT_EQ(sim->Terminate(), 0);
  sim.reset();
  size_t notReady = tool.WaitFor("Status: Not Ready", before, 30s);
  ASSERT_NE(notReady, std::string::npos) << tool.Out();
  EXPECT_LE(CountOf(tool.Out().substr(before, notReady - before), "CheckForComPorts start"), 1u) << tool.Out();

  // Plugged in again: "Ready" again.
  size_t back = tool.Out().size();
  sim = std::make_unique<SimProcess>(std::vector<std::string>{"--bus", bus, "--state", state, "--time-scale", kScale});
  ASSERT_TRUE(sim->WaitLine("published AT", 10s));
  EXPECT_NE(tool.WaitFor("Status: Ready", back, 60s), std::string::npos) << tool.Out();

  EXPECT_EQ(tool.Stop(true), 0) << tool.Err();
  EXPECT_EQ(tool.Err().find("[Warning]"), std::string::npos) << tool.Err();
}

TEST(DiscoveryIntegrationTest, StartWaitsForReadyAndGivesUpAfterTheWait) {
  std::string home = FreshDir("nodevice");
  std::string bus = home + "/bus";
  Upwend tool(home, {"--headless", "--devices", "sim:" + bus, "--time-scale", kScale, "--start", "--wait", "3"});
  EXPECT_EQ(tool.Stop(false, 60s), 3) << "exit code of no device ready";
  std::string out = tool.Out();
  EXPECT_NE(out.find("Status: Not Ready"), std::string::npos) << out;
  EXPECT_EQ(out.find("1.3.5.0"), std::string::npos) << "Start was pressed without a device";
  EXPECT_NE(tool.Err().find("did not become ready"), std::string::npos) << tool.Err();
}

}  // namespace
}  // namespace upwend
