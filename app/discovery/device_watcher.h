#pragma once
// The device watcher: a thread that runs a pass of the device check, then sleeps 2 s, until a
// pass ends it or End() is called. Ending is cooperative: End() raises the stop flag and joins;
// the thread's waits (the sleep between passes, the discovery pauses, a hand-over to the UI
// thread that has not run yet) watch that flag, so End() never waits on the UI thread it may be
// called from.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

namespace upwend {

class Clock;
class UiThread;

class DeviceWatcher {
public:
  // One pass; true ends the watcher. `stop` is raised when the watcher is being ended.
  using Pass = std::function<bool(const std::atomic<bool>& stop)>;

  static constexpr uint64_t kPassIntervalMs = 2000;

  explicit DeviceWatcher(Clock& clock) : clock_(clock) {}
  ~DeviceWatcher() { End(); }
  DeviceWatcher(const DeviceWatcher&) = delete;
  DeviceWatcher& operator=(const DeviceWatcher&) = delete;

  // Starts a thread (the caller ends a running one first). Not from the watcher's own thread.
  void Start(Pass pass);
  // Ends the thread and waits for it. Not from the watcher's own thread.
  void End();
  // A thread exists and has not finished its last pass.
  bool Running() const { return running_ && !finished_->load(); }
  uint64_t passes() const { return passes_->load(); }

private:
  Clock& clock_;
  std::thread thread_;
  bool running_ = false;
  std::shared_ptr<std::atomic<bool>> stop_ = std::make_shared<std::atomic<bool>>(false);
  std::shared_ptr<std::atomic<bool>> finished_ = std::make_shared<std::atomic<bool>>(true);
  std::shared_ptr<std::atomic<uint64_t>> passes_ = std::make_shared<std::atomic<uint64_t>>(0);
};

// Runs `task` on the UI thread and waits until it has run, unless `stop` is raised first: the
// task is then dropped (never run) and false is returned. On the UI thread it runs at once.
bool InvokeUnlessStopped(UiThread& ui, const std::atomic<bool>& stop, std::function<void()> task);

}  // namespace upwend
