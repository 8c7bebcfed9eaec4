#pragma once
// DIAG framing on the worker's DIAG port: the transmit frame buffer and how a request is built
// in it, the two ways a finished frame is sent, the receive procedures with their time limits
// and result codes, the request/response exchange the NV, EFS and control requests share, and
// the streaming-download reset and power-off commands.
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "engine/diag/diag_deframer.h"
#include "engine/diag/diag_tx_frame.h"

namespace upwend {

class ReconnectWindow;
class DiagTransport;
class WorkerContext;

// Results of the receive procedures (signed 16-bit; 0xFFFE reads as -2). A NAK's reason is
// returned as is and may collide with the local codes; callers that care read the buffer.
constexpr int16_t kRxAck = 0;
constexpr int16_t kRxBadCheck = 1;
constexpr int16_t kRxShort = 4;
constexpr int16_t kRxTooLong = 5;
constexpr int16_t kRxAckTimeout = 7;      // ReceiveAckTimed
constexpr int16_t kRxOtherFrame = 0xFF;   // a good frame that is neither ACK nor NAK
constexpr int16_t kRxFrameTimeout = 0xFF; // ReceiveFrame
constexpr int16_t kRxStopped = -2;

constexpr uint8_t kRxPlaceholder = 0xFD;

// How an exchange reads the reply to each attempt.
enum class ReplyReader { kAck, kAckTimed, kFrame, kFrameWait, kRawRead };

struct ExchangeOptions {
  ReplyReader reader = ReplyReader::kFrame;
  int attempts = 1;
  uint32_t rawCount = 0;  // kRawRead: bytes read into the receive scratch
  uint64_t pauseMs = 0;   // sleep after an attempt whose reply failed the test
};

struct Reply {
  int16_t result = 0;               // the receive result, or the raw read count
  std::span<const uint8_t> bytes;   // what this attempt received (unescaped content or raw bytes)
};

struct ExchangeResult {
  bool passed = false;
  int attempts = 0;
  Reply last;
};

using ReplyTest = std::function<bool(const Reply&)>;
// Called after each attempt whose reply failed the test, before the pause.
using ReplyMiss = std::function<void(const Reply&, int attempt)>;

class DiagFraming {
public:
  static constexpr uint64_t kByteWaitMs = 2000;
  static constexpr uint64_t kEscapedByteWaitMs = 4000;
  static constexpr uint64_t kReceiveLimitMs = 5000;
  static constexpr size_t kFlagSendArea = 4096;

  // `window` serves the reset commands (device-change flags, port boxes); it may be null for
  // a framing-only use.
  DiagFraming(WorkerContext& worker, DiagTransport& transport, ReconnectWindow* window = nullptr);

  void BeginFrame() { tx_.Begin(); }
  void AppendByte(uint8_t byte) { tx_.Append(byte); }
  void AppendBytes(std::span<const uint8_t> bytes) { tx_.Append(bytes); }
  void FinishFrame() { tx_.Finish(); }

  // Error-flag check, purge of all four queues, then the write; the count written becomes the
  // last write count and is returned.
  int SendFrame();
  // The same with a leading flag, from a 4096-byte area (frames up to 4094 bytes; a longer one
  // goes out as the overflow frame rather than overrunning the area).
  int SendFrameWithFlag();

  int16_t ReceiveAck();
  int16_t ReceiveAckTimed();
  int16_t ReceiveFrame();
  int16_t ReceiveFrameWait();

  // Builds the request once, then per attempt: send, read the reply, test it; stops at the
  // first reply that passes or when the attempts are used up (or a receive saw the stop).
  ExchangeResult Exchange(std::span<const uint8_t> request, const ExchangeOptions& options,
                          const ReplyTest& test, const ReplyMiss& miss = {});

  int SendStreamPowerOff();
  int SendStreamReset();
  // Resets the device, waits for it to come back, rediscovers the ports through findComPort
  // and opens both ports again. amssOnlyVariant: the AT port alone ends the rediscovery.
  bool ResetAndReconnect(const std::function<bool()>& findComPort, bool amssOnlyVariant);

  const DiagTxFrame& txFrame() const { return tx_; }
  // The whole receive buffer (4096 content bytes and the flag byte), and the content count of
  // the latest receive.
  std::span<const uint8_t> rxBuffer() const { return rx_; }
  size_t rxCount() const { return rxCount_; }

private:
  enum class Kind { kAck, kAckTimed, kFrame, kFrameWait };
  int16_t Receive(Kind kind);
  int16_t AckResult(DiagDeframer::Event event) const;
  int16_t ReadReply(const ExchangeOptions& options, Reply& reply);
  bool WaitByte(bool timed, uint64_t limitMs);
  DiagDeframer::Event FeedReadAhead();

  WorkerContext& worker_;
  DiagTransport& transport_;
  ReconnectWindow* window_;
  DiagTxFrame tx_;
  DiagDeframer::Buffer rx_{};
  DiagDeframer deframer_{rx_};
  size_t rxCount_ = 0;
};

}  // namespace upwend
