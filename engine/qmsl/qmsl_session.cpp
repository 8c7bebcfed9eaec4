#include "engine/qmsl/qmsl_session.h"

#include <algorithm>
#include <array>

#include "platform/clock.h"

namespace upwend {

namespace {

constexpr uint32_t kPurgeAll = kPurgeTxAbort | kPurgeRxAbort | kPurgeTxClear | kPurgeRxClear;
constexpr uint8_t kVersionRequest = 0x00;
constexpr uint8_t kNvRead = 0x26;
constexpr uint8_t kNvWrite = 0x27;
constexpr size_t kNvRequestSize = 133;
constexpr size_t kNvData = 128;
// Replies a device gives to a request it does not take: it is there all the same.
constexpr uint8_t kBadCommand = 0x13;
constexpr uint8_t kBadParameters = 0x14;
constexpr uint8_t kBadLength = 0x15;

}  // namespace

QmslSession::QmslSession(Clock& clock, SerialPortFactory factory)
    : ctx_(clock), transport_(ctx_, std::move(factory)), chunk_(DiagTransport::kScratchSize) {}

QmslSession::~QmslSession() { Disconnect(); }

bool QmslSession::Connect(unsigned comPort, uint64_t waitMs) {
  std::lock_guard lock(mutex_);
  transport_.config().comPort = static_cast<int>(comPort);
  Clock& clock = ctx_.clock();
  const uint64_t begin = clock.NowMs();
  for (;;) {
    if (transport_.OpenDiagPort()) return true;
    if (clock.NowMs() - begin >= waitMs) return false;
    clock.SleepMs(kOpenRetryMs);
  }
}

void QmslSession::Disconnect() {
  std::lock_guard lock(mutex_);
  transport_.CloseDiagPort("");
}

std::optional<std::vector<uint8_t>> QmslSession::ReceiveOne() {
  Clock& clock = ctx_.clock();
  const uint64_t begin = clock.NowMs();
  deframer_.Reset(DiagDeframer::Hunt::kAnyByte);
  while (clock.NowMs() - begin < kReplyLimitMs && !transport_.DiagLost()) {
    const int got = transport_.ReadDiag(chunk_.data(), static_cast<uint32_t>(chunk_.size()));
    if (got <= 0) continue;
    std::span<const uint8_t> bytes(chunk_.data(), static_cast<size_t>(got));
    while (!bytes.empty()) {
      size_t used = 0;
      const DiagDeframer::Event event = deframer_.FeedBlock(bytes, used);
      bytes = bytes.subspan(used);
      if (event == DiagDeframer::Event::kGood) {
        // The content count includes the two check bytes.
        return std::vector<uint8_t>(rx_.begin(), rx_.begin() + (deframer_.count() - 2));
      }
      if (event != DiagDeframer::Event::kMore && event != DiagDeframer::Event::kEscape) {
        deframer_.Reset(DiagDeframer::Hunt::kAnyByte);  // a damaged frame: look for the next
      }
    }
  }
  return std::nullopt;
}

std::optional<std::vector<uint8_t>> QmslSession::Request(std::span<const uint8_t> request, const Accept& accept) {
  if (!transport_.DiagOpen() || transport_.DiagLost()) return std::nullopt;
  tx_.Begin();
  tx_.Append(request);
  tx_.Finish();
  std::span<const uint8_t> wire = tx_.Wire();
  for (int attempt = 0; attempt < kAttempts && !transport_.DiagLost(); ++attempt) {
    transport_.PurgeDiag(kPurgeAll);
    if (transport_.WriteDiag(wire.data(), static_cast<uint32_t>(wire.size())) != static_cast<int>(wire.size())) {
      continue;
    }
    std::optional<std::vector<uint8_t>> reply = ReceiveOne();
    if (reply && accept(*reply)) return reply;
  }
  return std::nullopt;
}

bool QmslSession::IsPhoneConnected() {
  std::lock_guard lock(mutex_);
  const std::array<uint8_t, 1> request = {kVersionRequest};
  auto reply = Request(request, [](const std::vector<uint8_t>& r) {
    return !r.empty() && (r[0] == kVersionRequest || r[0] == kBadCommand || r[0] == kBadParameters || r[0] == kBadLength);
  });
  return reply.has_value();
}

bool QmslSession::NvRequest(uint8_t code, uint16_t id, const uint8_t* data, int size, uint8_t* out,
                            uint16_t& status) {
  std::lock_guard lock(mutex_);
  status = kNoReplyStatus;
  std::array<uint8_t, kNvRequestSize> request{};
  request[0] = code;
  request[1] = static_cast<uint8_t>(id & 0xFF);
  request[2] = static_cast<uint8_t>(id >> 8);
  const size_t count = std::min<size_t>(static_cast<size_t>(std::max(size, 0)), kNvData);
  if (data != nullptr) std::copy(data, data + count, request.begin() + 3);
  auto reply = Request(request, [&](const std::vector<uint8_t>& r) {
    return r.size() >= kNvRequestSize && r[0] == code && r[1] == request[1] && r[2] == request[2];
  });
  if (!reply) return false;
  if (out != nullptr) std::copy(reply->begin() + 3, reply->begin() + 3 + count, out);
  status = static_cast<uint16_t>((*reply)[131] | ((*reply)[132] << 8));
  return true;
}

bool QmslSession::NvRead(uint16_t id, uint8_t* data, int size, uint16_t& status) {
  return NvRequest(kNvRead, id, nullptr, size, data, status);
}

bool QmslSession::NvWrite(uint16_t id, const uint8_t* data, int size, uint16_t& status) {
  return NvRequest(kNvWrite, id, data, size, nullptr, status);
}

}  // namespace upwend
