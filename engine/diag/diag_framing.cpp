#include "engine/diag/diag_framing.h"

#include <algorithm>
#include <array>

#include "engine/diag/diag_transport.h"
#include "engine/worker/worker_context.h"
#include "platform/clock.h"

namespace upwend {

namespace {

constexpr uint32_t kPurgeAll = kPurgeTxAbort | kPurgeRxAbort | kPurgeTxClear | kPurgeRxClear;
constexpr uint8_t kAckCode = 0x02;
constexpr uint8_t kNakCode = 0x03;

// The results all receives share for a frame that ended badly; 0 for a good one.
int16_t BrokenFrameResult(DiagDeframer::Event event) {
  switch (event) {
    case DiagDeframer::Event::kBadCheck: return kRxBadCheck;
    case DiagDeframer::Event::kShort: return kRxShort;
    case DiagDeframer::Event::kTooLong: return kRxTooLong;
    default: return 0;
  }
}

}  // namespace

DiagFraming::DiagFraming(WorkerContext& worker, DiagTransport& transport, ReconnectWindow* window)
    : worker_(worker), transport_(transport), window_(window) {}

int DiagFraming::SendFrame() {
  transport_.CheckOutQueue();
  transport_.PurgeDiag(kPurgeAll);
  std::span<const uint8_t> wire = tx_.Wire();
  const int written = transport_.WriteDiag(wire.data(), static_cast<uint32_t>(wire.size()));
  transport_.setLastWriteCount(static_cast<uint32_t>(written));
  return written;
}

int DiagFraming::SendFrameWithFlag() {
  transport_.CheckOutQueue();
  transport_.PurgeDiag(kPurgeAll);
  std::array<uint8_t, kFlagSendArea> area;
  std::span<const uint8_t> wire = tx_.Wire();
  if (wire.size() + 1 > area.size()) wire = DiagTxFrame::kOverflowFrame;
  area[0] = kHdlcFlag;
  std::copy(wire.begin(), wire.end(), area.begin() + 1);
  const int written = transport_.WriteDiag(area.data(), static_cast<uint32_t>(wire.size() + 1));
  transport_.setLastWriteCount(static_cast<uint32_t>(written));
  return written;
}

// One wait for a byte: the placeholder goes into the scratch first, so a wait that ends empty
// leaves it there. Untimed waits end only with a byte or the stop; timed ones also when limitMs
// has passed. Bytes that an earlier read brought along end the wait at once.
bool DiagFraming::WaitByte(bool timed, uint64_t limitMs) {
  uint8_t* scratch = transport_.scratch();
  scratch[0] = kRxPlaceholder;
  if (!timed && worker_.Stopped()) return false;
  if (!transport_.diagReadAhead().Empty()) return true;
  Clock& clock = worker_.clock();
  const uint64_t begin = clock.NowMs();
  for (;;) {
    if (transport_.FillDiagReadAhead()) return true;
    if (transport_.DiagLost()) return false;
    if (!timed && worker_.Stopped()) return false;
    if (timed && clock.NowMs() - begin >= limitMs) return false;
  }
}

// The bytes read ahead go through the state machine in one call, up to the frame's end; the
// rest stays for the next receive (or the next send's purge).
DiagDeframer::Event DiagFraming::FeedReadAhead() {
  DiagReadAhead& ahead = transport_.diagReadAhead();
  const std::span<const uint8_t> bytes = ahead.Bytes();
  size_t used = 0;
  const DiagDeframer::Event event = deframer_.FeedBlock(bytes, used);
  if (used > 0) transport_.scratch()[0] = bytes[used - 1];
  ahead.Consume(used);
  return event;
}

int16_t DiagFraming::AckResult(DiagDeframer::Event event) const {
  if (const int16_t broken = BrokenFrameResult(event)) return broken;
  if (rx_[0] == kAckCode && rxCount_ == 3) return kRxAck;
  if (rx_[0] == kNakCode && rxCount_ == 5) return static_cast<int16_t>((rx_[1] << 8) | rx_[2]);
  return kRxOtherFrame;
}

int16_t DiagFraming::Receive(Kind kind) {
  const bool timed = kind == Kind::kAckTimed || kind == Kind::kFrame;
  const bool ack = kind == Kind::kAck || kind == Kind::kAckTimed;
  if (kind != Kind::kFrameWait) transport_.CheckInQueue();
  deframer_.Reset(ack ? DiagDeframer::Hunt::kNeedFlag : DiagDeframer::Hunt::kAnyByte);
  rxCount_ = 0;

  Clock& clock = worker_.clock();
  const uint64_t begin = clock.NowMs();
  for (;;) {
    const bool got = WaitByte(timed, deframer_.EscapePending() ? kEscapedByteWaitMs : kByteWaitMs);
    if (!got && transport_.DiagLost()) {
      rxCount_ = deframer_.count();
      return kRxStopped;  // the loss is raised; nothing more can come
    }
    if (timed) {
      if (clock.NowMs() - begin >= kReceiveLimitMs) {
        rxCount_ = deframer_.count();
        return kind == Kind::kAckTimed ? kRxAckTimeout : kRxFrameTimeout;
      }
      if (worker_.Stopped()) {
        rxCount_ = deframer_.count();
        return kRxStopped;
      }
    } else if (!got) {
      rxCount_ = deframer_.count();
      return kRxStopped;
    }
    const DiagDeframer::Event event = got ? FeedReadAhead() : deframer_.FeedMissing(transport_.scratch()[0]);
    if (event == DiagDeframer::Event::kMore || event == DiagDeframer::Event::kEscape) continue;

    rxCount_ = deframer_.count();
    if (ack) return AckResult(event);
    if (const int16_t broken = BrokenFrameResult(event)) return broken;
    if (kind == Kind::kFrame) return static_cast<int16_t>(rxCount_);
    // The buffer has one byte beyond the content for this flag.
    rx_[rxCount_] = kHdlcFlag;
    return static_cast<int16_t>(rxCount_ + 1);
  }
}

int16_t DiagFraming::ReceiveAck() { return Receive(Kind::kAck); }
int16_t DiagFraming::ReceiveAckTimed() { return Receive(Kind::kAckTimed); }
int16_t DiagFraming::ReceiveFrame() { return Receive(Kind::kFrame); }
int16_t DiagFraming::ReceiveFrameWait() { return Receive(Kind::kFrameWait); }

int16_t DiagFraming::ReadReply(const ExchangeOptions& options, Reply& reply) {
  switch (options.reader) {
    case ReplyReader::kAck: reply.result = ReceiveAck(); break;
    case ReplyReader::kAckTimed: reply.result = ReceiveAckTimed(); break;
    case ReplyReader::kFrame: reply.result = ReceiveFrame(); break;
    case ReplyReader::kFrameWait: reply.result = ReceiveFrameWait(); break;
    case ReplyReader::kRawRead: {
      const uint32_t count = std::min<uint32_t>(options.rawCount, DiagTransport::kScratchSize);
      // Cleared first, so bytes of an earlier reply cannot pass for this one.
      std::fill_n(transport_.scratch(), count, 0);
      const int got = transport_.ReadDiag(transport_.scratch(), count);
      reply.result = static_cast<int16_t>(got);
      reply.bytes = {transport_.scratch(), static_cast<size_t>(got)};
      return reply.result;
    }
  }
  reply.bytes = {rx_.data(), rxCount_};
  return reply.result;
}

ExchangeResult DiagFraming::Exchange(std::span<const uint8_t> request, const ExchangeOptions& options,
                                     const ReplyTest& test, const ReplyMiss& miss) {
  BeginFrame();
  AppendBytes(request);
  FinishFrame();
  ExchangeResult result;
  for (int attempt = 1; attempt <= options.attempts; ++attempt) {
    result.attempts = attempt;
    SendFrame();
    ReadReply(options, result.last);
    if (test && test(result.last)) {
      result.passed = true;
      return result;
    }
    if (miss) miss(result.last, attempt);
    // A receive that saw the stop ends the exchange; the caller reads ErrorCode.
    if (options.reader != ReplyReader::kRawRead && result.last.result == kRxStopped) break;
    if (options.pauseMs > 0) worker_.Sleep(options.pauseMs);
  }
  return result;
}

}  // namespace upwend
