#pragma once
// A minimal fastboot-over-TCP client that streams one download from memory as fast as the
// socket takes it, then flashes it: the simulator's own rate, the ceiling of any client.
#include <cstdint>
#include <string>

namespace upwend::bench {

// Seconds for download + flash of `size` bytes to `partition`, or a negative value (with `error`).
double RawSinkSeconds(const std::string& endpoint, uint64_t size, const std::string& partition, std::string& error);

}  // namespace upwend::bench
