#include "platform/clock.h"
#include "platform/sleep_resolution.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>

namespace upwend {

ScaledClock::ScaledClock(double scale)
    : scale_(scale > 0 && std::isfinite(scale) ? scale : 1.0), start_(std::chrono::steady_clock::now()) {
  PrepareFineSleeps();
}

uint64_t ScaledClock::NowMs() const {
  auto real = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_).count();
  return static_cast<uint64_t>(real / scale_);
}

void ScaledClock::SleepMs(uint64_t ms) {
  if (ms == 0) {
    std::this_thread::yield();
    return;
  }
  std::this_thread::sleep_for(ToReal(ms));
}

std::chrono::nanoseconds ScaledClock::ToReal(uint64_t ms) const {
  return std::chrono::nanoseconds(static_cast<int64_t>(static_cast<double>(ms) * 1e6 * scale_));
}

double TimeScaleFromEnv() {
  const char* text = std::getenv("UPWEND_TIME_SCALE");
  if (text == nullptr || *text == '\0') return 1.0;
  char* end = nullptr;
  double v = std::strtod(text, &end);
  if (end == text || *end != '\0' || !(v > 0) || !std::isfinite(v)) return 1.0;
  return v;
}

namespace {
std::once_flag gClockOnce;
std::unique_ptr<ScaledClock> gClock;
double gRequestedScale = 0;
}  // namespace

void SetSystemTimeScale(double scale) { gRequestedScale = scale; }

Clock& SystemClock() {
  std::call_once(gClockOnce, [] {
    gClock = std::make_unique<ScaledClock>(gRequestedScale > 0 ? gRequestedScale : TimeScaleFromEnv());
  });
  return *gClock;
}

int RealPollMs(const Clock& clock, int64_t ms) {
  if (ms < 0) return -1;
  if (ms == 0) return 0;
  auto ns = clock.ToReal(static_cast<uint64_t>(ms)).count();
  int64_t real = (ns + 999999) / 1000000;
  if (real < 1) real = 1;
  if (real > 0x7fffffff) real = 0x7fffffff;
  return static_cast<int>(real);
}

uint64_t ReplyFloorMs(const Clock& clock, uint64_t windowMs) {
  double scale = clock.Scale();
  if (scale <= 0 || scale >= 1) return 0;
  double realFloor = static_cast<double>(std::min(windowMs, kReplyFloorRealMs));
  constexpr double kMaxLogicalMs = 1e15;  // a scale near 0 must not overflow the conversion
  auto logical = static_cast<uint64_t>(std::min(std::ceil(realFloor / scale), kMaxLogicalMs));
  return logical > windowMs ? logical : 0;
}

}  // namespace upwend
