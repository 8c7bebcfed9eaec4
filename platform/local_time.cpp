#include "platform/local_time.h"

// localtime_r: POSIX, and the C runtime's on Windows (_POSIX_THREAD_SAFE_FUNCTIONS).

namespace upwend {

std::tm LocalTime(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  return local;
}

}  // namespace upwend
