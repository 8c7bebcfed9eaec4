#pragma once
// Faults injected into one simulator run, from --fault switches or a faults file. Each fault may
// carry "@N" to apply only to its first N matches. Thread-safe: the ports share one set.
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace upwend::sim {

enum class FaultKind {
  AtError,             // at-error:CMD          "ERROR" for commands starting with CMD
  AtSilent,            // at-silent:CMD         no reply (the echo still comes)
  DiagDrop,            // diag-drop:HEX         no reply to requests starting with these bytes
  DiagDelay,           // diag-delay:HEX:MS     reply after MS
  DiagBadCrc,          // diag-badcrc:HEX       reply with a spoilt check value
  DiagNak,             // diag-nak:HEX[:REASON] reply 03 + 16-bit reason instead
  NvInactive,          // nv-inactive:ID        reads answer status 5
  NvReadOnly,          // nv-readonly:ID        writes answer status 7
  NvStatus,            // nv-status:ID:CODE     reads and writes answer CODE
  EfsError,            // efs-error:PATH:ERRNO  EFS requests on PATH fail with ERRNO
  FastbootFail,        // fastboot-fail:PART    flash and erase of PART answer FAIL
  FastbootDisconnect,  // fastboot-disconnect:N drop the connection after N bytes of a download
  FastbootSlow,        // fastboot-slow:KIBPS   the data phase runs at KIBPS KiB/s
  Renumber,            // renumber[:STEP]       new COM numbers after each return from fastboot
  NoReturn,            // no-return             never come back from fastboot
  Latency,             // latency:MS            every reply (AT, DIAG, fastboot) comes MS later
  BootStall,           // boot-stall            the USB boot device stops reading after the length
  UnplugAt,            // unplug-at:CMD         pulled out when an AT line starts with CMD
  UnplugDiag,          // unplug-diag:HEX       pulled out at a DIAG request starting with HEX
  UnplugFastboot,      // unplug-fastboot:CMD   pulled out at a fastboot command starting with CMD
};

struct Fault {
  FaultKind kind = FaultKind::Latency;
  std::string text;             // command prefix (upper case), path or partition
  std::vector<uint8_t> prefix;  // DIAG request prefix
  uint64_t value = 0;           // ms, id, errno, byte count, rate, step, status
  uint64_t value2 = 0;          // NAK reason
  int64_t remaining = -1;       // -1: every match
};

struct DiagFaultEffect {
  bool drop = false;
  bool badCrc = false;
  std::optional<uint16_t> nakReason;
  uint64_t delayMs = 0;
};

class FaultSet {
public:
  FaultSet() = default;
  FaultSet(const FaultSet& other);
  FaultSet& operator=(const FaultSet& other);

  bool Add(const std::string& text, std::string& error);
  // One fault per line; blank lines and lines starting with '#' are skipped.
  bool LoadFile(const std::string& path, std::string& error);
  bool Empty() const;

  bool AtError(const std::string& commandUpper);
  bool AtSilent(const std::string& commandUpper);
  DiagFaultEffect ForDiag(const std::vector<uint8_t>& request);
  std::optional<uint16_t> NvStatus(uint16_t id, bool write);
  std::optional<uint32_t> EfsError(const std::string& normalizedPath);
  bool FastbootFail(const std::string& partition);
  std::optional<uint64_t> DisconnectAfter();
  uint64_t SlowKibPerSecond();
  int RenumberStep();
  bool NoReturn();
  bool BootStall();
  uint64_t LatencyMs();
  // The unplug faults: true when this AT line, DIAG request or fastboot command pulls the
  // device out; the unplug handler has then been called and nothing must be answered.
  bool UnplugAt(const std::string& commandUpper);
  bool UnplugDiag(const std::vector<uint8_t>& request);
  bool UnplugFastboot(const std::string& command);
  // What pulling the device out does (the program ends itself as on SIGTERM).
  void SetUnplugHandler(std::function<void()> handler);

private:
  // Finds the first live fault of `kind` that `match` accepts and uses up one of its matches.
  template <typename Match>
  Fault* Take(FaultKind kind, Match match);

  bool Unplug(bool matched);

  mutable std::mutex mutex_;
  std::vector<Fault> faults_;
  std::function<void()> unplug_;
  bool unplugged_ = false;
};

// EFS path as the device keys it: no leading '/', no doubled '/'.
std::string NormalizeEfsPath(const std::string& path);

}  // namespace upwend::sim
