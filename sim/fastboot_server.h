#pragma once
// The boot loader's fastboot endpoint: a loopback TCP listener serving one host connection at a
// time (the tool opens one per image), each through a FastbootSession.
#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "platform/clock.h"
#include "sim/fastboot_session.h"
#include "sim/service_thread.h"

namespace upwend::sim {

class FastbootServer {
public:
  using ActionSink = std::function<void(DeviceAction)>;

  FastbootServer(Clock& clock, StateStore& state, FaultSet& faults, uint64_t maxDownload, ActionSink onAction);
  ~FastbootServer();
  FastbootServer(const FastbootServer&) = delete;
  FastbootServer& operator=(const FastbootServer&) = delete;

  // Listens on 127.0.0.1:port (0: any free port).
  bool Open(uint16_t port, std::string& error);
  uint16_t Port() const { return port_; }
  void Start();
  void Close();

private:
  void Run();
  void Serve(int client);
  bool SendAll(int client, const std::string& data);

  Clock& clock_;
  StateStore& state_;
  FaultSet& faults_;
  uint64_t maxDownload_;
  ActionSink onAction_;
  int listen_ = -1;
  uint16_t port_ = 0;
  ServiceThread service_;  // last: it stops before the rest goes
};

}  // namespace upwend::sim
