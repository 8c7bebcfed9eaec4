#pragma once
// The calling thread's last failure inside the library: an errno value (what a POSIX caller
// reads as the last error) and a sentence for logs.
#include <string>

namespace upwend::adb {

struct Error {
  int code = 0;
  std::string text;
};

// Records the failure for the calling thread and sets errno.
void SetLastError(const Error& error);
void ClearLastError();
const char* LastErrorText();

}  // namespace upwend::adb
