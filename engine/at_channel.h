#pragma once
// The worker's AT text channel on the AT port (queries, the reboot command, identity
// write-backs, the start and end command lists) and the small DIAG control requests that
// travel with it (offline, reset, platform query), plus the port rediscovery after the device
// has re-enumerated.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace upwend {

class DeviceWindow;
class DiagFraming;
class DiagTransport;
class WorkerContext;

struct AtSettings {
  bool fastSpeedDownload = false;          // bFastSpeedDownload: shorter polls
  std::string simLock;                     // the [SIMLOCK] bSimLock string; "1..." is mode 1
  std::vector<std::string> startAtList;    // [Start_AT], each entry ending in "\r\n\r\n"
  std::vector<std::string> endAtList;      // [End_AT]
};

// The stored identity value of a write-back item (item numbers of the identity backup).
using IdentityValueSource = std::function<std::string(int item)>;

class AtChannel {
public:
  static constexpr uint64_t kQueryLimitS = 8;
  static constexpr size_t kQueryPollSize = 512;
  static constexpr size_t kWritePollSize = 128;

  AtChannel(WorkerContext& worker, DiagTransport& transport, DiagFraming& framing, DeviceWindow* window);

  AtSettings& settings() { return settings_; }
  void SetIdentityValues(IdentityValueSource source) { identity_ = std::move(source); }

  bool SendAtQuery(const std::string& command, std::string& value);
  bool SendAtReboot(const std::string& command);
  bool WriteAtValue(const std::string& prefix, int item, const std::string& failureText);
  void RunStartAtList();
  void RunEndAtList();
  int SendDiagOffline();
  int SendDiagReset();
  int QueryPlatform();
  void ShowDeviceVersion();
  bool FindComPort();

  // The command WriteAtValue sends for an item.
  std::string WriteBackCommand(const std::string& prefix, int item) const;

private:
  bool WriteCommand(const std::string& command);
  int SendModeChange(uint8_t mode, uint32_t replyBytes);
  bool Sleeping(const std::string& entry);

  WorkerContext& worker_;
  DiagTransport& transport_;
  DiagFraming& framing_;
  DeviceWindow* window_;
  AtSettings settings_;
  IdentityValueSource identity_;
};

}  // namespace upwend
