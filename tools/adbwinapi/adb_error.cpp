#include "tools/adbwinapi/adb_error.h"

#include <cerrno>
#include <map>
#include <mutex>
#include <thread>

namespace upwend::adb {

namespace {

// One text per thread. Not thread_local: a loaded library's dynamic TLS upsets leak checkers
// at exit, and a few strings for the threads that ever failed cost nothing.
std::mutex gMutex;
std::map<std::thread::id, std::string>& Texts() {
  static auto* texts = new std::map<std::thread::id, std::string>;
  return *texts;
}

}  // namespace

void SetLastError(const Error& error) {
  {
    std::lock_guard lock(gMutex);
    Texts()[std::this_thread::get_id()] = error.text;
  }
  errno = error.code;
}

void ClearLastError() {
  {
    std::lock_guard lock(gMutex);
    auto it = Texts().find(std::this_thread::get_id());
    if (it != Texts().end()) it->second.clear();
  }
  errno = 0;
}

const char* LastErrorText() {
  std::lock_guard lock(gMutex);
  return Texts()[std::this_thread::get_id()].c_str();
}

}  // namespace upwend::adb
