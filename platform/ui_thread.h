#pragma once
// "Carried out on the UI thread while the worker waits": every call from another thread into
// window state goes through a UiThread. Two implementations: a small event loop for headless
// runs and tests (HeadlessLoop) and an adapter to the Qt event loop (the window).
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

namespace upwend {

class UiThread {
public:
  virtual ~UiThread() = default;
  // Runs `task` on the UI thread and returns when it has run. Called on the UI thread itself,
  // it runs the task at once.
  virtual void Invoke(const std::function<void()>& task) = 0;
  // Queues `task` for the UI thread and returns at once.
  virtual void Post(std::function<void()> task) = 0;
  // Runs `task` on the UI thread every `intervalMs` (logical ms) until the returned id is
  // cancelled.
  virtual int StartTimer(uint32_t intervalMs, std::function<void()> task) = 0;
  virtual void StopTimer(int id) = 0;
  virtual bool IsUiThread() const = 0;
  // Asks the loop to end (the application's quit request); the loop ends when it sees it.
  virtual void Quit(int exitCode) = 0;
  // Runs the loop on the calling thread until Quit; returns the exit code. Callers blocked in
  // Invoke are released when the loop has ended.
  virtual int Run() = 0;
};

}  // namespace upwend
