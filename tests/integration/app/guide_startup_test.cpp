// The customer builds as a user runs them headless against the simulated device: a cancelled
// guide ends the whole start-up before the device watcher, a finished one lets it go on.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "sim_process.h"
#include "tool_process.h"

namespace upwend {
namespace {

using namespace std::chrono_literals;
using testing::FreshDir;
using testing::SimProcess;
using testing::ToolProcess;

constexpr const char* kScale = "0.01";
// The update itself probes the device's ports with scaled time-outs: a loaded machine needs more.
constexpr const char* kUpdateScale = "0.1";

size_t CountOf(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// One simulated device for a test, on a bus below `home`.
std::unique_ptr<SimProcess> StartDevice(const std::string& home, const char* scale = kScale) {
  auto sim = std::make_unique<SimProcess>(
      std::vector<std::string>{"--bus", home + "/bus", "--state", home + "/state", "--time-scale", scale});
  if (!sim->WaitLine("published AT", 10s)) return nullptr;
  return sim;
}

std::vector<std::string> Args(const std::string& home, const std::string& answer, const char* scale = kScale) {
  return {"--headless", "--devices", "sim:" + home + "/bus", "--time-scale", scale, "--answer", answer};
}

struct Variant {
  const char* name;
  size_t pages;  // the pages a finished guide passes
};

constexpr Variant kWizards[] = {
    {"pt02", 4}, {"pt06", 4}, {"pt19", 4}, {"pt42", 4}, {"pt03-variant1", 4},
    {"pt03-variant2", 4}, {"pt03-variant3", 4}, {"pt28", 1},
};

TEST(GuideStartupTest, CancelledGuideEndsStartUpBeforeTheDeviceWatcher) {
  std::string home = FreshDir("guide-cancel");
  auto sim = StartDevice(home);
  ASSERT_TRUE(sim);
  for (const char* name : {"pt02", "pt19", "pt42", "pt03-variant3", "pt28", "pt41"}) {
    SCOPED_TRACE(name);
    ToolProcess tool(home, std::string("variants/upwend-") + name, Args(home, "cancel"), name);
    EXPECT_EQ(tool.Stop(false, 60s), 2) << tool.Err();
    EXPECT_EQ(CountOf(tool.Err(), "[guide] "), 1u) << tool.Err();
    EXPECT_EQ(tool.Out().find("Status: "), std::string::npos) << "the device watcher ran:\n" << tool.Out();
    EXPECT_EQ(tool.Out().find("Start succssfully"), std::string::npos) << tool.Out();
  }
}

TEST(GuideStartupTest, FinishedGuideGoesOnToTheDeviceWatcher) {
  std::string home = FreshDir("guide-finish");
  auto sim = StartDevice(home);
  ASSERT_TRUE(sim);
  for (const Variant& v : kWizards) {
    SCOPED_TRACE(v.name);
    ToolProcess tool(home, std::string("variants/upwend-") + v.name, Args(home, "ok"), v.name);
    EXPECT_NE(tool.WaitFor("Status: ", 0, 60s), std::string::npos) << tool.Err();
    EXPECT_EQ(tool.Stop(true), 0) << tool.Err();
    EXPECT_EQ(CountOf(tool.Err(), "[guide] "), v.pages) << tool.Err();
  }
  // Builds whose project type has no wizard show none.
  for (const char* name : {"pt27", "japanese"}) {
    SCOPED_TRACE(name);
    ToolProcess tool(home, std::string("variants/upwend-") + name, Args(home, "cancel"), name);
    EXPECT_NE(tool.WaitFor("Status: ", 0, 60s), std::string::npos) << tool.Err();
    EXPECT_EQ(tool.Stop(true), 0) << tool.Err();
    EXPECT_EQ(tool.Err().find("[guide]"), std::string::npos) << tool.Err();
  }
}

// Project type 41 has no device watcher: its guide's Start looks for the device and starts the
// update; without a device it ends on the card page, and so does the program.
TEST(GuideStartupTest, CardGuideStartsTheUpdateOrEndsWithoutADevice) {
  std::string empty = FreshDir("guide-41-nodevice");
  ToolProcess none(empty, "variants/upwend-pt41", Args(empty, "ok"), "pt41");
  EXPECT_EQ(none.Stop(false, 60s), 2) << none.Err();
  EXPECT_NE(none.Err().find("[guide] 请检查上网卡是否已经插入电脑相应接口！"), std::string::npos) << none.Err();

  std::string home = FreshDir("guide-41");
  auto sim = StartDevice(home, kUpdateScale);
  ASSERT_TRUE(sim);
  ToolProcess tool(home, "variants/upwend-pt41", Args(home, "ok", kUpdateScale), "pt41");
  EXPECT_EQ(tool.Stop(false, 300s), 0) << tool.Err();
  EXPECT_EQ(CountOf(tool.Err(), "[guide] "), 3u) << tool.Err();
  std::string out = tool.Out();
  EXPECT_EQ(CountOf(out, "Start succssfully"), 1u) << "Start pressed once:\n" << out;
  EXPECT_NE(out.find("PASS"), std::string::npos) << out;
  EXPECT_EQ(out.find("Status: "), std::string::npos) << out;
}

}  // namespace
}  // namespace upwend
