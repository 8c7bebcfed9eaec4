#pragma once
// The device's DIAG service: deframes requests, answers them (NV items, EFS2, mode change,
// version and build queries, the streaming-download reset and power-off) and frames the replies.
// A reply carries a leading flag only when its request did, so that both the tool's raw reads
// (which expect the reply's first byte) and its flag-hunting receives see what they expect.
#include <cstdint>
#include <vector>

#include "sim/at_engine.h"
#include "sim/efs_service.h"
#include "sim/faults.h"
#include "sim/hdlc.h"
#include "sim/state_store.h"

namespace upwend::sim {

class DiagEngine {
public:
  static constexpr uint8_t kBadCommand = 0x13, kBadLength = 0x15;
  static constexpr size_t kNvPacket = 133;

  DiagEngine(StateStore& state, FaultSet& faults);
  std::vector<TimedOutput> Feed(const uint8_t* data, size_t len);
  // The unframed reply to one request (nullopt: no reply) and what the device does afterwards.
  std::optional<Bytes> Answer(const Bytes& request, DeviceAction& action);

private:
  Bytes NvReply(const Bytes& request);
  Bytes BuildIdReply();
  Bytes VersionReply();

  StateStore& state_;
  FaultSet& faults_;
  EfsService efs_;
  HdlcDeframer deframer_;
};

}  // namespace upwend::sim
