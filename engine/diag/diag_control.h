#pragma once
// The DIAG control requests the AT command lists and the sequence use: the mode change to
// offline and to reset (acknowledged in the raw reply bytes), and the platform query.
#include <cstddef>
#include <cstdint>

namespace upwend {

class DiagFraming;
class DiagTransport;
class WorkerContext;

class DiagControlRequests {
public:
  static constexpr int kModeChangeAttempts = 10;
  static constexpr int kPlatformAttempts = 3;

  DiagControlRequests(WorkerContext& worker, DiagTransport& transport, DiagFraming& framing);

  // 0 when acknowledged, -1 after 10 unacknowledged attempts 1 s apart.
  int SendDiagOffline();
  int SendDiagReset();
  // The device's platform byte, or -1.
  int QueryPlatform();

private:
  int SendModeChange(uint8_t mode, uint32_t replyBytes);

  WorkerContext& worker_;
  DiagTransport& transport_;
  DiagFraming& framing_;
};

}  // namespace upwend
