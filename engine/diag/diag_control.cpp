#include "engine/diag/diag_control.h"

#include <fmt/format.h>

#include <algorithm>
#include <string>

#include "engine/diag/diag_framing.h"
#include "engine/diag/diag_transport.h"
#include "engine/worker/worker_context.h"

namespace upwend {

namespace {

constexpr uint8_t kModeChangeCode = 0x29;
constexpr uint8_t kModeOffline = 1;
constexpr uint8_t kModeReset = 2;
constexpr uint64_t kModeChangePauseMs = 1000;
constexpr uint32_t kOfflineReplyBytes = 10;
constexpr uint32_t kResetReplyBytes = 6;

constexpr uint8_t kPlatformCode = 0x7C;
constexpr uint8_t kPlatformOk = 0x02;
constexpr size_t kPlatformReplyMax = 124;
constexpr size_t kPlatformByte = 8;
constexpr size_t kCheckBytes = 2;

}  // namespace

DiagControlRequests::DiagControlRequests(WorkerContext& worker, DiagTransport& transport, DiagFraming& framing)
    : worker_(worker), transport_(transport), framing_(framing) {}

int DiagControlRequests::SendModeChange(uint8_t mode, uint32_t replyBytes) {
  // The mode goes out as a 16-bit little-endian value.
  const uint8_t request[] = {kModeChangeCode, mode, 0x00};
  // At least three bytes of this reply: the read area is cleared first, and a short reply
  // must not be completed by what an earlier one left behind.
  auto acknowledged = [mode](const Reply& reply) {
    return reply.bytes.size() >= 3 && reply.bytes[0] == kModeChangeCode && reply.bytes[1] == mode && reply.bytes[2] == 0x00;
  };
  ReplyMiss miss;
  if (mode == kModeOffline) {
    miss = [this](const Reply&, int) {
      std::string line = "Offline cmd rec:";
      const uint8_t* area = transport_.scratch();
      for (uint32_t i = 0; i < kOfflineReplyBytes; ++i) line += fmt::format(" {:02X}", area[i]);
      worker_.Report(line);
    };
  }
  const ExchangeResult r = framing_.Exchange(request, {ReplyReader::kRawRead, kModeChangeAttempts, replyBytes, kModeChangePauseMs},
                                             acknowledged, miss);
  return r.passed ? 0 : -1;
}

int DiagControlRequests::SendDiagOffline() { return SendModeChange(kModeOffline, kOfflineReplyBytes); }
int DiagControlRequests::SendDiagReset() { return SendModeChange(kModeReset, kResetReplyBytes); }

int DiagControlRequests::QueryPlatform() {
  const uint8_t request[] = {kPlatformCode};
  // Only an intact frame counts: a corrupt one may still start with the right bytes.
  auto isPlatform = [](const Reply& reply) {
    return reply.result > 0 && static_cast<size_t>(reply.result) == reply.bytes.size() && reply.bytes.size() >= 2 &&
           reply.bytes[0] == kPlatformCode && reply.bytes[1] == kPlatformOk;
  };
  const ExchangeResult r = framing_.Exchange(request, {ReplyReader::kFrame, kPlatformAttempts, 0, 0}, isPlatform);
  if (worker_.Stopped() || !r.passed) return -1;
  // The platform byte must lie inside the reply's payload, not in its check bytes.
  const size_t payload = std::min(r.last.bytes.size(), kPlatformReplyMax + kCheckBytes) - kCheckBytes;
  if (payload <= kPlatformByte) return -1;
  return r.last.bytes[kPlatformByte];
}

}  // namespace upwend
