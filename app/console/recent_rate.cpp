#include "app/console/recent_rate.h"

#include <algorithm>

namespace upwend {

void RecentRate::Sample(double seconds, uint64_t bytes) {
  if (!samples_.empty()) {
    if (bytes < samples_.back().bytes) bytes = samples_.back().bytes;
    if (seconds < samples_.back().seconds) seconds = samples_.back().seconds;
  }
  samples_.push_back({seconds, bytes});
  // Keep one point at or before the window's start, so the span always covers the window.
  while (samples_.size() > 2 && samples_[1].seconds <= seconds - window_) samples_.pop_front();
}

double RecentRate::BytesPerSecond() const {
  if (samples_.size() < 2) return 0;
  const Point& first = samples_.front();
  const Point& last = samples_.back();
  // The total stood at first.bytes from the first point on, so an older point counts from the
  // window's start.
  double span = last.seconds - std::max(first.seconds, last.seconds - window_);
  // Too short a span gives wild numbers from the first few blocks.
  constexpr double kMinSpan = 0.2;
  if (span < kMinSpan) return 0;
  return static_cast<double>(last.bytes - first.bytes) / span;
}

std::optional<double> RecentRate::SecondsLeft(uint64_t total) const {
  double rate = BytesPerSecond();
  if (rate <= 0) return std::nullopt;
  uint64_t done = bytes();
  return done >= total ? 0.0 : static_cast<double>(total - done) / rate;
}

}  // namespace upwend
