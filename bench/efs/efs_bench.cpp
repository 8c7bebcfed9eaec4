// EFS read and write rates through the real DIAG transport and framing against an in-memory
// device that answers at once, beside the device side alone (decode, handle, encode the same
// requests), so the tool's own time per request is the difference. The pause before each file
// transfer is left out with a manual clock, and measured as it is at time scale 1 separately
// (those two in wall time; the others count CPU time, as a loaded machine inflates wall time).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/support/bench_context.h"
#include "engine/diag/diag_framing.h"
#include "engine/diag/diag_transport.h"
#include "engine/efs/efs2_requests.h"
#include "engine/efs/efs_device.h"
#include "platform/manual_clock.h"
#include "tests/support/efs_responder.h"

namespace upwend {
namespace {

using test::Bytes;

constexpr size_t kFileSize = 64 * 1024;

std::string Folder() {
  const char* home = std::getenv("UPWEND_HOME");
  std::string dir = std::string(home ? home : "/tmp") + "/efs-bench";
  std::filesystem::create_directories(dir);
  return dir;
}

Bytes Content() {
  Bytes b(kFileSize);
  for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>(i * 31 + 7);
  return b;
}

struct Rig {
  explicit Rig(Clock& c) : clock(c) {
    device.AddFile("bench/file", Content());
    transport.config().comPort = 5;
    transport.OpenDiagPort();
  }
  Clock& clock;
  bench::PrintingContext worker{clock};
  test::EfsResponder device;
  DiagTransport transport{worker, [this] { return device.MakePort(clock); }};
  DiagFraming framing{worker, transport};
  EfsDevice efs{worker, framing, &transport};
};

void Report(benchmark::State& state, size_t requestsPerFile) {
  const double files = static_cast<double>(state.iterations());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
  state.counters["KB/s"] = benchmark::Counter(files * kFileSize / 1024.0, benchmark::Counter::kIsRate);
  state.counters["us_per_request"] =
      benchmark::Counter(files * static_cast<double>(requestsPerFile) / 1e6,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void ReadOnce(Rig& rig, const std::string& local) {
  uint32_t size = 0;
  if (rig.efs.EfsOpenRead("bench/file", size) != 0 || rig.efs.EfsReadToFile(local, size) != 0 || rig.efs.EfsClose() != 0) {
    std::abort();
  }
}

void WriteOnce(Rig& rig, const std::string& local) {
  if (rig.efs.EfsOpenWrite("bench/copy") != 0) std::abort();
  rig.efs.UploadFile(local, kFileSize);
  if (rig.efs.EfsClose() != 0 || rig.worker.ErrorCode() != 0) std::abort();
}

// stat + open + 128 reads + close
void BM_EfsRead(benchmark::State& state) {
  ManualClock clock;
  Rig rig(clock);
  const std::string local = Folder() + "/read.bin";
  for (auto _ : state) ReadOnce(rig, local);
  Report(state, 3 + kFileSize / kEfsReadChunk);
}

// statfs + open + 45 writes + close
void BM_EfsWrite(benchmark::State& state) {
  ManualClock clock;
  Rig rig(clock);
  const std::string local = Folder() + "/write.bin";
  std::ofstream(local, std::ios::binary).write(reinterpret_cast<const char*>(Content().data()), kFileSize);
  for (auto _ : state) WriteOnce(rig, local);
  Report(state, 3 + (kFileSize + kEfsWriteChunk - 1) / kEfsWriteChunk);
}

// The device side of the same requests without the tool: what to subtract per request.
void BM_DeviceSideRead(benchmark::State& state) {
  test::EfsResponder device;
  device.AddFile("bench/file", Content());
  const Bytes open = test::ReferenceFrame(EncodeEfsOpen(kEfsOpenReadFlags, kEfsOpenReadMode, "bench/file"));
  for (auto _ : state) {
    device.Handle(test::DecodeFrames(open).front());
    for (uint32_t offset = 0; offset < kFileSize; offset += kEfsReadChunk) {
      const auto reply = device.Handle(test::DecodeFrames(test::ReferenceFrame(EncodeEfsRead(0, kEfsReadChunk, offset))).front());
      benchmark::DoNotOptimize(test::ReferenceFrame(*reply));
    }
    device.Handle(EncodeEfsClose(0));
    device.requests.clear();
  }
  Report(state, 2 + kFileSize / kEfsReadChunk);
}

// One 64 KiB file at time scale 1, with the pause the transfer makes before its first block.
void BM_EfsReadScale1(benchmark::State& state) {
  ScaledClock clock(1.0);
  Rig rig(clock);
  const std::string local = Folder() + "/read1.bin";
  for (auto _ : state) ReadOnce(rig, local);
  Report(state, 3 + kFileSize / kEfsReadChunk);
}

void BM_EfsWriteScale1(benchmark::State& state) {
  ScaledClock clock(1.0);
  Rig rig(clock);
  const std::string local = Folder() + "/write1.bin";
  std::ofstream(local, std::ios::binary).write(reinterpret_cast<const char*>(Content().data()), kFileSize);
  for (auto _ : state) WriteOnce(rig, local);
  Report(state, 3 + (kFileSize + kEfsWriteChunk - 1) / kEfsWriteChunk);
}

BENCHMARK(BM_EfsRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EfsWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeviceSideRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EfsReadScale1)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_EfsWriteScale1)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace
}  // namespace upwend

BENCHMARK_MAIN();
