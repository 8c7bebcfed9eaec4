#include "engine/worker/worker_context.h"

#include "platform/clock.h"

namespace upwend {

void WorkerContext::Sleep(uint64_t ms) { clock().SleepMs(ms); }

}  // namespace upwend
