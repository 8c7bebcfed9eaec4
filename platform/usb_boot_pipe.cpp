#include "platform/usb_boot_pipe.h"

#include <algorithm>
#include <chrono>

#include "platform/clock.h"
#include "platform/system_usb_boot_port.h"

namespace upwend {

namespace {

// However fast the clock runs, a write gets this long in real time: a scaled-down time-out would
// otherwise fail a write that a busy machine merely delayed.
constexpr int64_t kRealFloorMs = 200;

}  // namespace

std::unique_ptr<UsbBootPort> CreateUsbBootPort(Clock& clock, uint64_t writeTimeoutMs) {
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(clock.ToReal(writeTimeoutMs)).count();
  return CreateSystemUsbBootPort(static_cast<unsigned>(std::max<int64_t>(ms, kRealFloorMs)));
}

}  // namespace upwend
