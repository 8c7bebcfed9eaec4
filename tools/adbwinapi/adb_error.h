#pragma once
// The calling thread's last failure inside the library: an errno value (what a POSIX caller
// reads as the last error) and a sentence for logs.
#include "platform/expected.h"

namespace upwend::adb {

// Records the failure for the calling thread and sets errno.
void SetLastError(const OsError& error);
void ClearLastError();
const char* LastErrorText();

}  // namespace upwend::adb
