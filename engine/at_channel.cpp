#include "engine/at_channel.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>

#include "engine/at_reply.h"
#include "engine/device_window.h"
#include "engine/diag_framing.h"
#include "engine/diag_transport.h"
#include "engine/worker_context.h"
#include "platform/clock.h"

namespace upwend {

namespace {

constexpr uint64_t kQuickPollMs = 100;
constexpr uint64_t kQueryPollMs = 800;
constexpr uint64_t kFastWritePollMs = 300;
constexpr uint64_t kWritePollMs = 800;
constexpr uint64_t kRebootSettleMs = 100;
constexpr uint64_t kDiscoverySettleMs = 2000;

constexpr uint8_t kModeChangeCode = 0x29;
constexpr uint8_t kModeOffline = 1;
constexpr uint8_t kModeReset = 2;
constexpr int kModeChangeAttempts = 10;
constexpr uint64_t kModeChangePauseMs = 1000;
constexpr uint32_t kOfflineReplyBytes = 10;
constexpr uint32_t kResetReplyBytes = 6;

constexpr uint8_t kPlatformCode = 0x7C;
constexpr uint8_t kPlatformOk = 0x02;
constexpr int kPlatformAttempts = 3;
constexpr size_t kPlatformReplyMax = 124;
constexpr size_t kPlatformByte = 8;

constexpr int kItemSimLock = 4;
constexpr int kItemCllen = 7;
constexpr int kItemVxreq = 8;
constexpr int kItemGmi = 9;
constexpr int kItemSalesCount = 15;
constexpr int kItemPrefixOnly = -1;

const char kDiskModeD1[] = "AT+DISK=8,\"D1\"\r\n\r\n";
const char kDiagOn[] = "AT+DIAG=1\r\n\r\n";
const char kAtReset[] = "AT%RESET\r\n\r\n";
const char kCdromOn[] = "AT+CDROM=1\r\n\r\n";
const char kVxtReset[] = "AT+VXTRESET\r\n\r\n";

uint64_t Seconds(Clock& clock) { return clock.NowMs() / 1000; }

// "COM12" -> 12; false when what follows the first three characters is not a number.
bool PortNumber(const std::string& name, int& number) {
  if (name.size() <= 3) return false;
  int n = 0;
  for (size_t i = 3; i < name.size(); ++i) {
    const char c = name[i];
    if (c < '0' || c > '9' || n > 100000) return false;
    n = n * 10 + (c - '0');
  }
  number = n;
  return true;
}

}  // namespace

AtChannel::AtChannel(WorkerContext& worker, DiagTransport& transport, DiagFraming& framing, DeviceWindow* window)
    : worker_(worker), transport_(transport), framing_(framing), window_(window) {}

bool AtChannel::WriteCommand(const std::string& command) {
  uint32_t done = 0;
  return transport_.WriteAt(reinterpret_cast<const uint8_t*>(command.data()), static_cast<uint32_t>(command.size()), done);
}

bool AtChannel::SendAtQuery(const std::string& command, std::string& value) {
  if (!WriteCommand(command)) worker_.Raise("Could not send command to serial port");
  const bool quick = settings_.fastSpeedDownload || command.find("bootloader") != std::string::npos;
  Clock& clock = worker_.clock();
  const uint64_t begin = Seconds(clock);
  std::array<uint8_t, kQueryPollSize> poll;
  // Each poll is judged on its own: a reply split over two polls loses the first part.
  while (Seconds(clock) - begin < kQueryLimitS) {
    worker_.Sleep(quick ? kQuickPollMs : kQueryPollMs);
    uint32_t got = 0;
    if (!transport_.ReadAt(poll.data(), static_cast<uint32_t>(poll.size()), got)) {
      worker_.Raise("Could not read from serial port");
      return false;
    }
    const std::string_view text(reinterpret_cast<const char*>(poll.data()), got);
    switch (ParseAtPoll(text, value)) {
      case AtVerdict::kOk:
        worker_.Report("Read......");
        return true;
      case AtVerdict::kError:
        return false;
      case AtVerdict::kPending:
        break;
    }
  }
  return false;
}

bool AtChannel::SendAtReboot(const std::string& command) {
  if (!WriteCommand(command)) worker_.Raise("Could not send command to serial port");
  worker_.Sleep(kRebootSettleMs);
  return true;
}

std::string AtChannel::WriteBackCommand(const std::string& prefix, int item) const {
  if (item == kItemPrefixOnly) return prefix;
  if (item == kItemSimLock) {
    if (!settings_.simLock.empty() && settings_.simLock[0] == '1') return prefix + settings_.simLock + "\r\n";
    return "AT+NWLSET=0\r\n";
  }
  return prefix + (identity_ ? identity_(item) : std::string()) + "\r\n";
}

bool AtChannel::WriteAtValue(const std::string& prefix, int item, const std::string& failureText) {
  if (!WriteCommand(WriteBackCommand(prefix, item))) {
    worker_.Raise("->Could not send command to serial port");
    return false;
  }
  const bool silent = item == kItemSalesCount || item == kItemPrefixOnly;
  Clock& clock = worker_.clock();
  const uint64_t begin = Seconds(clock);
  std::array<uint8_t, kWritePollSize> poll;
  while (Seconds(clock) - begin < kQueryLimitS) {
    poll.fill(0);
    worker_.Sleep(settings_.fastSpeedDownload ? kFastWritePollMs : kWritePollMs);
    uint32_t got = 0;
    if (!transport_.ReadAt(poll.data(), static_cast<uint32_t>(poll.size()), got)) return false;
    const std::string_view text(reinterpret_cast<const char*>(poll.data()), got);
    if (text.find("OK") != std::string_view::npos) return true;
    if (text.find("ERROR") == std::string_view::npos) continue;
    // A device without the command is not a failure for these items.
    switch (item) {
      case kItemCllen: worker_.Report("Could not support command:CLLEN"); return true;
      case kItemVxreq: worker_.Report("Could not support command:VXREQ"); return true;
      case kItemGmi: worker_.Report("Could not support command:GMI"); return true;
      default: break;
    }
    if (!silent) worker_.Raise(failureText);
    return false;
  }
  if (!silent) worker_.Raise(failureText);
  return false;
}

bool AtChannel::Sleeping(const std::string& entry) {
  if (entry.find("AT%SLEEP") == std::string::npos) return false;
  worker_.Sleep(AtSleepMs(entry));
  return true;
}

void AtChannel::RunStartAtList() {
  const auto& list = settings_.startAtList;
  for (size_t i = 0; i < list.size() && !worker_.Stopped(); ++i) {
    const std::string& entry = list[i];
    if (entry == kDiskModeD1 && window_ != nullptr && window_->DiskModeSwitched()) continue;
    if (Sleeping(entry)) continue;
    std::string value;
    if (SendAtQuery(entry, value) || entry == kDiagOn) continue;
    worker_.Raise(fmt::format("Fail to send command(start) :{}", i + 1));
    return;
  }
}

void AtChannel::RunEndAtList() {
  const auto& list = settings_.endAtList;
  for (size_t i = 0; i < list.size() && !worker_.Stopped(); ++i) {
    const std::string& entry = list[i];
    if (entry == kAtReset) {
      SendDiagOffline();
      SendDiagReset();
      continue;
    }
    if (Sleeping(entry)) continue;
    std::string value;
    if (SendAtQuery(entry, value) || (entry != kCdromOn && entry != kVxtReset)) continue;
    worker_.Raise(fmt::format("Fail to send command(end) :{}[{}]", i + 1, entry));
    return;
  }
}

int AtChannel::SendModeChange(uint8_t mode, uint32_t replyBytes) {
  const uint8_t request[] = {kModeChangeCode, mode, 0x00};
  auto acknowledged = [mode](const Reply& reply) {
    return reply.bytes.size() >= 3 && reply.bytes[0] == kModeChangeCode && reply.bytes[1] == mode && reply.bytes[2] == 0x00;
  };
  ReplyMiss miss;
  if (mode == kModeOffline) {
    miss = [this](const Reply&, int) {
      std::string line = "Offline cmd rec:";
      const uint8_t* area = transport_.scratch();
      for (uint32_t i = 0; i < kOfflineReplyBytes; ++i) line += fmt::format(" {:02X}", area[i]);
      worker_.Report(line);
    };
  }
  const ExchangeResult r =
      framing_.Exchange(request, {ReplyReader::kRawRead, kModeChangeAttempts, replyBytes, kModeChangePauseMs}, acknowledged, miss);
  return r.passed ? 0 : -1;
}

int AtChannel::SendDiagOffline() { return SendModeChange(kModeOffline, kOfflineReplyBytes); }
int AtChannel::SendDiagReset() { return SendModeChange(kModeReset, kResetReplyBytes); }

int AtChannel::QueryPlatform() {
  const uint8_t request[] = {kPlatformCode};
  // Only an intact frame counts: a corrupt one may start with the right bytes.
  auto isPlatform = [](const Reply& reply) {
    return reply.result > 0 && static_cast<size_t>(reply.result) == reply.bytes.size() && reply.bytes.size() >= 2 &&
           reply.bytes[0] == kPlatformCode && reply.bytes[1] == kPlatformOk;
  };
  const ExchangeResult r = framing_.Exchange(request, {ReplyReader::kFrame, kPlatformAttempts, 0, 0}, isPlatform);
  if (worker_.Stopped() || !r.passed) return -1;
  // The reply's payload (without its two check bytes) must reach the platform byte.
  const size_t payload = std::min(r.last.bytes.size(), kPlatformReplyMax + 2) - 2;
  if (payload <= kPlatformByte) return -1;
  return r.last.bytes[kPlatformByte];
}

void AtChannel::ShowDeviceVersion() {
  if (window_ != nullptr) window_->ShowDeviceVersion(transport_.atPort());
}

bool AtChannel::FindComPort() {
  worker_.Report("FindComPort");
  if (window_ != nullptr) window_->CheckForComPorts();
  worker_.Sleep(kDiscoverySettleMs);
  const std::string diag = window_ != nullptr ? window_->PortText() : std::string();
  const std::string at = window_ != nullptr ? window_->SerialPortText() : std::string();
  int number = 0;
  if (PortNumber(diag, number)) transport_.config().comPort = number;
  if (PortNumber(at, number)) transport_.config().serialComPort = number;
  return !diag.empty() || !at.empty();
}

}  // namespace upwend
