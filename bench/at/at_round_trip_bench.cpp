// The AT channel's query round trip against the simulated device at time scale 1, beside the
// bare echo round trip of the same pseudo-terminal, so the cost of the query's poll interval
// (800 ms, 100 ms in fast mode) shows against what the line itself takes.
//
// usage: at_round_trip_bench [rounds]   (default 5)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/at/at_channel.h"
#include "engine/at/device_window.h"
#include "platform/clock.h"
#include "platform/serial_port.h"
#include "platform/sim_bus.h"
#include "sim_process.h"

namespace {

using namespace upwend;

class QuietContext final : public WorkerContext {
public:
  explicit QuietContext(Clock& clock) : clock_(clock) {}
  void ReportStatus(int, const std::string&, int) override {}
  void ReportError(const std::string& text) override { std::fprintf(stderr, "error: %s\n", text.c_str()); }
  int ErrorCode() const override { return 0; }
  Clock& clock() override { return clock_; }
  void SetGauge(uint64_t, uint64_t) override {}

private:
  Clock& clock_;
};

struct NoDiag final : DiagControl {
  int SendDiagOffline() override { return -1; }
  int SendDiagReset() override { return -1; }
  int QueryPlatform() override { return -1; }
};
struct NoValues final : IdentityValues {
  std::string ValueForItem(int) const override { return {}; }
};
struct NoWindow final : DeviceWindow {
  void ClearDeviceFlags() override {}
  bool DeviceChangeSeen() override { return false; }
  bool DeviceArrivalSeen() override { return false; }
  bool CheckDiagPortSame(int) override { return false; }
  std::string PortText() override { return {}; }
  std::string SerialPortText() override { return {}; }
  void CheckForComPorts() override {}
  bool DiskModeSwitched() override { return false; }
  void ShowDeviceVersion(SerialPort*) override {}
};

double Ms(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
  std::string root = testing::FreshDir("at-bench");
  testing::SimProcess sim({"--bus", root + "/bus", "--state", root + "/device"});
  if (!sim.WaitLine("published AT", std::chrono::seconds(30))) return 1;
  auto bus = CreateSimBusBackend(root + "/bus");
  ScaledClock clock(1.0);
  auto port = CreatePosixSerialPort(clock, [&](const std::string& n) { return bus->DeviceNodeForPort(n); });
  if (!port->Open("COM6")) return 1;
  port->SetTimeouts({kMaxDword, 0, 0, 100, 1000});

  // Bare echo: write a line, poll without sleeping until its echo is back.
  double echo = 0;
  for (int i = 0; i < rounds; ++i) {
    const std::string line = "AT\r";
    auto t0 = std::chrono::steady_clock::now();
    uint32_t done = 0;
    port->Write(reinterpret_cast<const uint8_t*>(line.data()), static_cast<uint32_t>(line.size()), done);
    std::string got;
    while (got.find("OK") == std::string::npos && Ms(t0) < 5000) {
      uint8_t buf[256];
      uint32_t n = 0;
      port->Read(buf, sizeof buf, n);
      got.append(reinterpret_cast<char*>(buf), n);
    }
    echo += Ms(t0);
  }

  QuietContext ctx(clock);
  RunParameters params;
  NoDiag diag;
  NoValues values;
  NoWindow window;
  AtChannel at(ctx, params, [&] { return port.get(); }, diag, values, window);
  double query = 0, fast = 0;
  for (int i = 0; i < rounds; ++i) {
    std::string value;
    auto t0 = std::chrono::steady_clock::now();
    at.SendAtQuery("AT\r\n\r\n", value);
    query += Ms(t0);
  }
  params.bFastSpeedDownload = true;
  for (int i = 0; i < rounds; ++i) {
    std::string value;
    auto t0 = std::chrono::steady_clock::now();
    at.SendAtQuery("AT\r\n\r\n", value);
    fast += Ms(t0);
  }
  std::printf("rounds                          %d, time scale 1, AT port of the simulated device\n", rounds);
  std::printf("bare echo round trip            %8.2f ms\n", echo / rounds);
  std::printf("SendAtQuery (800 ms polls)      %8.2f ms\n", query / rounds);
  std::printf("SendAtQuery (fast mode, 100 ms) %8.2f ms\n", fast / rounds);
  return 0;
}
