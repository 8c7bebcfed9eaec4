#pragma once
// Scheduling of the tool's own threads.

namespace upwend {

// Asks for the calling thread to run one step above normal priority. Where the system refuses
// (or has no such step) the thread keeps its priority, which is harmless.
void RaiseCurrentThreadPriority();

}  // namespace upwend
