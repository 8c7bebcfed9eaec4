#include "tools/adbwinapi/adb_error.h"

#include <atomic>
#include <cerrno>
#include <map>
#include <mutex>
#include <thread>

namespace upwend::adb {

namespace {

// One text per thread. Not thread_local: a loaded library's dynamic TLS upsets leak checkers
// at exit, and a few strings for the threads that ever failed cost nothing.
std::mutex gMutex;
// Threads whose text is not empty. Clearing, which every successful call does, needs no lock
// while none has one: the common case costs one atomic load per call.
std::atomic<size_t> gNonEmpty{0};
std::map<std::thread::id, std::string>& Texts() {
  static auto* texts = new std::map<std::thread::id, std::string>;
  return *texts;
}

}  // namespace

void SetLastError(const OsError& error) {
  {
    std::lock_guard lock(gMutex);
    std::string& text = Texts()[std::this_thread::get_id()];
    if (text.empty() && !error.text.empty()) ++gNonEmpty;
    if (!text.empty() && error.text.empty()) --gNonEmpty;
    text = error.text;
  }
  errno = error.code;
}

void ClearLastError() {
  if (gNonEmpty.load(std::memory_order_acquire) > 0) {
    std::lock_guard lock(gMutex);
    auto it = Texts().find(std::this_thread::get_id());
    if (it != Texts().end() && !it->second.empty()) {
      it->second.clear();
      --gNonEmpty;
    }
  }
  errno = 0;
}

const char* LastErrorText() {
  std::lock_guard lock(gMutex);
  return Texts()[std::this_thread::get_id()].c_str();
}

}  // namespace upwend::adb
