#include "app/discovery/device_watcher.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/clock.h"
#include "platform/headless_loop.h"

namespace upwend {
namespace {

// Runs the loop on this thread until `done` or about 5 s have passed.
template <typename Done>
bool Pump(HeadlessLoop& loop, Done done) {
  for (int i = 0; i < 5000 && !done(); ++i) {
    loop.RunPending();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return done();
}

TEST(DeviceWatcherTest, PassesRepeatUntilOneEndsTheWatcher) {
  ScaledClock clock(0.001);
  DeviceWatcher watcher(clock);
  std::atomic<int> passes{0};
  watcher.Start([&](const std::atomic<bool>&) { return ++passes == 3; });
  HeadlessLoop loop(clock);
  EXPECT_TRUE(Pump(loop, [&] { return !watcher.Running(); }));
  EXPECT_EQ(passes.load(), 3);
  EXPECT_EQ(watcher.passes(), 3u);
}

TEST(DeviceWatcherTest, EndingFromTheUiThreadNeverWaitsForAHandOverThatHasNotRun) {
  ScaledClock clock(0.001);
  HeadlessLoop loop(clock);
  DeviceWatcher watcher(clock);
  std::atomic<int> handedOver{0};
  std::atomic<bool> waiting{false};
  int ranOnUi = 0;
  watcher.Start([&](const std::atomic<bool>& stop) {
    waiting = true;
    bool ran = InvokeUnlessStopped(loop, stop, [&] { ++ranOnUi; });
    if (ran) ++handedOver;
    return false;
  });
  // The UI thread is busy (not pumping) while the watcher waits for it; ending must not hang.
  while (!waiting) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  auto begin = std::chrono::steady_clock::now();
  watcher.End();
  EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(2));
  EXPECT_FALSE(watcher.Running());
  loop.RunPending();  // the dropped hand-over does nothing
  EXPECT_EQ(ranOnUi, handedOver.load());

  // A restarted watcher hands over normally when the loop runs.
  watcher.Start([&](const std::atomic<bool>& stop) {
    InvokeUnlessStopped(loop, stop, [&] { ++ranOnUi; });
    return ranOnUi >= 3;
  });
  EXPECT_TRUE(Pump(loop, [&] { return !watcher.Running(); }));
  EXPECT_GE(ranOnUi, 3);
}

}  // namespace
}  // namespace upwend
