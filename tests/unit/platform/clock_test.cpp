#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "platform/clock.h"

namespace upwend {
namespace {

TEST(ClockTest, ScaleShrinksSleepsAndStretchesTheLogicalClock) {
  ScaledClock clock(0.01);
  auto realStart = std::chrono::steady_clock::now();
  uint64_t logicalStart = clock.NowMs();
  clock.SleepMs(2000);  // 20 ms of real time
  auto realMs = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - realStart).count();
  EXPECT_GE(realMs, 19);
  EXPECT_LT(realMs, 1000);
  EXPECT_GE(clock.NowMs() - logicalStart, 1900u);
  EXPECT_EQ(RealPollMs(clock, 1000), 10);
  EXPECT_EQ(RealPollMs(clock, 1), 1);  // never rounds a real wait down to "do not wait"
  EXPECT_EQ(RealPollMs(clock, 0), 0);
  EXPECT_EQ(RealPollMs(clock, -1), -1);
}

TEST(ClockTest, AReplyWindowNeverShrinksBelowItsRealFloor) {
  // Scale 0.01: a 1000 ms probe window would be 10 ms of real time; it stays open 500 ms.
  EXPECT_EQ(ReplyFloorMs(ScaledClock(0.01), 1000), 50000u);
  // A window shorter than the floor keeps its own unscaled length at the least.
  EXPECT_EQ(ReplyFloorMs(ScaledClock(0.01), 100), 10000u);
  // Long enough already, or real time, or a manual clock: nothing added.
  EXPECT_EQ(ReplyFloorMs(ScaledClock(0.5), 8000), 0u);
  EXPECT_EQ(ReplyFloorMs(ScaledClock(1), 100), 0u);
  EXPECT_EQ(ReplyFloorMs(ScaledClock(1e-300), 8000), 1000000000000000u);
}

TEST(ClockTest, BadScalesFallBackToRealTime) {
  EXPECT_EQ(ScaledClock(0).Scale(), 1.0);
  EXPECT_EQ(ScaledClock(-3).Scale(), 1.0);
  for (const char* bad : {"", "abc", "0", "-1", "1x", "nan"}) {
    setenv("UPWEND_TIME_SCALE", bad, 1);
    EXPECT_EQ(TimeScaleFromEnv(), 1.0) << bad;
  }
  setenv("UPWEND_TIME_SCALE", "0.05", 1);
  EXPECT_DOUBLE_EQ(TimeScaleFromEnv(), 0.05);
  unsetenv("UPWEND_TIME_SCALE");
}

}  // namespace
}  // namespace upwend
