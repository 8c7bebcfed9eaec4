#include "platform/thread_priority.h"

#include <pthread.h>
#include <sched.h>

namespace upwend {

// Linux has no step above normal for an ordinary thread: SCHED_OTHER knows priority 0 only, and
// a real-time policy needs privileges. The thread keeps the policy it has.
void RaiseCurrentThreadPriority() {
  sched_param sp{};
  int policy = SCHED_OTHER;
  pthread_getschedparam(pthread_self(), &policy, &sp);
}

}  // namespace upwend
