#include "platform/sleep_resolution.h"

namespace upwend {

// Linux sleeps with high-resolution timers already.
void PrepareFineSleeps() {}

}  // namespace upwend
