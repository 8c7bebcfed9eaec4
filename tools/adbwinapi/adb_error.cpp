#include "tools/adbwinapi/adb_error.h"

#include <cerrno>

namespace upwend::adb {

namespace {
thread_local std::string tLastText;
}

void SetLastError(const Error& error) {
  tLastText = error.text;
  errno = error.code;
}

void ClearLastError() {
  tLastText.clear();
  errno = 0;
}

const char* LastErrorText() { return tLastText.c_str(); }

}  // namespace upwend::adb
