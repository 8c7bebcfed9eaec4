#pragma once
// The thread behind a simulated port or endpoint: it serves until the port is closed. Its body
// watches the stop flag (and hands it to WaitLogical) and returns soon after it is raised.
#include <atomic>
#include <functional>
#include <thread>

namespace upwend::sim {

class ServiceThread {
public:
  ServiceThread() = default;
  ~ServiceThread() { Stop(); }
  ServiceThread(const ServiceThread&) = delete;
  ServiceThread& operator=(const ServiceThread&) = delete;

  void Start(std::function<void()> body) {
    stop_ = false;
    thread_ = std::thread(std::move(body));
  }
  // Raises the stop flag and waits for the body to return.
  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  const std::atomic<bool>& stopFlag() const { return stop_; }
  bool stopping() const { return stop_; }

private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace upwend::sim
