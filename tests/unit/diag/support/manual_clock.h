#pragma once
// A clock that only moves when someone sleeps on it: waits and time limits are exact and take
// no real time.
#include <atomic>

#include "platform/clock.h"

namespace upwend::test {

class ManualClock final : public Clock {
public:
  uint64_t NowMs() const override { return now_; }
  void SleepMs(uint64_t ms) override { now_ += ms; }
  std::chrono::nanoseconds ToReal(uint64_t ms) const override { return std::chrono::milliseconds(ms); }
  double Scale() const override { return 1.0; }
  void Advance(uint64_t ms) { now_ += ms; }

private:
  std::atomic<uint64_t> now_{0};
};

}  // namespace upwend::test
