// EFS reads and writes of a 64 KiB file through the tool's real DIAG port against upwend-sim over
// its pseudo-terminal, beside the floor: a bare pseudo-terminal round trip of the same request
// and reply sizes to a thread that answers at once. Each transfer is repeated; the best and the
// median are printed (a loaded machine delays single round trips by whole scheduler ticks), with
// the load average.
//
// usage: efs_sim_bench [repetitions]   (default 15)
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "bench/support/bench_context.h"
#include "engine/diag/diag_framing.h"
#include "engine/diag/diag_transport.h"
#include "engine/efs/efs2_requests.h"
#include "engine/efs/efs_device.h"
#include "engine/worker/worker_context.h"
#include "platform/port_names.h"
#include "platform/clock.h"
#include "platform/serial_port.h"
#include "sim_process.h"

namespace {

using namespace upwend;
using Clk = std::chrono::steady_clock;

constexpr size_t kFileSize = 64 * 1024;
constexpr double kScale = 0.1;  // the pause before each transfer becomes 50 ms, subtracted below

double Seconds(Clk::time_point since) { return std::chrono::duration<double>(Clk::now() - since).count(); }

// Round trips of `request` bytes out and `reply` bytes back over a fresh pseudo-terminal whose
// other side answers as soon as a whole request has arrived. Microseconds per round trip.
std::vector<double> PtyRoundTrips(size_t request, size_t reply, int count) {
  int master = -1, slave = -1;
  if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return {};
  termios raw{};
  tcgetattr(slave, &raw);
  cfmakeraw(&raw);
  tcsetattr(slave, TCSANOW, &raw);
  std::thread echo([&] {
    std::vector<uint8_t> in(8192), out(reply, 0x42);
    for (int i = 0; i < count; ++i) {
      size_t got = 0;
      while (got < request) {
        ssize_t n = read(master, in.data(), in.size());
        if (n <= 0) return;
        got += static_cast<size_t>(n);
      }
      if (write(master, out.data(), out.size()) != static_cast<ssize_t>(out.size())) return;
    }
  });
  std::vector<uint8_t> out(request, 0x41), in(8192);
  std::vector<double> us;
  for (int i = 0; i < count; ++i) {
    auto t0 = Clk::now();
    if (write(slave, out.data(), out.size()) != static_cast<ssize_t>(out.size())) break;
    size_t got = 0;
    while (got < reply) {
      ssize_t n = read(slave, in.data(), in.size());
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
    us.push_back(Seconds(t0) * 1e6);
  }
  echo.join();
  close(master);
  close(slave);
  return us;
}

double Best(std::vector<double> v) { return v.empty() ? 0 : *std::min_element(v.begin(), v.end()); }
double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

std::string Field(const std::string& line, int index) {
  std::istringstream in(line);
  std::string word;
  for (int i = 0; i <= index; ++i) in >> word;
  return word;
}

}  // namespace

int main(int argc, char** argv) {
  const int reps = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
  const double loadBefore = bench::LoadAverage();
  const std::string dir = testing::FreshDir("efs-sim-bench");
  const std::string state = dir + "/state";

  testing::SimProcess sim({"--bus", dir + "/bus", "--state", state, "--time-scale", "1"});
  auto line = sim.WaitLine("published DIAG", std::chrono::seconds(30));
  if (!line) {
    std::fprintf(stderr, "the simulator did not publish its DIAG port\n");
    return 1;
  }
  const std::string portName = Field(*line, 2), node = Field(*line, 3);
  // The simulator sets up its state folder first; the file goes in afterwards.
  std::filesystem::create_directories(state + "/efs/bench");
  std::vector<char> content(kFileSize);
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 31 + 7);
  std::ofstream(state + "/efs/bench/src.bin", std::ios::binary).write(content.data(), kFileSize);
  std::ofstream(dir + "/up.bin", std::ios::binary).write(content.data(), kFileSize);
  ScaledClock clock(kScale);
  bench::PrintingContext worker(clock);
  DiagTransport transport(worker, [&] {
    return CreatePosixSerialPort(clock, [&](const std::string& name) -> std::optional<std::string> {
      if (name == portName) return node;
      return std::nullopt;
    });
  });
  transport.config().comPort = ParsePortName(portName).value_or(0);
  if (!transport.OpenDiagPort()) {
    std::fprintf(stderr, "cannot open %s (%s)\n", portName.c_str(), node.c_str());
    return 1;
  }
  DiagFraming framing(worker, transport);
  EfsDevice efs(worker, framing, &transport);
  const double pause = EfsDevice::kTransferPauseMs * kScale / 1000;

  constexpr int kReadRequests = 3 + static_cast<int>(kFileSize / kEfsReadChunk);
  constexpr int kWriteRequests = 3 + static_cast<int>((kFileSize + kEfsWriteChunk - 1) / kEfsWriteChunk);
  std::vector<double> readUs, writeUs;
  for (int r = 0; r < reps; ++r) {
    auto t0 = Clk::now();
    uint32_t size = 0;
    if (efs.EfsOpenRead("bench/src.bin", size) != 0 || efs.EfsReadToFile(dir + "/down.bin", size) != 0 || efs.EfsClose() != 0) {
      std::fprintf(stderr, "the EFS read failed\n");
      return 1;
    }
    readUs.push_back((Seconds(t0) - pause) * 1e6 / kReadRequests);
    t0 = Clk::now();
    if (efs.EfsOpenWrite("bench/dst.bin") != 0) {
      std::fprintf(stderr, "the EFS open for writing failed\n");
      return 1;
    }
    efs.UploadFile(dir + "/up.bin", kFileSize);
    if (efs.EfsClose() != 0 || worker.ErrorCode() != 0) {
      std::fprintf(stderr, "the EFS write failed\n");
      return 1;
    }
    writeUs.push_back((Seconds(t0) - pause) * 1e6 / kWriteRequests);
  }
  // The wire sizes of one read request (and its reply) and of one write request.
  const auto readFloor = PtyRoundTrips(20, 541, reps * 50);
  const auto writeFloor = PtyRoundTrips(1522, 23, reps * 20);

  auto rate = [](double usPerRequest, double bytesPerRequest) { return bytesPerRequest / usPerRequest; };  // MB/s
  std::printf("EFS over the simulator's pseudo-terminal: a 64 KiB file, %d repetitions, load %.1f before / %.1f after\n\n",
              reps, loadBefore, bench::LoadAverage());
  std::printf("| transfer | us/request best | us/request median | MB/s best | MB/s median | pty round trip floor us best/median | best/floor |\n");
  std::printf("|---|---|---|---|---|---|---|\n");
  const double readBytes = static_cast<double>(kFileSize) / kReadRequests, writeBytes = static_cast<double>(kFileSize) / kWriteRequests;
  std::printf("| read (512-byte requests) | %.0f | %.0f | %.2f | %.2f | %.0f/%.0f | %.2f |\n", Best(readUs), Median(readUs),
              rate(Best(readUs), readBytes), rate(Median(readUs), readBytes), Best(readFloor), Median(readFloor),
              Best(readUs) / Best(readFloor));
  std::printf("| write (1488-byte requests) | %.0f | %.0f | %.2f | %.2f | %.0f/%.0f | %.2f |\n", Best(writeUs), Median(writeUs),
              rate(Best(writeUs), writeBytes), rate(Median(writeUs), writeBytes), Best(writeFloor), Median(writeFloor),
              Best(writeUs) / Best(writeFloor));
  std::printf("\nfloor rates: read %.2f MB/s, write %.2f MB/s (the same bytes per round trip at the pty's best round trip)\n",
              rate(Best(readFloor), readBytes), rate(Best(writeFloor), writeBytes));
  std::filesystem::remove_all(dir);
  return 0;
}
