#pragma once
// Waiting in tests for what another thread or process does: `done` is asked again every
// few milliseconds until it holds or `limit` of real time (20 s unless given) has passed. No test waits a fixed time.
#include <chrono>
#include <thread>

namespace upwend::testing {

template <typename Done>
bool PollUntil(Done done, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace upwend::testing
