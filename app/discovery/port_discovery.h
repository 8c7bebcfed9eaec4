#pragma once
// Port and device discovery of the main window: the DIAG and application ports from the
// COM-port interfaces (friendly names and hardware IDs), the AT ports from the serial port map
// by a live AT probe that also identifies the device, the one-time disk-mode switch, and the
// ADB interface lookup. It owns the probe handle (one serial port, opened by one operation at a
// time). The port boxes are not touched here: callers get lists and show them on the UI thread.
//
// Thread safety: every public operation may be called from any thread; they are serialised by
// one lock, so only one probe is open at a time. Log lines go to `log` on the caller's thread.
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace upwend {

class Clock;
class DeviceBackend;
class SerialPort;

// What the AT probe learnt about the device, for the device check.
struct DeviceIdentity {
  std::string revision;         // DeviceRevision
  std::string softwareVersion;  // DeviceSoftwareVersion
  bool japanese = false;        // JapaneseDevice
  std::string pairCode;         // DevicePairCode
};

// The configuration values discovery depends on, taken on the UI thread.
struct DiscoverySettings {
  bool enprg9x15 = false;  // bEnprg9x15
  std::string name;        // [Project] Name
};

struct DiscoveredPorts {
  std::vector<std::string> diag;
  std::vector<std::string> app;
  std::vector<std::string> at;
  bool foundDiag = false;
};

// The port name in a friendly name: the text between the first "(" and the last character,
// which must be ")" and the first ")". Empty when there is none.
std::string PortNameInParentheses(const std::string& friendlyName);

// The hardware IDs whose port gets the disk-mode switch.
bool IsDiskModeHardwareId(const std::string& hardwareId);

// One AT exchange on an open port: writes the command, then up to 10 polls 100 ms apart, each
// judged on what that read brought (see at_query_reply.h). `value` is written only on success.
bool QueryAtPort(Clock& clock, SerialPort& port, const std::string& command, std::string& value);

class PortDiscovery {
public:
  using PortFactory = std::function<std::unique_ptr<SerialPort>()>;
  using Log = std::function<void(const std::string&)>;

  PortDiscovery(Clock& clock, DeviceBackend* devices, PortFactory ports, Log log);
  ~PortDiscovery();

  // CheckForComPorts without the boxes: scan (twice when the first finds no DIAG port), then
  // the AT ports. `abort`, when given and set, cuts the waits short (the watcher is ending).
  DiscoveredPorts Discover(const DiscoverySettings& settings, const std::atomic<bool>* abort = nullptr);
  bool ScanComPorts(const DiscoverySettings& settings, std::vector<std::string>& diagList,
                    std::vector<std::string>& appList);
  bool SwitchDiskModeD1(const std::string& port);
  void EnumAtPorts(const DiscoverySettings& settings, std::vector<std::string>& atList,
                   const std::vector<std::string>& diagList, const std::vector<std::string>& appList);
  bool ProbeAtPort(const DiscoverySettings& settings, const std::string& port);
  bool CheckDiagPortSame(const DiscoverySettings& settings, int portNumber);
  int FindAdbInterface(int index, std::string& path);

  // The probe handle, for Start's release loop: one close attempt.
  bool ProbeHandleOpen();
  bool CloseProbeHandleOnce();

  bool DiskModeSwitched() const { return diskModeSwitched_; }
  DeviceIdentity Identity() const;

private:
  bool OpenProbe(const std::string& port);
  void CloseProbe(const char* warning);
  // Reads what a reply brought: at once when bytes wait, else polls.
  std::string ReadReply(uint64_t settleMs, uint32_t firstMax, int polls, uint64_t pollMs, bool wholeSeconds);
  bool Pause(uint64_t ms);
  bool ScanLocked(const DiscoverySettings& settings, std::vector<std::string>& diagList,
                  std::vector<std::string>& appList);
  bool ProbeLocked(const DiscoverySettings& settings, const std::string& port);

  Clock& clock_;
  DeviceBackend* devices_;
  PortFactory ports_;
  Log log_;
  mutable std::recursive_mutex mutex_;
  std::unique_ptr<SerialPort> probe_;
  std::atomic<bool> diskModeSwitched_{false};
  const std::atomic<bool>* abort_ = nullptr;
  DeviceIdentity identity_;
};

}  // namespace upwend
