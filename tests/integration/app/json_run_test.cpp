// upwend --json through a whole run against upwend-sim: stdout carries only JSON Lines, every
// progress event moves forward, and exactly one result ends it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "sim_process.h"

namespace upwend {
namespace {

using testing::SimProcess;

std::string Program() { return std::string(std::getenv("UPWEND_BUILD_DIR")) + "/app/console/upwend"; }

TEST(JsonRunTest, AWholeRunAsJsonLines) {
  std::string home = testing::FreshDir("json-run");
  SimProcess sim({"--bus", home + "/bus", "--state", home + "/device", "--time-scale", "0.02"});
  ASSERT_TRUE(sim.WaitLine("published AT", std::chrono::seconds(10)));
  std::string err;
  int code = testing::RunCommand("UPWEND_HOME=" + home + " timeout 120 " + Program() +
                                     " --headless --start --wait 60 --time-scale 0.02 --json --devices sim:" + home +
                                     "/bus > " + home + "/out.json",
                                 err);
  ASSERT_EQ(code, 0) << err;
  // Every line parses as JSON (Debian's python3 is part of the build's tools).
  std::string check;
  EXPECT_EQ(testing::RunCommand("python3 -c 'import json,sys\nfor l in open(sys.argv[1]): json.loads(l)' " + home +
                                    "/out.json",
                                check),
            0)
      << check;
  std::ifstream in(home + "/out.json");
  std::regex progress(R"re(\{"event":"progress","part":"([^"]*)","done":(\d+),"total":(\d+),"rate":(\d+)\})re");
  uint64_t lastDone = 0;
  int progressEvents = 0;
  int results = 0;
  std::vector<std::string> phases;
  std::string line, last;
  while (std::getline(in, line)) {
    ASSERT_EQ(line.rfind("{\"event\":\"", 0), 0u) << line;
    std::smatch m;
    if (std::regex_match(line, m, progress)) {
      uint64_t done = std::stoull(m[2]);
      EXPECT_GE(done, lastDone) << line;
      EXPECT_LE(done, std::stoull(m[3])) << line;
      lastDone = done;
      ++progressEvents;
    } else if (line.find("\"event\":\"phase\"") != std::string::npos) {
      phases.push_back(line);
    }
    results += line.find("\"event\":\"result\"") != std::string::npos;
    last = line;
  }
  EXPECT_GT(progressEvents, 5);
  EXPECT_EQ(results, 1);
  EXPECT_EQ(last, "{\"event\":\"result\",\"status\":\"PASS\",\"error\":null,\"log\":null}");
  ASSERT_GE(phases.size(), 3u);
  EXPECT_EQ(phases.front(), "{\"event\":\"phase\",\"name\":\"backup\"}");
  EXPECT_EQ(phases[1], "{\"event\":\"phase\",\"name\":\"flash sbl1.mbn\"}");
  EXPECT_EQ(phases.back(), "{\"event\":\"phase\",\"name\":\"restore\"}");
}

}  // namespace
}  // namespace upwend
