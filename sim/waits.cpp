#include "sim/waits.h"

#include <algorithm>
#include <thread>

namespace upwend::sim {

bool WaitLogical(Clock& clock, uint64_t ms, const std::atomic<bool>& stop) {
  constexpr auto kSlice = std::chrono::milliseconds(10);
  auto deadline = std::chrono::steady_clock::now() + clock.ToReal(ms);
  while (!stop) {
    auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return true;
    std::this_thread::sleep_for(std::min<std::chrono::nanoseconds>(deadline - now, kSlice));
  }
  return false;
}

}  // namespace upwend::sim
