#pragma once
// The UiThread of headless runs and tests: a small event loop on the thread that calls Run().
// Tasks run in the order they were posted; timers run on the Clock (so a scaled clock makes a
// 2-second timer fire in 20 ms at scale 0.01). Quit ends Run() with an exit code before the next
// task. A task that throws ends Run() with that exception (the program's error box shows it);
// callers blocked in Invoke are released whenever the loop ends, so no thread hangs on a loop
// that is gone.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/clock.h"
#include "platform/ui_thread.h"

namespace upwend {

class HeadlessLoop final : public UiThread {
public:
  explicit HeadlessLoop(Clock& clock);
  ~HeadlessLoop() override;

  // Runs tasks and timers on the calling thread until Quit; returns the exit code.
  int Run() override;
  // Runs the tasks queued so far and the timers due now, without waiting; for tests and for
  // start-up code that runs before the loop. Returns false once the loop has been asked to quit.
  bool RunPending();

  void Invoke(const std::function<void()>& task) override;
  void Post(std::function<void()> task) override;
  int StartTimer(uint32_t intervalMs, std::function<void()> task) override;
  void StopTimer(int id) override;
  bool IsUiThread() const override;
  void Quit(int exitCode) override;

  bool quitRequested() const;
  int exitCode() const;

private:
  struct Task {
    std::function<void()> fn;
    std::shared_ptr<bool> done;  // set for Invoke, which waits for it
  };
  struct Timer {
    uint64_t intervalMs = 0;
    uint64_t dueMs = 0;
    std::shared_ptr<std::function<void()>> fn;
  };

  // One step: runs one task or one due timer. `wait` blocks until there is something to do.
  bool Step(bool wait);
  void Finish();

  Clock& clock_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable doneCv_;
  std::deque<Task> tasks_;
  std::map<int, Timer> timers_;
  int nextTimerId_ = 1;
  bool quit_ = false;
  bool finished_ = false;
  int exitCode_ = 0;
  std::thread::id uiThread_;
};

}  // namespace upwend
