#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "platform/clock.h"
#include "platform/headless_loop.h"

namespace upwend {
namespace {

TEST(HeadlessLoopTest, InvokeRunsOnTheLoopThreadAndWaits) {
  ScaledClock clock(0.01);
  HeadlessLoop loop(clock);
  std::thread::id uiId;
  std::atomic<int> order{0};
  int seenByWorker = -1;
  std::thread worker([&] {
    int value = 0;
    loop.Invoke([&] {
      EXPECT_TRUE(loop.IsUiThread());
      uiId = std::this_thread::get_id();
      value = ++order;
    });
    seenByWorker = value;  // set before Invoke returned
    EXPECT_FALSE(loop.IsUiThread());
    loop.Post([&] { loop.Quit(7); });
  });
  EXPECT_EQ(loop.Run(), 7);
  worker.join();
  EXPECT_EQ(uiId, std::this_thread::get_id());
  EXPECT_EQ(seenByWorker, 1);
}

TEST(HeadlessLoopTest, TimersRunOnTheScaledClockUntilStopped) {
  ScaledClock clock(0.001);
  HeadlessLoop loop(clock);
  int ticks = 0;
  int id = 0;
  id = loop.StartTimer(2000, [&] {
    if (++ticks == 3) {
      loop.StopTimer(id);
      loop.StartTimer(1000, [&] { loop.Quit(0); });
    }
  });
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(loop.Run(), 0);
  EXPECT_EQ(ticks, 3);
  // 3 x 2 s + 1 s of logical time is 7 ms of real time; allow plenty for a loaded machine.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  EXPECT_GE(clock.NowMs(), 7000u);
}

TEST(HeadlessLoopTest, WaitersAreReleasedWhenTheLoopEnds) {
  ScaledClock clock(0.01);
  std::thread worker;
  {
    HeadlessLoop loop(clock);
    loop.Quit(3);
    EXPECT_EQ(loop.Run(), 3);
    worker = std::thread([&] { loop.Invoke([] { FAIL() << "ran after the loop ended"; }); });
    worker.join();  // returns: the loop is gone
  }
}

TEST(HeadlessLoopTest, ATaskThatThrowsEndsRunAndReleasesItsWaiter) {
  ScaledClock clock(0.01);
  HeadlessLoop loop(clock);
  std::thread worker([&] { loop.Invoke([] { throw std::runtime_error("Resource x not found"); }); });
  EXPECT_THROW(loop.Run(), std::runtime_error);
  worker.join();
}

TEST(HeadlessLoopTest, RunPendingRunsOnlyWhatIsQueued) {
  ScaledClock clock(0.01);
  HeadlessLoop loop(clock);
  int runs = 0;
  std::function<void()> again = [&] {
    ++runs;
    loop.Post(again);
  };
  loop.Post(again);
  EXPECT_TRUE(loop.RunPending());
  EXPECT_EQ(runs, 1);
  loop.Quit(1);
  EXPECT_FALSE(loop.RunPending());
  EXPECT_EQ(loop.exitCode(), 1);
}

}  // namespace
}  // namespace upwend
