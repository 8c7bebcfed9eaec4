// Times the tool's fastboot transfer of one image (AdbWinApi.dll over the TCP framing, 4096-byte
// writes, as the worker sends it) against Debian's `fastboot -s tcp:` flashing the same image to
// the same partition of the same simulated device, and reports both rates, their ratio and the
// tool's peak resident memory before and after (the image is never held in memory), beside the
// simulator's own rate for the same download from a minimal client (the ceiling). Each run
// measures the three side by side; the load average is printed with each.
//
// usage: fastboot_transfer_bench [MiB] [runs]   (default 256 MiB, 1 run)
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "bench/support/bench_context.h"
#include "engine/fastboot/adb_binding.h"
#include "engine/fastboot/fastboot_pass.h"
#include "platform/clock.h"
#include "platform/sim_bus.h"
#include "raw_sink_client.h"
#include "sim_process.h"

namespace {

using namespace upwend;
namespace fs = std::filesystem;

long PeakRssKiB() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}


// User + system CPU seconds of this process (or of its waited-for children): a client's own
// cost, which a loaded machine inflates far less than wall time.
double CpuSeconds(int who) {
  rusage u{};
  getrusage(who, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The pass's own pauses (a fixed wait before each download) are part of the protocol, not of the
// transfer: this clock adds up the real time they take, so the rate can be given without them.
class PauseCountingClock final : public Clock {
public:
  uint64_t NowMs() const override { return inner_.NowMs(); }
  void SleepMs(uint64_t ms) override {
    auto t0 = std::chrono::steady_clock::now();
    inner_.SleepMs(ms);
    paused_ += Seconds(t0);
  }
  std::chrono::nanoseconds ToReal(uint64_t ms) const override { return inner_.ToReal(ms); }
  double Scale() const override { return inner_.Scale(); }
  double TakePaused() { return std::exchange(paused_, 0.0); }

private:
  ScaledClock inner_{1.0};
  double paused_ = 0;
};

struct Run {
  double load = 0, theirs = 0, ours = 0, oursPaused = 0, sink = 0, theirsCpu = 0, oursCpu = 0;
  long rssBefore = 0, rssAfter = 0;
};

}  // namespace

int main(int argc, char** argv) {
  uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 256;
  int runs = argc > 2 ? std::atoi(argv[2]) : 1;
  uint64_t size = mib << 20;
  std::string root = testing::FreshDir("fastboot-bench");
  std::string image = root + "/system.img";
  {
    std::ofstream out(image, std::ios::binary);
    std::vector<char> block(1 << 20);
    for (uint64_t m = 0; m < mib; ++m) {
      for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>((i * 31 + m * 7) & 0xFF);
      out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
  }
  testing::SimProcess sim({"--bus", root + "/bus", "--state", root + "/device", "--mode", "fastboot",
                           "--max-download", std::to_string(size + 1)});
  auto line = sim.WaitLine("published FASTBOOT", std::chrono::seconds(30));
  if (!line) {
    std::fprintf(stderr, "the simulator did not publish its fastboot endpoint\n");
    return 1;
  }
  std::string endpoint = line->substr(line->find("tcp:"));

  PauseCountingClock clock;
  bench::PrintingContext ctx(clock);
  RunParameters params;
  AdbBinding adb;
  std::string error;
  std::string build = std::getenv("UPWEND_BUILD_DIR") ? std::getenv("UPWEND_BUILD_DIR") : "build/default";
  if (!adb.Load(build + "/tools/adbwinapi/AdbWinApi.dll", error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  FastbootPass pass(ctx, params, adb, [&](int, std::string& path) {
    path = endpoint;
    return 0;
  });

  // The first download into a fresh device writes new spool and partition files; every later one
  // replaces them, which costs more. One untimed download first, so that the client measured
  // first in run 1 meets the device as all the others do.
  if (bench::RawSinkSeconds(endpoint, size, "system", error) < 0) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }

  std::vector<Run> results;
  for (int r = 0; r < runs; ++r) {
    Run run;
    run.load = bench::LoadAverage();
    // Debian's fastboot client.
    std::string output;
    double cpu0 = CpuSeconds(RUSAGE_CHILDREN);
    auto t0 = std::chrono::steady_clock::now();
    if (testing::RunCommand("fastboot -s " + endpoint + " flash system " + image, output) != 0) {
      std::fprintf(stderr, "fastboot failed: %s\n", output.c_str());
      return 1;
    }
    run.theirs = Seconds(t0);
    run.theirsCpu = CpuSeconds(RUSAGE_CHILDREN) - cpu0;

    // The tool's transfer, as the worker's fastboot pass sends a list entry.
    run.rssBefore = PeakRssKiB();
    cpu0 = CpuSeconds(RUSAGE_SELF);
    t0 = std::chrono::steady_clock::now();
    bool ok = pass.ConnectAdbInterface(endpoint) && pass.InitAdbConnection() && pass.FlashListEntry(image, size, "system");
    run.ours = Seconds(t0);
    run.oursPaused = clock.TakePaused();
    run.oursCpu = CpuSeconds(RUSAGE_SELF) - cpu0;
    pass.CloseAdbConnection();
    run.rssAfter = PeakRssKiB();
    if (!ok) return 1;

    // The simulator's own rate: a minimal client streaming from memory.
    run.sink = bench::RawSinkSeconds(endpoint, size, "system", error);
    if (run.sink < 0) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 1;
    }
    results.push_back(run);
  }

  double mb = static_cast<double>(size) / 1e6;
  std::printf("fastboot over TCP: %llu MiB to partition system of one simulated device (download + flash), %d run(s)\n",
              static_cast<unsigned long long>(mib), runs);
  std::printf("upwend's rate leaves out the pass's fixed pauses (given in ms), which are waits, not transfer\n\n");
  std::printf("| run | load | Debian fastboot MB/s | upwend MB/s | upwend pauses ms | simulator sink MB/s | upwend/fastboot | upwend/sink | client CPU s fastboot/upwend | peak RSS KiB before/after |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|---|\n");
  for (size_t i = 0; i < results.size(); ++i) {
    const Run& r = results[i];
    double ours = r.ours - r.oursPaused;
    std::printf("| %zu | %.1f | %.1f | %.1f | %.0f | %.1f | %.2f | %.2f | %.3f/%.3f | %ld/%ld |\n", i + 1, r.load,
                mb / r.theirs, mb / ours, r.oursPaused * 1000, mb / r.sink, r.theirs / ours, r.sink / ours, r.theirsCpu,
                r.oursCpu, r.rssBefore, r.rssAfter);
  }
  fs::remove_all(root);
  return 0;
}
