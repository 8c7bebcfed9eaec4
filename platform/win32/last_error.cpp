// The thread's last error is the system's own: GetLastError() after a failed Win32 call, and
// what the tool's own checks set with SetLastError().
#include <windows.h>

#include "platform/last_error.h"

namespace upwend {

uint32_t GetLastSystemError() { return ::GetLastError(); }
void SetLastSystemError(uint32_t code) { ::SetLastError(code); }

}  // namespace upwend
