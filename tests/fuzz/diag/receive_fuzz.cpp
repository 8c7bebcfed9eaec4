// Drives the four receive procedures and a framed exchange over a port that delivers the
// fuzzer's bytes, with silences cut in where the input asks for them. Whatever arrives, the
// receive buffer must not be overrun and the results must stay within their ranges.
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <memory>

#include "engine/diag/diag_framing.h"
#include "engine/diag/diag_transport.h"
#include "tests/unit/engine/diag/support/fake_worker.h"
#include "platform/manual_clock.h"

namespace upwend {
namespace {

// A byte 0xF7 in the input followed by n is a silence of n * 100 ms; everything else arrives.
class FuzzPort final : public SerialPort {
public:
  FuzzPort(ManualClock& clock, const uint8_t* data, size_t size) : clock_(clock) {
    for (size_t i = 0; i < size; ++i) {
      if (data[i] == 0xF7 && i + 1 < size) {
        gaps_.push_back({bytes_.size(), static_cast<uint64_t>(data[++i]) * 100});
        continue;
      }
      bytes_.push_back(data[i]);
    }
  }
  bool Open(const std::string&) override { return true; }
  bool IsOpen() const override { return true; }
  bool GetState(CommState&) override { return true; }
  bool SetState(const CommState&) override { return true; }
  bool SetupQueues(uint32_t, uint32_t) override { return true; }
  bool SetTimeouts(const CommTimeouts&) override { return true; }
  bool Purge(uint32_t) override { return true; }
  bool ClearError(CommErrors& e) override {
    e = {};
    return true;
  }
  bool Read(uint8_t* buffer, uint32_t len, uint32_t& done) override {
    done = 0;
    if (!gaps_.empty() && gaps_.front().at == pos_) {
      clock_.SleepMs(gaps_.front().ms);
      gaps_.pop_front();
      clock_.SleepMs(1000);  // the read's own time-out
      return true;
    }
    if (pos_ >= bytes_.size()) {
      clock_.SleepMs(1000);
      return true;
    }
    while (done < len && pos_ < bytes_.size() && (gaps_.empty() || gaps_.front().at != pos_)) buffer[done++] = bytes_[pos_++];
    return true;
  }
  bool Write(const uint8_t*, uint32_t len, uint32_t& done) override {
    done = len;
    return true;
  }
  bool Close() override { return true; }
  uint32_t LastError() const override { return 0; }

private:
  struct Gap {
    size_t at;
    uint64_t ms;
  };
  ManualClock& clock_;
  std::vector<uint8_t> bytes_;
  std::deque<Gap> gaps_;
  size_t pos_ = 0;
};

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace
}  // namespace upwend

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace upwend;
  if (size < 1) return 0;
  const uint8_t mode = data[0] % 5;
  ManualClock clock;
  test::FakeWorker worker(clock);
  // Untimed receives end with the stop once the input has long run dry.
  worker.stopAtMs = 1000 * (size + 100);
  DiagTransport transport(worker, [&] { return std::make_unique<FuzzPort>(clock, data + 1, size - 1); });
  Check(transport.OpenDiagPort());
  auto framing = std::make_unique<DiagFraming>(worker, transport);
  for (int round = 0; round < 3; ++round) {
    int16_t r = 0;
    switch (mode) {
      case 0: r = framing->ReceiveAck(); break;
      case 1: r = framing->ReceiveAckTimed(); break;
      case 2: r = framing->ReceiveFrame(); break;
      case 3: r = framing->ReceiveFrameWait(); break;
      case 4: {
        const uint8_t request[] = {0x26, 0x7E, 0x7D};
        framing->Exchange(request, {ReplyReader::kFrame, 2, 0, 100},
                          [](const Reply& reply) { return reply.bytes.size() > 0 && reply.bytes[0] == 0x26; });
        break;
      }
    }
    Check(framing->rxCount() <= DiagDeframer::kMaxContent);
    if (mode == 2 && r > 7 && r != 0xFF) Check(static_cast<size_t>(r) == framing->rxCount());
    if (mode == 3 && r > 7) Check(static_cast<size_t>(r) == framing->rxCount() + 1 && framing->rxBuffer()[r - 1] == 0x7E);
    if (worker.Stopped()) break;
  }
  return 0;
}
