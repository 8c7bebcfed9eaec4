#include "platform/headless_loop.h"

#include <algorithm>

namespace upwend {

HeadlessLoop::HeadlessLoop(Clock& clock) : clock_(clock), uiThread_(std::this_thread::get_id()) {}

HeadlessLoop::~HeadlessLoop() { Finish(); }

bool HeadlessLoop::IsUiThread() const {
  std::lock_guard lock(mutex_);
  return std::this_thread::get_id() == uiThread_;
}

void HeadlessLoop::Post(std::function<void()> task) {
  {
    std::lock_guard lock(mutex_);
    if (finished_) return;
    tasks_.push_back(Task{std::move(task), nullptr});
  }
  wake_.notify_all();
}

void HeadlessLoop::Invoke(const std::function<void()>& task) {
  if (IsUiThread()) {
    task();
    return;
  }
  auto done = std::make_shared<bool>(false);
  std::unique_lock lock(mutex_);
  if (finished_) return;
  tasks_.push_back(Task{task, done});
  wake_.notify_all();
  doneCv_.wait(lock, [&] { return *done || finished_; });
}

int HeadlessLoop::StartTimer(uint32_t intervalMs, std::function<void()> task) {
  std::lock_guard lock(mutex_);
  int id = nextTimerId_++;
  uint64_t interval = std::max<uint64_t>(intervalMs, 1);
  timers_[id] = Timer{interval, clock_.NowMs() + interval, std::make_shared<std::function<void()>>(std::move(task))};
  wake_.notify_all();
  return id;
}

void HeadlessLoop::StopTimer(int id) {
  std::lock_guard lock(mutex_);
  timers_.erase(id);
}

void HeadlessLoop::Quit(int exitCode) {
  {
    std::lock_guard lock(mutex_);
    if (!quit_) exitCode_ = exitCode;
    quit_ = true;
  }
  wake_.notify_all();
}

bool HeadlessLoop::quitRequested() const {
  std::lock_guard lock(mutex_);
  return quit_;
}

int HeadlessLoop::exitCode() const {
  std::lock_guard lock(mutex_);
  return exitCode_;
}

bool HeadlessLoop::Step(bool wait) {
  std::unique_lock lock(mutex_);
  for (;;) {
    if (quit_) return false;
    if (!tasks_.empty()) {
      Task task = std::move(tasks_.front());
      tasks_.pop_front();
      lock.unlock();
      try {
        task.fn();
      } catch (...) {
        if (task.done) {
          std::lock_guard relock(mutex_);
          *task.done = true;
        }
        doneCv_.notify_all();
        throw;
      }
      if (task.done) {
        lock.lock();
        *task.done = true;
        lock.unlock();
        doneCv_.notify_all();
      }
      return true;
    }
    uint64_t now = clock_.NowMs();
    auto due = std::min_element(timers_.begin(), timers_.end(),
                                [](const auto& a, const auto& b) { return a.second.dueMs < b.second.dueMs; });
    if (due != timers_.end() && due->second.dueMs <= now) {
      due->second.dueMs = now + due->second.intervalMs;
      auto fn = due->second.fn;
      lock.unlock();
      (*fn)();
      return true;
    }
    if (!wait) return true;
    if (due != timers_.end()) {
      wake_.wait_for(lock, clock_.ToReal(due->second.dueMs - now));
    } else {
      wake_.wait(lock);
    }
  }
}

bool HeadlessLoop::RunPending() {
  size_t budget;
  {
    std::lock_guard lock(mutex_);
    budget = tasks_.size() + timers_.size();
  }
  // Only what is queued now: a task that posts another does not keep this call going.
  for (size_t i = 0; i < budget; ++i) {
    {
      std::lock_guard lock(mutex_);
      if (quit_) return false;
      if (tasks_.empty()) {
        uint64_t now = clock_.NowMs();
        bool anyDue = std::any_of(timers_.begin(), timers_.end(), [&](const auto& t) { return t.second.dueMs <= now; });
        if (!anyDue) break;
      }
    }
    if (!Step(false)) return false;
  }
  return !quitRequested();
}

int HeadlessLoop::Run() {
  {
    std::lock_guard lock(mutex_);
    uiThread_ = std::this_thread::get_id();
  }
  try {
    while (Step(true)) {
    }
  } catch (...) {
    Finish();
    throw;
  }
  Finish();
  return exitCode();
}

void HeadlessLoop::Finish() {
  {
    std::lock_guard lock(mutex_);
    finished_ = true;
    tasks_.clear();
    timers_.clear();
  }
  doneCv_.notify_all();
}

}  // namespace upwend
