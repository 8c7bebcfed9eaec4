// The seven QLIB_ entry points of QMSL_MSVC10R.dll. A connection value is a session object;
// values the library did not hand out (or already took back) are refused, never dereferenced.
#include <memory>
#include <mutex>
#include <set>

#include "abi/qmsl_api.h"
#include "engine/qmsl/qmsl_session.h"
#include "engine/qmsl/qmsl_port.h"
#include "platform/serial_port.h"
#include "platform/clock.h"

#define QLIB_EXPORT extern "C" __attribute__((visibility("default")))

namespace upwend {
namespace {

std::mutex gSessionsMutex;
std::set<QmslSession*> gSessions;

SerialPortFactory PortFactory() {
  return [] { return CreateSerialPort(SystemClock(), ResolveQmslPort); };
}

// Looks a connection up. As with any handle, a caller must not disconnect a connection that
// another of its threads is still using.
QmslSession* Find(QlibHandle handle) {
  std::lock_guard lock(gSessionsMutex);
  auto* session = static_cast<QmslSession*>(handle);
  return gSessions.count(session) != 0 ? session : nullptr;
}

// An NV item read or written on a connection; the device's status, or the no-reply status when
// none came, goes to `status` when the caller gave a place for it.
template <typename Request>
unsigned char NvItemCall(QlibHandle connection, const unsigned char* data, unsigned short* status, Request request) {
  QmslSession* session = Find(connection);
  uint16_t result = QmslSession::kNoReplyStatus;
  const bool done = session != nullptr && data != nullptr && request(*session, result);
  if (status != nullptr) *status = result;
  return done ? 1 : 0;
}

}  // namespace
}  // namespace upwend

using upwend::QmslSession;

QLIB_EXPORT QlibHandle QLIB_ConnectServerWithWait(unsigned int comPort, unsigned long waitMs) {
  auto session = std::make_unique<QmslSession>(upwend::SystemClock(), upwend::PortFactory());
  if (!session->Connect(comPort, waitMs)) return nullptr;
  std::lock_guard lock(upwend::gSessionsMutex);
  upwend::gSessions.insert(session.get());
  return session.release();
}

QLIB_EXPORT unsigned char QLIB_IsPhoneConnected(QlibHandle connection) {
  QmslSession* session = upwend::Find(connection);
  return session != nullptr && session->IsPhoneConnected() ? 1 : 0;
}

QLIB_EXPORT unsigned char QLIB_DIAG_NV_READ_F(QlibHandle connection, unsigned short itemId, unsigned char* data,
                                             int size, unsigned short* status) {
  return upwend::NvItemCall(connection, data, status,
                            [&](QmslSession& session, uint16_t& result) { return session.NvRead(itemId, data, size, result); });
}

QLIB_EXPORT unsigned char QLIB_DIAG_NV_WRITE_F(QlibHandle connection, unsigned short itemId, unsigned char* data,
                                              int size, unsigned short* status) {
  return upwend::NvItemCall(connection, data, status,
                            [&](QmslSession& session, uint16_t& result) { return session.NvWrite(itemId, data, size, result); });
}

QLIB_EXPORT unsigned char QLIB_EfsRead(QlibHandle connection, const char* devicePath, const char* localPath) {
  QmslSession* session = upwend::Find(connection);
  if (session == nullptr || devicePath == nullptr || localPath == nullptr) return 0;
  return session->EfsRead(devicePath, localPath) ? 1 : 0;
}

QLIB_EXPORT unsigned char QLIB_EfsWrite(QlibHandle connection, const char* localPath, const char* devicePath) {
  QmslSession* session = upwend::Find(connection);
  if (session == nullptr || devicePath == nullptr || localPath == nullptr) return 0;
  return session->EfsWrite(localPath, devicePath) ? 1 : 0;
}

QLIB_EXPORT void QLIB_DisconnectServer(QlibHandle connection) {
  QmslSession* session = nullptr;
  {
    std::lock_guard lock(upwend::gSessionsMutex);
    auto* candidate = static_cast<QmslSession*>(connection);
    if (upwend::gSessions.erase(candidate) != 0) session = candidate;
  }
  delete session;
}
