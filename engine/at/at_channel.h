#pragma once
// The AT text channel on the worker's AT port: queries that wait for "OK"/"ERROR", the reboot
// command, identity write-backs, the configured start and end command lists with their pseudo
// commands "AT%SLEEP" and "AT%RESET", and port re-discovery after the device re-enumerated.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "engine/worker/run_parameters.h"
#include "engine/worker/worker_context.h"
#include "engine/worker/worker_layers.h"

namespace upwend {

class SerialPort;
class DeviceWindow;

// DIAG control requests the AT lists and the sequence use (mode change and platform query).
class DiagControl {
public:
  virtual ~DiagControl() = default;
  // 0 when acknowledged, -1 after 10 unacknowledged attempts.
  virtual int SendDiagOffline() = 0;
  virtual int SendDiagReset() = 0;
  // The device's platform byte, or -1.
  virtual int QueryPlatform() = 0;
};

// Stored identity values by WriteAtValue item number.
class IdentityValues {
public:
  virtual ~IdentityValues() = default;
  virtual std::string ValueForItem(int item) const = 0;
};


class AtChannel final : public AtLayer {
public:
  AtChannel(WorkerContext& ctx, RunParameters& params, std::function<SerialPort*()> atPort, DiagControl& diag,
            IdentityValues& values, DeviceWindow& window);

  bool SendAtQuery(const std::string& command, std::string& value) override;
  bool SendAtReboot(const std::string& command) override;
  bool WriteAtValue(const std::string& prefix, int item, const std::string& failureText);
  void RunStartAtList() override;
  void RunEndAtList() override;
  int QueryPlatform() override { return diag_.QueryPlatform(); }
  void ShowDeviceVersion() override;
  bool FindComPort() override;

private:
  bool WriteCommand(const std::string& command);
  bool SleepEntry(const std::string& entry);

  WorkerContext& ctx_;
  RunParameters& params_;
  std::function<SerialPort*()> atPort_;
  DiagControl& diag_;
  IdentityValues& values_;
  DeviceWindow& window_;
};

}  // namespace upwend
