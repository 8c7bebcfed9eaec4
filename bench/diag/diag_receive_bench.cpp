// The receive procedure itself (ReceiveFrame through the DIAG transport) on an in-memory port
// that holds one 4094-byte reply: with the port handing over all it has per read, as a serial
// driver does, beside a port that hands over one byte per read (what a read call per byte
// costs), and beside the deframer alone on the same bytes (the ceiling).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/diag/diag_deframer.h"
#include "engine/diag/diag_framing.h"
#include "engine/diag/diag_transport.h"
#include "diag_wire.h"
#include "engine/worker/worker_context.h"
#include "platform/manual_clock.h"

namespace upwend {
namespace {

constexpr size_t kPayload = bench::kDiagPayload;

std::vector<uint8_t> Wire() { return bench::DiagWire(bench::DiagPayload()); }

// A port that always has the same reply waiting; `perRead` caps what one read hands over.
class ReplayPort final : public SerialPort {
public:
  ReplayPort(const std::vector<uint8_t>& wire, uint32_t perRead) : wire_(wire), perRead_(perRead) {}
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
    done = std::min({len, perRead_, static_cast<uint32_t>(wire_.size() - at_)});
    std::memcpy(buffer, wire_.data() + at_, done);
    at_ = (at_ + done) % wire_.size();
    return true;
  }
  bool Write(const uint8_t*, uint32_t len, uint32_t& done) override {
    done = len;
    return true;
  }
  bool Close() override { return true; }
  uint32_t LastError() const override { return 0; }

private:
  const std::vector<uint8_t>& wire_;
  uint32_t perRead_;
  size_t at_ = 0;
};

class BenchWorker final : public WorkerContext {
public:
  void ReportStatus(int, const std::string&, int) override {}
  void ReportError(const std::string&) override {}
  int ErrorCode() const override { return 0; }
  Clock& clock() override { return clock_; }
  void SetGauge(uint64_t, uint64_t) override {}

private:
  ManualClock clock_;
};

void ReceiveFrames(benchmark::State& state, uint32_t perRead) {
  const auto wire = Wire();
  BenchWorker worker;
  DiagTransport transport(worker, [&] { return std::make_unique<ReplayPort>(wire, perRead); });
  transport.config().comPort = 3;
  transport.OpenDiagPort();
  auto framing = std::make_unique<DiagFraming>(worker, transport);
  for (auto _ : state) {
    if (framing->ReceiveFrame() != static_cast<int16_t>(kPayload + 2)) state.SkipWithError("frame not good");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kPayload));
}

void BM_ReceiveFrameLargeReads(benchmark::State& state) { ReceiveFrames(state, 1u << 20); }
void BM_ReceiveFrameOneByteReads(benchmark::State& state) { ReceiveFrames(state, 1); }

void BM_DeframerAlone(benchmark::State& state) {
  const auto wire = Wire();
  auto buffer = std::make_unique<DiagDeframer::Buffer>();
  DiagDeframer d(*buffer);
  for (auto _ : state) {
    d.Reset(DiagDeframer::Hunt::kAnyByte);
    size_t used = 0;
    if (d.FeedBlock(wire, used) != DiagDeframer::Event::kGood) state.SkipWithError("frame not good");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kPayload));
}

BENCHMARK(BM_ReceiveFrameLargeReads);
BENCHMARK(BM_ReceiveFrameOneByteReads);
BENCHMARK(BM_DeframerAlone);

}  // namespace
}  // namespace upwend
