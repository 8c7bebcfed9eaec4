// The streaming-download commands the sequence uses to reset or switch off the device.
#include "engine/diag/diag_framing.h"
#include "engine/diag/diag_transport.h"
#include "engine/diag/reconnect_window.h"
#include "engine/worker/worker_context.h"

namespace upwend {

namespace {

constexpr uint8_t kPowerOffRequest = 0x11;
constexpr uint8_t kPowerOffReply = 0x12;
constexpr uint8_t kResetRequest = 0x0B;
constexpr uint8_t kResetReply = 0x0C;
constexpr int kPowerOffReplyTries = 5;
constexpr uint64_t kPowerOffRetrySleepMs = 100;
constexpr int kChangeWaits = 10;
constexpr int kArrivalWaits = 60;
constexpr uint64_t kDeviceWaitMs = 1000;
constexpr int kFindPortCalls = 10;
constexpr int kReopenAttempts = 5;
constexpr uint64_t kReopenSleepMs = 3000;

}  // namespace

// A confirmation counts only when this receive produced a good frame: the receive buffer
// keeps earlier replies, so its first byte alone could vouch for a reply that never came.
int DiagFraming::SendStreamPowerOff() {
  BeginFrame();
  AppendByte(kPowerOffRequest);
  FinishFrame();
  SendFrameWithFlag();
  worker_.Report("Send poweroff command");
  for (int i = 0; i < kPowerOffReplyTries; ++i) {
    const int16_t result = ReceiveAckTimed();
    if (result == kRxOtherFrame && rx_[0] == kPowerOffReply) return 0;
    if (result == kRxStopped) break;
    worker_.Sleep(kPowerOffRetrySleepMs);
  }
  return 1;
}

int DiagFraming::SendStreamReset() {
  if (window_ != nullptr) window_->ClearDeviceFlags();
  BeginFrame();
  AppendByte(kResetRequest);
  FinishFrame();
  SendFrameWithFlag();
  worker_.Report("Send reset command");
  const int16_t result = ReceiveAck();
  return result == kRxOtherFrame && rx_[0] == kResetReply ? 0 : 1;
}

bool DiagFraming::ResetAndReconnect(const std::function<bool()>& findComPort, bool amssOnlyVariant) {
  if (window_ != nullptr) window_->ClearDeviceFlags();
  BeginFrame();
  AppendByte(kResetRequest);
  FinishFrame();
  SendFrameWithFlag();
  worker_.Report("Reset or power off command......");
  transport_.CloseDiagPort("Warning-39");
  transport_.CloseAtPort("Warning-40");

  for (int i = 0; i < kChangeWaits; ++i) {
    worker_.Sleep(kDeviceWaitMs);
    if (window_ != nullptr && window_->DeviceChangeSeen()) {
      worker_.Report("Receive device change after reset");
      break;
    }
  }
  for (int i = 0; i < kArrivalWaits; ++i) {
    if (window_ != nullptr && window_->DeviceArrivalSeen()) {
      worker_.Report("Receive device Arrival after reset");
      break;
    }
    worker_.Sleep(kDeviceWaitMs);
  }

  std::string diagText = window_ != nullptr ? window_->PortText() : std::string();
  std::string atText = window_ != nullptr ? window_->SerialPortText() : std::string();
  const bool changed = window_ == nullptr || !window_->CheckDiagPortSame(transport_.CurrentComPort()) || atText.empty();
  if (changed) {
    worker_.Report("Port has changed");
    for (int i = 0; i < kFindPortCalls; ++i) {
      if (!findComPort || !findComPort()) continue;
      diagText = window_ != nullptr ? window_->PortText() : std::string();
      atText = window_ != nullptr ? window_->SerialPortText() : std::string();
      if (!atText.empty() && (amssOnlyVariant || !diagText.empty())) break;
    }
  } else {
    worker_.Report("Port has not changed");
  }
  if (window_ != nullptr) {
    diagText = window_->PortText();
    atText = window_->SerialPortText();
  }
  worker_.Report(diagText.empty() ? std::string("Diagnostic commport0......empty") : diagText + " Diagnostic ready");
  worker_.Report(atText.empty() ? std::string("Modem commport0......empty") : atText + " Modem ready");

  bool diagOpen = false;
  bool atOpen = false;
  for (int attempt = 0; attempt < kReopenAttempts; ++attempt) {
    worker_.Sleep(kReopenSleepMs);
    if (!diagOpen) diagOpen = transport_.OpenDiagPort();
    if (!atOpen) atOpen = transport_.ReopenAtPortQuietly();
    if (diagOpen && atOpen) {
      worker_.Report("Reset or poweroff successfully!");
      return true;
    }
    worker_.Note("Reset or poweroff......wait");
  }
  worker_.Raise("Fail to initial port after rest");
  return false;
}

}  // namespace upwend
