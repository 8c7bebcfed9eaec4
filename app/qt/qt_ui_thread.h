#pragma once
// The UiThread of the window: tasks and timers run on the Qt GUI thread. Invoke posts the task
// and waits until it has run, so a worker's report is handled completely before its next step,
// while the window keeps repainting. Callers blocked in Invoke are released once the loop has
// ended, so no worker hangs on a window that is gone. After each task the window is told to
// show the state again.
#include <QObject>

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "platform/ui_thread.h"

class QTimer;

namespace upwend {

class Clock;

class QtUiThread final : public QObject, public UiThread {
public:
  // Must be created on the GUI thread, after the QApplication.
  explicit QtUiThread(Clock& clock);
  ~QtUiThread() override;

  void Invoke(const std::function<void()>& task) override;
  void Post(std::function<void()> task) override;
  int StartTimer(uint32_t intervalMs, std::function<void()> task) override;
  void StopTimer(int id) override;
  bool IsUiThread() const override;
  void Quit(int exitCode) override;
  int Run() override;

  // Runs after every task and timer tick (the window renders the state model).
  void SetAfterTask(std::function<void()> afterTask) { afterTask_ = std::move(afterTask); }
  bool finished() const;

private:
  struct Task {
    std::function<void()> fn;
    std::shared_ptr<bool> done;
  };
  void Drain();
  void AfterTask();

  Clock& clock_;
  mutable std::mutex mutex_;
  std::condition_variable doneCv_;
  std::deque<Task> tasks_;
  bool finished_ = false;
  std::exception_ptr error_;
  int exitCode_ = 0;
  std::map<int, QTimer*> timers_;
  int nextTimerId_ = 1;
  std::function<void()> afterTask_;
};

}  // namespace upwend
