#include "tools/adbwinapi/handle_table.h"

namespace upwend::adb {

ADBAPIHANDLE HandleTable::Add(HandleObject object) {
  std::lock_guard lock(mutex_);
  uintptr_t id = next_++;
  objects_.emplace(id, std::move(object));
  return reinterpret_cast<ADBAPIHANDLE>(id);
}

std::optional<HandleObject> HandleTable::Find(ADBAPIHANDLE handle) const {
  std::lock_guard lock(mutex_);
  auto it = objects_.find(reinterpret_cast<uintptr_t>(handle));
  if (it == objects_.end()) return std::nullopt;
  return it->second;
}

bool HandleTable::Remove(ADBAPIHANDLE handle) {
  std::shared_ptr<Transport> last;  // closed outside the lock: closing a socket or a USB device can take a while
  std::lock_guard lock(mutex_);
  auto it = objects_.find(reinterpret_cast<uintptr_t>(handle));
  if (it == objects_.end()) return false;
  std::visit([&](auto& o) { last = std::move(o.transport); }, it->second);
  objects_.erase(it);
  return true;
}

HandleTable& Handles() {
  static HandleTable* table = new HandleTable;  // outlives every caller, even at process exit
  return *table;
}

}  // namespace upwend::adb
