#pragma once
// The AT text channel on the worker's AT port: queries that wait for "OK"/"ERROR", the reboot
// command, identity write-backs, the configured start and end command lists with their pseudo
// commands "AT%SLEEP" and "AT%RESET", and port re-discovery after the device re-enumerated.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "engine/run_parameters.h"
#include "engine/worker_context.h"
#include "engine/worker_layers.h"

namespace upwend {

class SerialPort;

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

// What the channel needs from the window, carried out on the UI thread by the real link.
class AtWindow {
public:
  virtual ~AtWindow() = default;
  virtual bool DiskModeSwitched() = 0;
  // Re-runs port discovery (CheckForComPorts) and waits for it.
  virtual void CheckForComPorts() = 0;
  virtual std::string PortText() = 0;
  virtual std::string SerialPortText() = 0;
  // Queries "AT+CGMR" on the given open port and shows "Version:" + text in the version label.
  virtual void ShowDeviceVersion(SerialPort* atPort) = 0;
};

// The value a successful query returns: between the first ":" and the first "OK" of one poll's
// text (from the start when there is no ":", empty when the ":" comes after the "OK").
std::string AtReplyValue(const std::string& pollText);

// "AT%SLEEP=<ms>" entries: the milliseconds, or nullopt when the entry has no "=". A value that is
// not a decimal number sleeps 0 ms: the entry is a pause, never a command to send.
std::optional<uint64_t> AtSleepMilliseconds(const std::string& entry);

class AtChannel final : public AtLayer {
public:
  AtChannel(WorkerContext& ctx, RunParameters& params, std::function<SerialPort*()> atPort, DiagControl& diag,
            IdentityValues& values, AtWindow& window);

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
  AtWindow& window_;
};

}  // namespace upwend
