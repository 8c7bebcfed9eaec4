// NV items per second for the 805-item backup (the GSM/WCDMA table into nv.bak) against a
// device that answers at once, at time scale 1, and the tool's own time per item: the total
// less the time the device spent building and sending its replies.
//  - InProcess: the device sits behind a SerialPort object; no system calls on the line.
//  - Pty: the device answers on a pseudo-terminal, the tool reads through termios as it
//    would from a USB serial port.
#include <benchmark/benchmark.h>

#include <chrono>

#include "engine/nv/nv_tables.h"
#include "platform/serial_port.h"
#include "tests/unit/engine/nv/nv_rig.h"
#include "tests/support/pty_responder.h"

namespace upwend::testing {
namespace {

constexpr double kItems = 805;

void FillDevice(FakeDiagDevice& device) {
  for (const auto& e : NvGsmWcdmaTable()) device.items[static_cast<uint16_t>(e.id)] = Pattern(static_cast<uint16_t>(e.id));
}

void Report(benchmark::State& state, double totalNs, double deviceNs, int runs) {
  state.SetItemsProcessed(static_cast<int64_t>(kItems * runs));
  state.counters["tool_us_per_item"] = (totalNs - deviceNs) / 1000.0 / (kItems * runs);
  state.counters["device_us_per_item"] = deviceNs / 1000.0 / (kItems * runs);
  state.counters["total_us_per_item"] = totalNs / 1000.0 / (kItems * runs);
}

// One backup of the whole table per iteration; `deviceNanos()` tells how long the device has
// spent on its replies so far.
template <typename DeviceNanos>
void MeasureBackups(benchmark::State& state, NvRig& rig, NvItems& nv, DeviceNanos deviceNanos) {
  double totalNs = 0;
  uint64_t deviceNs = 0;
  int runs = 0;
  for (auto _ : state) {
    nv.BuildNvBackupList();
    rig.ctx.lines.clear();
    const uint64_t deviceBefore = deviceNanos();
    const auto begin = std::chrono::steady_clock::now();
    nv.BackupNvToFile();
    totalNs += std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - begin).count();
    deviceNs += deviceNanos() - deviceBefore;
    ++runs;
    if (!rig.ctx.raised.empty() || nv.savedList().size() != 805) state.SkipWithError("backup failed");
  }
  Report(state, totalNs, static_cast<double>(deviceNs), runs);
}

void BM_NvBackup805_InProcess(benchmark::State& state) {
  NvRig rig("bench-inprocess", 1.0);
  FillDevice(rig.device);
  NvItems& nv = rig.Make();
  MeasureBackups(state, rig, nv, [&] { return rig.device.replyNanos; });
}
BENCHMARK(BM_NvBackup805_InProcess)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_NvBackup805_Pty(benchmark::State& state) {
  FakeDiagDevice device;
  FillDevice(device);
  PtyResponder responder(device);
  NvRig rig("bench-pty", 1.0);
  ScaledClock clock(1.0);
  const std::string node = responder.slavePath();
  rig.transport = std::make_unique<DiagTransport>(rig.ctx, [&] {
    return CreatePosixSerialPort(clock, [node](const std::string&) { return std::optional<std::string>(node); });
  });
  rig.transport->config().comPort = 9;
  if (!rig.transport->OpenDiagPort()) {
    state.SkipWithError("cannot open the pseudo-terminal");
    return;
  }
  rig.framing = std::make_unique<DiagFraming>(rig.ctx, *rig.transport);
  NvItems& nv = rig.Make();
  MeasureBackups(state, rig, nv, [&] { return responder.replyNanos(); });
}
BENCHMARK(BM_NvBackup805_Pty)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace upwend::testing

BENCHMARK_MAIN();
