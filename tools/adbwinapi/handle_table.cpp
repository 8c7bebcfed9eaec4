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

HandleTable::EndpointLookup HandleTable::FindEndpoint(ADBAPIHANDLE handle, Direction direction,
                                                      std::shared_ptr<Transport>& transport) const {
  std::lock_guard lock(mutex_);
  auto it = objects_.find(reinterpret_cast<uintptr_t>(handle));
  if (it == objects_.end()) return EndpointLookup::Unknown;
  const auto* endpoint = std::get_if<EndpointObject>(&it->second);
  if (endpoint == nullptr) return EndpointLookup::NotEndpoint;
  if (endpoint->direction != direction) return EndpointLookup::OtherDirection;
  transport = endpoint->transport;
  return EndpointLookup::Found;
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
