#include "app/discovery/device_watcher.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/clock.h"
#include "platform/ui_thread.h"

namespace upwend {

namespace {
constexpr uint64_t kSleepSliceMs = 100;
// How often a hand-over waiting for the UI thread looks at the stop flag (real time).
constexpr std::chrono::milliseconds kStopCheck{5};
}  // namespace

void DeviceWatcher::Start(Pass pass) {
  End();
  stop_ = std::make_shared<std::atomic<bool>>(false);
  finished_ = std::make_shared<std::atomic<bool>>(false);
  running_ = true;
  thread_ = std::thread([this, stop = stop_, finished = finished_, passes = passes_, pass = std::move(pass)] {
    while (!stop->load()) {
      bool end = pass(*stop);
      ++*passes;
      if (end) break;
      for (uint64_t slept = 0; slept < kPassIntervalMs && !stop->load(); slept += kSleepSliceMs) {
        clock_.SleepMs(std::min(kSleepSliceMs, kPassIntervalMs - slept));
      }
    }
    finished->store(true);
  });
}

void DeviceWatcher::End() {
  stop_->store(true);
  if (thread_.joinable()) thread_.join();
  running_ = false;
}

bool InvokeUnlessStopped(UiThread& ui, const std::atomic<bool>& stop, std::function<void()> task) {
  if (ui.IsUiThread()) {
    task();
    return true;
  }
  struct Handover {
    std::mutex mutex;
    std::condition_variable cv;
    bool started = false;
    bool done = false;
    bool dropped = false;
  };
  auto h = std::make_shared<Handover>();
  ui.Post([h, task = std::move(task)] {
    {
      std::lock_guard lock(h->mutex);
      if (h->dropped) return;
      h->started = true;
    }
    task();
    std::lock_guard lock(h->mutex);
    h->done = true;
    h->cv.notify_all();
  });
  std::unique_lock lock(h->mutex);
  while (!h->done) {
    // A task that has started is waited for: it may use what the waiter lent it.
    if (stop.load() && !h->started) {
      h->dropped = true;
      return false;
    }
    h->cv.wait_for(lock, kStopCheck);
  }
  return true;
}

}  // namespace upwend
