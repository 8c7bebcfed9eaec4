#include "app/qt/qt_ui_thread.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <algorithm>

#include "platform/clock.h"

namespace upwend {

QtUiThread::QtUiThread(Clock& clock) : clock_(clock) {}

QtUiThread::~QtUiThread() {
  {
    std::lock_guard lock(mutex_);
    finished_ = true;
  }
  doneCv_.notify_all();
}

bool QtUiThread::IsUiThread() const { return QThread::currentThread() == thread(); }

bool QtUiThread::finished() const {
  std::lock_guard lock(mutex_);
  return finished_;
}

void QtUiThread::Invoke(const std::function<void()>& task) {
  if (IsUiThread()) {
    task();
    AfterTask();
    return;
  }
  auto done = std::make_shared<bool>(false);
  std::unique_lock lock(mutex_);
  if (finished_) return;
  tasks_.push_back(Task{task, done});
  QMetaObject::invokeMethod(this, [this] { Drain(); }, Qt::QueuedConnection);
  doneCv_.wait(lock, [&] { return *done || finished_; });
}

void QtUiThread::Post(std::function<void()> task) {
  std::lock_guard lock(mutex_);
  if (finished_) return;
  tasks_.push_back(Task{std::move(task), nullptr});
  QMetaObject::invokeMethod(this, [this] { Drain(); }, Qt::QueuedConnection);
}

void QtUiThread::Drain() {
  for (;;) {
    Task task;
    {
      std::lock_guard lock(mutex_);
      if (tasks_.empty() || finished_) return;
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    try {
      task.fn();
    } catch (...) {
      // An exception must not cross Qt's event loop: the loop ends and Run() rethrows it.
      std::lock_guard lock(mutex_);
      if (!error_) error_ = std::current_exception();
      QMetaObject::invokeMethod(qApp, [] { QCoreApplication::exit(1); }, Qt::QueuedConnection);
    }
    if (task.done) {
      std::lock_guard lock(mutex_);
      *task.done = true;
    }
    doneCv_.notify_all();
    AfterTask();
  }
}

void QtUiThread::AfterTask() {
  if (afterTask_) afterTask_();
}

int QtUiThread::StartTimer(uint32_t intervalMs, std::function<void()> task) {
  auto* timer = new QTimer(this);
  auto realMs = std::chrono::duration_cast<std::chrono::milliseconds>(clock_.ToReal(intervalMs)).count();
  timer->setInterval(static_cast<int>(std::max<int64_t>(1, realMs)));
  QObject::connect(timer, &QTimer::timeout, this, [this, task = std::move(task)] {
    task();
    AfterTask();
  });
  timer->start();
  int id = nextTimerId_++;
  timers_[id] = timer;
  return id;
}

void QtUiThread::StopTimer(int id) {
  auto it = timers_.find(id);
  if (it == timers_.end()) return;
  it->second->stop();
  it->second->deleteLater();
  timers_.erase(it);
}

void QtUiThread::Quit(int exitCode) {
  {
    std::lock_guard lock(mutex_);
    exitCode_ = exitCode;
  }
  QMetaObject::invokeMethod(qApp, [exitCode] { QCoreApplication::exit(exitCode); }, Qt::QueuedConnection);
}

int QtUiThread::Run() {
  {
    std::lock_guard lock(mutex_);
    if (finished_) return exitCode_;
  }
  int code = QCoreApplication::exec();
  {
    std::lock_guard lock(mutex_);
    finished_ = true;
    tasks_.clear();
  }
  doneCv_.notify_all();
  if (error_) std::rethrow_exception(error_);
  return code;
}

}  // namespace upwend
