#pragma once
// The library's handles. A handle is a number, never a pointer, so a closed or made-up handle
// is refused instead of crashing the caller. Each object holds the transport it uses; the
// transport closes when the last handle on it is closed.
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <variant>

#include "abi/adb_api.h"
#include "tools/adbwinapi/transport.h"

namespace upwend::adb {

struct InterfaceObject {
  std::string name;
  std::shared_ptr<Transport> transport;
};

enum class Direction { Read, Write };

struct EndpointObject {
  Direction direction;
  std::shared_ptr<Transport> transport;
};

using HandleObject = std::variant<InterfaceObject, EndpointObject>;

class HandleTable {
public:
  ADBAPIHANDLE Add(HandleObject object);
  std::optional<HandleObject> Find(ADBAPIHANDLE handle) const;
  // The transport of an endpoint handle, without copying the object: every block of a download
  // comes through here.
  enum class EndpointLookup { Found, Unknown, NotEndpoint, OtherDirection };
  EndpointLookup FindEndpoint(ADBAPIHANDLE handle, Direction direction, std::shared_ptr<Transport>& transport) const;
  bool Remove(ADBAPIHANDLE handle);

private:
  mutable std::mutex mutex_;
  uintptr_t next_ = 0x100;
  std::map<uintptr_t, HandleObject> objects_;
};

HandleTable& Handles();

}  // namespace upwend::adb
