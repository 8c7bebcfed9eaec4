// Times the tool's fastboot transfer of one image (AdbWinApi.dll over the TCP framing, 4096-byte
// writes, as the worker sends it) against Debian's `fastboot -s tcp:` flashing the same image to
// the same partition of the same simulated device, and reports both rates, their ratio and the
// tool's peak resident memory before and after (the image is never held in memory).
//
// usage: fastboot_transfer_bench [MiB]   (default 256)
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/fastboot/adb_binding.h"
#include "engine/fastboot/fastboot_pass.h"
#include "platform/clock.h"
#include "platform/sim_bus.h"
#include "sim_process.h"

namespace {

using namespace upwend;
namespace fs = std::filesystem;

class PrintingContext final : public WorkerContext {
public:
  explicit PrintingContext(Clock& clock) : clock_(clock) {}
  void ReportStatus(int, const std::string&, int) override {}
  void ReportError(const std::string& text) override {
    std::fprintf(stderr, "error: %s\n", text.c_str());
    code_ = 31;
  }
  int ErrorCode() const override { return code_; }
  Clock& clock() override { return clock_; }
  void SetGauge(uint64_t, uint64_t) override {}

private:
  Clock& clock_;
  int code_ = 0;
};

long PeakRssKiB() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
  uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 256;
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

  // Debian's fastboot client.
  std::string output;
  auto t0 = std::chrono::steady_clock::now();
  int rc = testing::RunCommand("fastboot -s " + endpoint + " flash system " + image, output);
  double theirs = Seconds(t0);
  if (rc != 0) {
    std::fprintf(stderr, "fastboot failed: %s\n", output.c_str());
    return 1;
  }

  // The tool's transfer, as the worker's fastboot pass sends a list entry.
  ScaledClock clock(1.0);
  PrintingContext ctx(clock);
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
  long rssBefore = PeakRssKiB();
  t0 = std::chrono::steady_clock::now();
  bool ok = pass.ConnectAdbInterface(endpoint) && pass.InitAdbConnection() && pass.FlashListEntry(image, size, "system");
  double ours = Seconds(t0);
  pass.CloseAdbConnection();
  long rssAfter = PeakRssKiB();
  if (!ok) return 1;

  double mb = static_cast<double>(size) / 1e6;
  std::printf("image                %llu MiB to partition system of one simulated device\n",
              static_cast<unsigned long long>(mib));
  std::printf("Debian fastboot      %7.2f s  %8.1f MB/s\n", theirs, mb / theirs);
  std::printf("upwend (AdbWinApi)   %7.2f s  %8.1f MB/s\n", ours, mb / ours);
  std::printf("ratio upwend/fastboot %.2f\n", theirs / ours);
  std::printf("peak resident memory before %ld KiB, after %ld KiB\n", rssBefore, rssAfter);
  fs::remove_all(root);
  return 0;
}
