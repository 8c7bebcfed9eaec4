#pragma once
// Every sleep, time-out and clock read of the tool and the simulator goes through a Clock.
// One scale factor shrinks all of them alike, so tests and the demo run the real sequence fast:
// with scale 0.01 a 2000 ms wait takes 20 ms of real time, and NowMs() advances 100 times faster.
#include <chrono>
#include <cstdint>

namespace upwend {

class Clock {
public:
  virtual ~Clock() = default;
  // Logical milliseconds since an arbitrary start (real elapsed time divided by the scale).
  virtual uint64_t NowMs() const = 0;
  // Sleeps for a logical duration.
  virtual void SleepMs(uint64_t ms) = 0;
  // The real duration of a logical one, for OS calls that take a time-out (poll, select).
  virtual std::chrono::nanoseconds ToReal(uint64_t ms) const = 0;
  virtual double Scale() const = 0;
};

class ScaledClock final : public Clock {
public:
  explicit ScaledClock(double scale = 1.0);
  uint64_t NowMs() const override;
  void SleepMs(uint64_t ms) override;
  std::chrono::nanoseconds ToReal(uint64_t ms) const override;
  double Scale() const override { return scale_; }

private:
  double scale_;
  std::chrono::steady_clock::time_point start_;
};

// The time scale from UPWEND_TIME_SCALE; 1 when unset or not a positive number.
double TimeScaleFromEnv();

// The process-wide clock. Its scale is read from the environment on first use and can be set
// once, before any other use, from the command line.
Clock& SystemClock();
void SetSystemTimeScale(double scale);

// Real milliseconds for a logical time-out of `ms` on `clock`, rounded up, at least 1 when ms > 0;
// for poll() and friends. -1 stays -1 (wait forever).
int RealPollMs(const Clock& clock, int64_t ms);

// How long, in logical ms, a window of `windowMs` in which a peer (the device, the simulator)
// must answer has to stay open at the least: 0 when the window is long enough as it is. A small
// time scale would otherwise shrink a reply window below what a loaded machine answers in (a
// 1000 ms probe becomes 10 ms at scale 0.01), so a scaled window lasts at least
// min(windowMs, kReplyFloorRealMs) of real time. At scale 1 (and on a manual clock) it is 0:
// a real device sees exactly the windows it always saw.
inline constexpr uint64_t kReplyFloorRealMs = 500;
uint64_t ReplyFloorMs(const Clock& clock, uint64_t windowMs);

}  // namespace upwend
