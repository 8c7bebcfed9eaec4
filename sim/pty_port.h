#pragma once
// One serial port of the simulated device: a pseudo-terminal whose master side the simulator
// drives and whose slave path the tool opens like a COM port. The simulator keeps a slave
// descriptor of its own open, so the master never reports a hang-up while no client is there.
// Bytes from the client go to a handler; its replies are written without ever blocking (a
// client that stops reading loses output beyond a bounded queue, as a UART would).
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "sim/at_engine.h"
#include "sim/service_thread.h"

namespace upwend::sim {

class PtyPort {
public:
  using Handler = std::function<std::vector<TimedOutput>(const uint8_t*, size_t)>;
  using ActionSink = std::function<void(DeviceAction)>;
  static constexpr size_t kMaxPending = 1 << 20;

  PtyPort(Clock& clock, Handler handler, ActionSink onAction);
  ~PtyPort();
  PtyPort(const PtyPort&) = delete;
  PtyPort& operator=(const PtyPort&) = delete;

  bool Open(std::string& error);
  void Start();
  // Stops the thread and closes the terminal; a client sees the port vanish.
  void Close();
  const std::string& SlavePath() const { return slavePath_; }

private:
  void Run();
  void Flush();

  Clock& clock_;
  Handler handler_;
  ActionSink onAction_;
  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
  std::string pending_;
  ServiceThread service_;  // last: it stops before the rest goes
};

}  // namespace upwend::sim
