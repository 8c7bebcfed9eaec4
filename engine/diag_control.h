#pragma once
// The DIAG control requests that travel with the AT lists and the sequence: the mode changes
// offline and reset (command 0x29) and the platform query (command 0x7C).
#include <cstdint>

#include "engine/at_channel.h"

namespace upwend {

class DiagFraming;
class DiagTransport;

class DiagControlRequests final : public DiagControl {
public:
  DiagControlRequests(WorkerContext& worker, DiagTransport& transport, DiagFraming& framing);
  int SendDiagOffline() override;
  int SendDiagReset() override;
  int QueryPlatform() override;

private:
  int SendModeChange(uint8_t mode, uint32_t replyBytes);

  WorkerContext& worker_;
  DiagTransport& transport_;
  DiagFraming& framing_;
};

}  // namespace upwend
