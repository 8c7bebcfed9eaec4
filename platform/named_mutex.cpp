#include "platform/named_mutex.h"

#include <mutex>
#include <vector>

namespace upwend {

namespace {

std::mutex gHeldMutex;
std::vector<std::unique_ptr<NamedMutex>>& Held() {
  static auto* held = new std::vector<std::unique_ptr<NamedMutex>>();  // never destroyed: held until exit
  return *held;
}

}  // namespace

void HoldUntilExit(std::unique_ptr<NamedMutex> mutex) {
  if (!mutex) return;
  std::lock_guard lock(gHeldMutex);
  Held().push_back(std::move(mutex));
}

}  // namespace upwend
