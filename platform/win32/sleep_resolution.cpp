#include <windows.h>
#include <timeapi.h>

#include <mutex>

#include "platform/sleep_resolution.h"

namespace upwend {

// 1 ms timer resolution for the life of the process (the system restores it at exit).
void PrepareFineSleeps() {
  static std::once_flag once;
  std::call_once(once, [] { ::timeBeginPeriod(1); });
}

}  // namespace upwend
