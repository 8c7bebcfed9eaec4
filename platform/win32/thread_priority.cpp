#include <windows.h>

#include "platform/thread_priority.h"

namespace upwend {

void RaiseCurrentThreadPriority() { ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL); }

}  // namespace upwend
