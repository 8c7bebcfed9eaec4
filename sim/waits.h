#pragma once
// Waits of the simulator's threads: logical time on the shared Clock, cut short by a stop flag
// so that shutting down never waits out a long injected delay.
#include <atomic>
#include <cstdint>

#include "platform/clock.h"

namespace upwend::sim {

// Sleeps `ms` logical milliseconds; returns false when `stop` was raised meanwhile.
bool WaitLogical(Clock& clock, uint64_t ms, const std::atomic<bool>& stop);

}  // namespace upwend::sim
