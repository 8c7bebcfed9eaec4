#pragma once
// A clock whose time moves only when someone sleeps on it: waits cost no real time and their
// count is exact, so tests can check how often a loop polled within a time limit.
#include <atomic>

#include "platform/clock.h"

namespace upwend {

class ManualClock final : public Clock {
public:
  uint64_t NowMs() const override { return now_.load(); }
  void SleepMs(uint64_t ms) override { now_ += ms; }
  std::chrono::nanoseconds ToReal(uint64_t) const override { return std::chrono::nanoseconds(0); }
  double Scale() const override { return 0; }
  void Advance(uint64_t ms) { now_ += ms; }

private:
  std::atomic<uint64_t> now_{0};
};

}  // namespace upwend
