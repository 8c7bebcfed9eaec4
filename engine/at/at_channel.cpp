#include "engine/at/at_channel.h"

#include <cstring>

#include "engine/at/at_reply.h"
#include "engine/at/device_window.h"
#include "platform/clock.h"
#include "platform/port_names.h"
#include "platform/serial_port.h"

namespace upwend {

namespace {

constexpr uint32_t kQueryBufferSize = 512;
constexpr uint32_t kWriteBackBufferSize = 128;
constexpr uint64_t kReplyWindowSeconds = 8;
// How long the device gets to answer before each read of the port: the boot loader switch and
// the fast download mode answer quickly.
constexpr uint64_t kQuickPollMs = 100;
constexpr uint64_t kPollMs = 800;
constexpr uint64_t kFastWriteBackPollMs = 300;
// The reboot request is written and given a moment before the port may go away.
constexpr uint64_t kAfterRebootRequestMs = 100;
// The window's port search brings the new names; they are read after it has settled.
constexpr uint64_t kPortSearchSettleMs = 2000;

bool Contains(const std::string& text, const char* what) { return text.find(what) != std::string::npos; }

uint64_t WholeSeconds(Clock& clock) { return clock.NowMs() / 1000; }

// The reply window counts whole seconds; at a small time scale it also stays open for the real
// floor of platform/clock.h (never at scale 1).
uint64_t ReplyFloorEnd(Clock& clock) { return clock.NowMs() + ReplyFloorMs(clock, kReplyWindowSeconds * 1000); }

}  // namespace

AtChannel::AtChannel(WorkerContext& ctx, RunParameters& params, std::function<SerialPort*()> atPort,
                     DiagControl& diag, IdentityValues& values, DeviceWindow& window)
    : ctx_(ctx), params_(params), atPort_(std::move(atPort)), diag_(diag), values_(values), window_(window) {}

bool AtChannel::WriteCommand(const std::string& command) {
  SerialPort* port = atPort_();
  if (port == nullptr) return false;
  uint32_t written = 0;
  return port->Write(reinterpret_cast<const uint8_t*>(command.data()), static_cast<uint32_t>(command.size()),
                     written) &&
         written == command.size();
}

bool AtChannel::SendAtQuery(const std::string& command, std::string& value) {
  if (!WriteCommand(command)) ctx_.Raise("Could not send command to serial port");
  uint64_t pollMs = (Contains(command, "bootloader") || params_.bFastSpeedDownload) ? kQuickPollMs : kPollMs;
  uint64_t start = WholeSeconds(ctx_.clock());
  const uint64_t floorEnd = ReplyFloorEnd(ctx_.clock());
  char buffer[kQueryBufferSize];
  while (WholeSeconds(ctx_.clock()) - start < kReplyWindowSeconds || ctx_.clock().NowMs() < floorEnd) {
    ctx_.Sleep(pollMs);
    SerialPort* port = atPort_();
    uint32_t got = 0;
    if (port == nullptr || !port->Read(reinterpret_cast<uint8_t*>(buffer), kQueryBufferSize, got)) {
      ctx_.Raise("Could not read from serial port");
      return false;
    }
    // Each poll is judged on its own: a reply split over two polls loses its first part.
    switch (ParseAtPoll(std::string_view(buffer, got), value)) {
      case AtVerdict::kOk:
        ctx_.Report("Read......");
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
  if (!WriteCommand(command)) ctx_.Raise("Could not send command to serial port");
  ctx_.Sleep(kAfterRebootRequestMs);
  return true;
}

bool AtChannel::WriteAtValue(const std::string& prefix, int item, const std::string& failureText) {
  std::string command;
  if (item == -1) {
    command = prefix;
  } else if (item == 4) {
    command = params_.simLockMode == 1 ? prefix + params_.simLockText + "\r\n" : std::string("AT+NWLSET=0\r\n");
  } else {
    command = prefix + values_.ValueForItem(item) + "\r\n";
  }
  if (!WriteCommand(command)) {
    ctx_.Raise("->Could not send command to serial port");
    return false;
  }
  bool silent = item == 15 || item == -1;
  uint64_t start = WholeSeconds(ctx_.clock());
  const uint64_t floorEnd = ReplyFloorEnd(ctx_.clock());
  char buffer[kWriteBackBufferSize];
  while (WholeSeconds(ctx_.clock()) - start < kReplyWindowSeconds || ctx_.clock().NowMs() < floorEnd) {
    std::memset(buffer, 0, sizeof buffer);
    ctx_.Sleep(params_.bFastSpeedDownload ? kFastWriteBackPollMs : kPollMs);
    SerialPort* port = atPort_();
    uint32_t got = 0;
    if (port == nullptr || !port->Read(reinterpret_cast<uint8_t*>(buffer), kWriteBackBufferSize, got)) return false;
    std::string text(buffer, got);
    if (Contains(text, "OK")) return true;
    if (Contains(text, "ERROR")) {
      switch (item) {
        case 7: ctx_.Report("Could not support command:CLLEN"); return true;
        case 8: ctx_.Report("Could not support command:VXREQ"); return true;
        case 9: ctx_.Report("Could not support command:GMI"); return true;
        default:
          if (!silent) ctx_.Raise(failureText);
          return false;
      }
    }
  }
  if (!silent) ctx_.Raise(failureText);
  return false;
}

bool AtChannel::SleepEntry(const std::string& entry) {
  if (!Contains(entry, "AT%SLEEP")) return false;
  ctx_.Sleep(AtSleepMs(entry));
  return true;
}

void AtChannel::RunStartAtList() {
  const StringList& list = RunParameters::Or(params_.StartATList);
  for (size_t i = 0; i < list.size() && !ctx_.Stopped(); ++i) {
    const std::string& entry = list[i];
    if (entry == "AT+DISK=8,\"D1\"\r\n\r\n" && window_.DiskModeSwitched()) continue;
    if (SleepEntry(entry)) continue;
    std::string value;
    if (SendAtQuery(entry, value) || entry == "AT+DIAG=1\r\n\r\n") continue;
    ctx_.Raise("Fail to send command(start) :" + std::to_string(i + 1));
    return;
  }
}

void AtChannel::RunEndAtList() {
  const StringList& list = RunParameters::Or(params_.EndATList);
  for (size_t i = 0; i < list.size() && !ctx_.Stopped(); ++i) {
    const std::string& entry = list[i];
    if (entry == "AT%RESET\r\n\r\n") {
      diag_.SendDiagOffline();
      diag_.SendDiagReset();
      continue;
    }
    if (SleepEntry(entry)) continue;
    std::string value;
    if (SendAtQuery(entry, value)) continue;
    if (entry == "AT+CDROM=1\r\n\r\n" || entry == "AT+VXTRESET\r\n\r\n") {
      ctx_.Raise("Fail to send command(end) :" + std::to_string(i + 1) + "[" + entry + "]");
      return;
    }
  }
}

void AtChannel::ShowDeviceVersion() { window_.ShowDeviceVersion(atPort_()); }

bool AtChannel::FindComPort() {
  ctx_.Report("FindComPort");
  window_.CheckForComPorts();
  ctx_.Sleep(kPortSearchSettleMs);
  std::string diag = window_.PortText();
  std::string at = window_.SerialPortText();
  // A name that is not "COM" + number leaves the old number in place.
  auto number = [](const std::string& name, int& out) {
    if (name.size() <= 3) return;
    if (auto n = PortFieldDigits(std::string_view(name).substr(3), std::string_view::npos, PortDigits::kLeading)) {
      out = *n;
    }
  };
  if (!diag.empty()) number(diag, params_.ComPort);
  if (!at.empty()) number(at, params_.SerialComPort);
  return !diag.empty() || !at.empty();
}

}  // namespace upwend
