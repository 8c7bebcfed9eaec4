#pragma once
// The transfer rate over the last few seconds, and the time left at that rate. A run's average
// would read the fast flash rate for minutes while the restore sends nothing.
#include <cstdint>
#include <deque>
#include <optional>

namespace upwend {

class RecentRate {
public:
  explicit RecentRate(double windowSeconds = 3.0) : window_(windowSeconds) {}
  // `bytes` is the run's running total; a total that went down is taken as unchanged.
  void Sample(double seconds, uint64_t bytes);
  // Bytes per second over the window; 0 while nothing moved in it.
  double BytesPerSecond() const;
  // Seconds until `total` at the recent rate; nullopt while the rate is 0.
  std::optional<double> SecondsLeft(uint64_t total) const;
  uint64_t bytes() const { return samples_.empty() ? 0 : samples_.back().bytes; }

private:
  struct Point {
    double seconds;
    uint64_t bytes;
  };
  double window_;
  std::deque<Point> samples_;
};

}  // namespace upwend
