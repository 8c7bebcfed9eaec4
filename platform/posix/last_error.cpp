#include "platform/last_error.h"

namespace upwend {

namespace {
thread_local uint32_t tLastError = 0;
}

uint32_t GetLastSystemError() { return tLastError; }
void SetLastSystemError(uint32_t code) { tLastError = code; }

}  // namespace upwend
