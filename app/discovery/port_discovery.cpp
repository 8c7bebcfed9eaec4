#include "app/discovery/port_discovery.h"

#include <algorithm>
#include <cctype>

#include "app/discovery/at_query_reply.h"
#include "platform/clock.h"
#include "platform/device_backend.h"
#include "platform/port_names.h"
#include "platform/serial_port.h"

namespace upwend {

namespace {

constexpr const char* kDiskModeHardwareIds[] = {
    "USB\\Vid_3A5C&Pid_f101&Rev_0100&MI_00",
    "USB\\Vid_3A5C&Pid_f108&Rev_0100&MI_02",
    "USB\\Vid_5B7E&Pid_001b&Rev_0100&MI_00",
};
constexpr const char* kDiskModeCommand = "AT+DISK=8,\"D1\"\r\n";
constexpr const char* kDiskModeEcho = "AT+DISK=8,\"D1\"";
constexpr uint64_t kDiskModeSettleMs = 5000;
constexpr uint64_t kSwitchReplySettleMs = 500;
constexpr uint64_t kSwitchPollMs = 800;
constexpr uint64_t kSwitchReplySeconds = 8;
constexpr uint64_t kProbeSettleMs = 100;
constexpr uint64_t kProbePollMs = 100;
constexpr int kProbePolls = 10;
constexpr uint32_t kProbeFirstRead = 256;
constexpr uint32_t kPollRead = 128;
constexpr int kQueryPolls = 10;
constexpr uint64_t kQueryPollMs = 100;
constexpr int kCloseAttempts = 10;
constexpr uint64_t kCloseRetryMs = 100;
constexpr uint64_t kRescanMs = 500;
constexpr int kRescans = 3;
constexpr uint64_t kPauseSliceMs = 100;
constexpr size_t kMaxAdbPath = 256;
// System error codes of a failed interface lookup (as the enumeration reports them).
constexpr int kErrorNoMoreItems = 259;
constexpr int kErrorInsufficientBuffer = 122;

bool Contains(const std::string& text, const char* what) { return text.find(what) != std::string::npos; }

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

bool EqualsIgnoringCase(const std::string& a, const std::string& b) { return Upper(a) == Upper(b); }

// "COM9" opens as is; "COM10" and up need the "\\.\" prefix.
std::string ProbePath(const std::string& port) {
  auto number = ParsePortName(port);
  return number && *number >= 10 ? "\\\\.\\" + port : port;
}

bool WriteAll(SerialPort& port, const std::string& text) {
  uint32_t done = 0;
  return port.Write(reinterpret_cast<const uint8_t*>(text.data()), static_cast<uint32_t>(text.size()), done) &&
         done == text.size();
}

std::string ReadSome(SerialPort& port, uint32_t max) {
  std::string buffer(max, '\0');
  uint32_t done = 0;
  if (!port.Read(reinterpret_cast<uint8_t*>(buffer.data()), max, done)) return {};
  buffer.resize(std::min(done, max));
  return buffer;
}

uint32_t BytesWaiting(SerialPort& port) {
  CommErrors errors;
  return port.ClearError(errors) ? errors.inQueue : 0;
}

}  // namespace

std::string PortNameInParentheses(const std::string& friendlyName) {
  size_t open = friendlyName.find('(');
  size_t close = friendlyName.find(')');
  if (open == std::string::npos || friendlyName.empty() || close != friendlyName.size() - 1 || open > close) {
    return {};
  }
  return friendlyName.substr(open + 1, close - open - 1);
}

bool IsDiskModeHardwareId(const std::string& hardwareId) {
  std::string upper = Upper(hardwareId);
  for (const char* id : kDiskModeHardwareIds) {
    if (upper == Upper(id)) return true;
  }
  return false;
}

bool QueryAtPort(Clock& clock, SerialPort& port, const std::string& command, std::string& value) {
  WriteAll(port, command);  // a failed write is not reported: the polls tell
  // At a small time scale the ten polls last a few real ms; the window then stays open until a
  // loaded machine has had time to answer.
  const uint64_t floorEnd = clock.NowMs() + ReplyFloorMs(clock, kQueryPolls * kQueryPollMs);
  for (int poll = 0; poll < kQueryPolls || clock.NowMs() < floorEnd; ++poll) {
    clock.SleepMs(kQueryPollMs);
    std::string buffer(kPollRead, '\0');
    uint32_t done = 0;
    if (!port.Read(reinterpret_cast<uint8_t*>(buffer.data()), kPollRead, done)) return false;
    buffer.resize(std::min(done, kPollRead));
    switch (ParseAtQueryReply(command, buffer, value)) {
      case AtQueryVerdict::kOk: return true;
      case AtQueryVerdict::kFailed: return false;
      case AtQueryVerdict::kPending: break;
    }
  }
  return false;
}

PortDiscovery::PortDiscovery(Clock& clock, DeviceBackend* devices, PortFactory ports, Log log)
    : clock_(clock), devices_(devices), ports_(std::move(ports)), log_(std::move(log)) {}

PortDiscovery::~PortDiscovery() {
  if (probe_ && probe_->IsOpen()) probe_->Close();
}

DeviceIdentity PortDiscovery::Identity() const {
  std::lock_guard lock(mutex_);
  return identity_;
}

bool PortDiscovery::Pause(uint64_t ms) {
  while (ms > 0) {
    if (abort_ && abort_->load()) return false;
    uint64_t slice = std::min(ms, kPauseSliceMs);
    clock_.SleepMs(slice);
    ms -= slice;
  }
  return !(abort_ && abort_->load());
}

bool PortDiscovery::ProbeHandleOpen() {
  std::lock_guard lock(mutex_);
  return probe_ && probe_->IsOpen();
}

bool PortDiscovery::CloseProbeHandleOnce() {
  std::lock_guard lock(mutex_);
  if (!probe_ || !probe_->IsOpen()) return true;
  if (!probe_->Close()) return false;
  probe_.reset();
  return true;
}

void PortDiscovery::CloseProbe(const char* warning) {
  for (int attempt = 0; attempt < kCloseAttempts; ++attempt) {
    if (!probe_ || !probe_->IsOpen() || probe_->Close()) {
      probe_.reset();
      return;
    }
    log_(warning);
    clock_.SleepMs(kCloseRetryMs);
  }
  // Still open: the next operation that opens the probe closes it again.
}

bool PortDiscovery::OpenProbe(const std::string& port) {
  CloseProbe("Warning-27");
  if (probe_ || !ports_) return false;  // a handle that would not close is not replaced
  probe_ = ports_();
  if (!probe_ || !probe_->Open(ProbePath(port))) {
    probe_.reset();
    return false;
  }
  CommState state;
  bool configured = probe_->Purge(kPurgeRxClear | kPurgeTxClear | kPurgeRxAbort | kPurgeTxAbort) &&
                    probe_->GetState(state);
  if (configured) {
    state.baudRate = 115200;
    state.byteSize = 8;
    state.parity = Parity::None;
    state.stopBits = StopBits::One;
    state.binary = true;
    state.parityCheck = false;
    state.dtrControl = LineControl::Enable;
    CommTimeouts timeouts;
    timeouts.readIntervalTimeout = kMaxDword;
    timeouts.writeTotalTimeoutMultiplier = 100;
    timeouts.writeTotalTimeoutConstant = 1000;
    configured = probe_->SetState(state) && probe_->SetTimeouts(timeouts);
  }
  if (!configured) {
    CloseProbe("Warning-29");
    return false;
  }
  return true;
}

DiscoveredPorts PortDiscovery::Discover(const DiscoverySettings& settings, const std::atomic<bool>* abort) {
  std::lock_guard lock(mutex_);
  abort_ = abort;
  DiscoveredPorts found;
  log_("CheckForComPorts start");
  found.foundDiag = ScanLocked(settings, found.diag, found.app);
  if (!found.foundDiag) {
    found.foundDiag = ScanLocked(settings, found.diag, found.app);
  }
  log_("CheckForComPorts end");
  log_("Enum AT port start");
  EnumAtPorts(settings, found.at, found.diag, found.app);
  log_("Enum AT port end");
  abort_ = nullptr;
  return found;
}

bool PortDiscovery::ScanComPorts(const DiscoverySettings& settings, std::vector<std::string>& diagList,
                                 std::vector<std::string>& appList) {
  std::lock_guard lock(mutex_);
  return ScanLocked(settings, diagList, appList);
}

bool PortDiscovery::ScanLocked(const DiscoverySettings& settings, std::vector<std::string>& diagList,
                               std::vector<std::string>& appList) {
  if (!devices_) return false;
  bool added = false;
  for (const ComPortInfo& port : devices_->ListComPorts()) {
    const std::string& name = port.friendlyName;
    if (name.empty() || port.description.empty() || port.hardwareId.empty()) continue;
    if (!diskModeSwitched_ && IsDiskModeHardwareId(port.hardwareId)) {
      std::string target = PortNameInParentheses(name);
      if (!target.empty()) {
        if (SwitchDiskModeD1(target)) diskModeSwitched_ = true;
        Pause(kDiskModeSettleMs);
      }
    }
    if (Contains(name, "Ter")) {
      std::string app = PortNameInParentheses(name);
      if (!app.empty()) appList.push_back(app);
    }
    bool diag = settings.enprg9x15
                    ? (Contains(name, "QDLoader") || Contains(name, "QD")) && !Contains(name, "Diag") &&
                          !Contains(name, "DIAG")
                    : Contains(name, "Diag") || Contains(name, "DIAG");
    if (diag) {
      size_t com = name.find("(COM");
      std::string diagPort = PortNameInParentheses(com == std::string::npos ? name : name.substr(com));
      if (!diagPort.empty()) {
        diagList.push_back(diagPort);
        added = true;
      }
    }
  }
  return added;
}

bool PortDiscovery::SwitchDiskModeD1(const std::string& port) {
  std::lock_guard lock(mutex_);
  if (!OpenProbe(port)) return false;
  if (!WriteAll(*probe_, kDiskModeCommand)) {
    CloseProbe("Warning-30");
    return false;
  }
  std::string reply;
  Pause(kSwitchReplySettleMs);
  if (BytesWaiting(*probe_) > 0) {
    reply = ReadSome(*probe_, kPollRead);
  } else {
    uint64_t start = clock_.NowMs() / 1000;
    while (clock_.NowMs() / 1000 - start < kSwitchReplySeconds) {
      if (!Pause(kSwitchPollMs)) break;
      reply = ReadSome(*probe_, kPollRead);
      if (!reply.empty()) break;
    }
  }
  CloseProbe(Contains(reply, kDiskModeEcho) || Contains(reply, "OK") ? "Warning-34" : "Warning-35");
  return true;  // the command was sent; the reply does not change that
}

void PortDiscovery::EnumAtPorts(const DiscoverySettings& settings, std::vector<std::string>& atList,
                                const std::vector<std::string>& diagList, const std::vector<std::string>& appList) {
  std::lock_guard lock(mutex_);
  if (!devices_) return;
  for (const SerialMapEntry& entry : devices_->SerialPortMap()) {
    if (abort_ && abort_->load()) return;
    const std::string& name = entry.portName;
    if (name == "COM1" || name == "COM2" || !Contains(name, "COM")) continue;
    log_("enum Port:" + name);
    auto listed = [&name](const std::vector<std::string>& list) {
      return std::any_of(list.begin(), list.end(), [&name](const std::string& p) { return EqualsIgnoringCase(p, name); });
    };
    if (listed(diagList) || listed(appList)) continue;
    if (!name.empty() && ProbeLocked(settings, name)) {
      log_("Find AT Port:" + name);
      atList.push_back(name);
    }
  }
}

bool PortDiscovery::ProbeAtPort(const DiscoverySettings& settings, const std::string& port) {
  std::lock_guard lock(mutex_);
  return ProbeLocked(settings, port);
}

bool PortDiscovery::ProbeLocked(const DiscoverySettings& settings, const std::string& port) {
  if (!OpenProbe(port)) return false;
  log_("Start Send ATI " + port);
  if (!WriteAll(*probe_, "ATI\r\n")) {
    CloseProbe("Warning-30");
    return false;
  }
  std::string reply;
  const uint64_t floorEnd = clock_.NowMs() + ReplyFloorMs(clock_, kProbeSettleMs + kProbePolls * kProbePollMs);
  Pause(kProbeSettleMs);
  if (BytesWaiting(*probe_) > 0) {
    reply = ReadSome(*probe_, kProbeFirstRead);
  } else {
    for (int poll = 0; (poll < kProbePolls || clock_.NowMs() < floorEnd) && reply.empty(); ++poll) {
      if (!Pause(kProbePollMs)) break;
      reply = ReadSome(*probe_, kPollRead);
    }
  }
  log_("Send ATI " + port + " OK");
  if (!Contains(reply, "OK")) {
    CloseProbe("Warning-35");
    log_("Close Port " + port);
    return false;
  }
  identity_.revision.clear();
  if (size_t rev = reply.find("Revision:"); rev != std::string::npos) {
    size_t begin = std::min(rev + 10, reply.size());  // the blank after the colon is skipped
    size_t end = reply.find("\r\nIMEI:", begin);
    identity_.revision = reply.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
  }
  log_("Start Send AT+VXTSW " + port);
  if (!QueryAtPort(clock_, *probe_, kAtVxtsw, identity_.softwareVersion)) {
    CloseProbe("Warning-31");
    identity_.softwareVersion.clear();
    return false;
  }
  log_("Send AT+VXTSW " + port + " OK");
  log_("Start Send at+vxtinf=0,2 " + port);
  std::string variant;
  if (!QueryAtPort(clock_, *probe_, kAtVxtinf, variant)) {
    CloseProbe("Warning-31");
    return false;
  }
  identity_.japanese = variant == "SWYF007";
  log_("Send at+vxtinf=0,2 " + port + " OK");
  const std::string& name = settings.name;
  if (name == "NP31" || name == "NP30") {
    QueryAtPort(clock_, *probe_, kAtPmu, identity_.pairCode);
    identity_.pairCode = Contains(identity_.pairCode, "GMT") ? "NP31" : "NP30";
  } else if (name == "NQ411" || name == "NQ418") {
    QueryAtPort(clock_, *probe_, kAtPmu, identity_.pairCode);
    identity_.pairCode = Contains(identity_.pairCode, "TI") ? "NQ418" : "NQ411";
  }
  CloseProbe("Warning-34");
  log_("Close Port " + port);
  return true;
}

bool PortDiscovery::CheckDiagPortSame(const DiscoverySettings& settings, int portNumber) {
  std::lock_guard lock(mutex_);
  std::vector<std::string> diag;
  std::vector<std::string> app;
  bool found = ScanLocked(settings, diag, app);
  for (int retry = 0; !found && retry < kRescans; ++retry) {
    clock_.SleepMs(kRescanMs);
    found = ScanLocked(settings, diag, app);
  }
  if (diag.empty()) {
    log_("Port list <= 0");
    return false;
  }
  if (diag.front().empty()) {
    log_("DiaComPort empty");
    return false;
  }
  std::string digits = diag.front().size() > 3 ? diag.front().substr(3) : std::string();
  auto number = PortFieldDigits(digits, std::string::npos, PortDigits::kAll);
  if (number && *number == portNumber) {
    log_("Same DiaComPort COM" + digits);
    return true;
  }
  log_("Different DiaComPort COM" + digits);
  return false;
}

int PortDiscovery::FindAdbInterface(int index, std::string& path) {
  std::lock_guard lock(mutex_);
  if (!devices_ || index < 0) return kErrorNoMoreItems;
  std::vector<AdbInterfaceInfo> list = devices_->ListAdbInterfaces();
  if (static_cast<size_t>(index) >= list.size()) return kErrorNoMoreItems;
  const std::string& found = list[static_cast<size_t>(index)].devicePath;
  // A path too long for the caller's buffer is not usable: saying 0 with an empty path would
  // send the fastboot layer off to open nothing.
  if (found.size() >= kMaxAdbPath) return kErrorInsufficientBuffer;
  path = found;
  return Contains(found, "MI_0") || Contains(found, "mi_0") ? 255 : 0;
}

}  // namespace upwend
