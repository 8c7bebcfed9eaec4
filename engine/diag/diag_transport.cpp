#include "engine/diag/diag_transport.h"

#include <fmt/format.h>

#include <algorithm>

#include "engine/worker/project_rules.h"
#include "engine/worker/worker_context.h"
#include "platform/last_error.h"
#include "platform/port_names.h"

namespace upwend {

namespace {

constexpr uint32_t kPurgeAll = kPurgeTxAbort | kPurgeRxAbort | kPurgeTxClear | kPurgeRxClear;
constexpr uint32_t kBaudRate = 115200;

// The failed call's system error becomes the thread's last error, as ReportError reads it.
uint32_t TakeError(const SerialPort* port) {
  uint32_t code = port != nullptr ? port->LastError() : static_cast<uint32_t>(kErrorInvalidHandle);
  SetLastSystemError(code);
  return code;
}

// Both ports: 115200 baud, 8 data bits, no parity, one stop bit, binary.
void ApplyByteFormat(CommState& s) {
  s.baudRate = kBaudRate;
  s.byteSize = 8;
  s.parity = Parity::None;
  s.parityCheck = false;
  s.stopBits = StopBits::One;
  s.binary = true;
}

}  // namespace

DiagTransport::DiagTransport(WorkerContext& worker, SerialPortFactory factory)
    : worker_(worker), factory_(std::move(factory)) {}

DiagTransport::~DiagTransport() {
  Drop(diag_);
  Drop(at_);
}

std::string DiagTransport::DeviceName(int portNumber) { return PortDeviceName(portNumber); }

CommTimeouts DiagTransport::DiagTimeouts(int projectType) {
  if (project::HasSlowDiagPort(projectType)) return CommTimeouts{1000, 1000, 2000, 1000, 3000};
  // A read returns what has arrived; with nothing there it waits up to 1 s for the first byte.
  return CommTimeouts{kMaxDword, kMaxDword, 1000, 1, 1000};
}

CommTimeouts DiagTransport::AtTimeouts() {
  // Reads return at once with whatever has arrived: the AT channel waits by polling.
  return CommTimeouts{kMaxDword, 0, 0, 100, 1000};
}

void DiagTransport::ApplyDiagLineSettings(CommState& s) {
  ApplyByteFormat(s);
  s.outxCtsFlow = false;
  s.outxDsrFlow = false;
  s.dtrControl = LineControl::Disable;
  s.rtsControl = LineControl::Disable;
  s.dsrSensitivity = false;
  s.txContinueOnXoff = false;
  s.outX = false;
  s.inX = false;
  s.errorChar = false;
  s.nullStrip = false;
  s.abortOnError = false;
}

void DiagTransport::ApplyAtLineSettings(CommState& s) {
  ApplyByteFormat(s);
  s.dtrControl = LineControl::Enable;
}

std::unique_ptr<SerialPort> DiagTransport::OpenPort(int portNumber) {
  std::unique_ptr<SerialPort> port = factory_ ? factory_() : nullptr;
  if (!port) {
    SetLastSystemError(kErrorGenFailure);
    return nullptr;
  }
  if (!port->Open(DeviceName(portNumber))) {
    TakeError(port.get());
    return nullptr;
  }
  return port;
}

void DiagTransport::Drop(std::unique_ptr<SerialPort>& port) {
  if (port) port->Close();
  port.reset();
  if (&port == &diag_) {
    ForgetDiagReads();
    diagLost_ = false;
  }
}

bool DiagTransport::NoteLoss(uint32_t code) {
  if (code != kErrorDeviceRemoved) return diagLost_;
  if (!diagLost_) {
    diagLost_ = true;
    // Waiting out every retry on a port whose device has gone would only hide the cause.
    worker_.Raise("The device was removed from " + DeviceName(config_.comPort));
  }
  return true;
}

void DiagTransport::ForgetDiagReads() {
  readAhead_.Clear();
  fillSize_ = 1;
}

void DiagTransport::RefreshPortNumbers() {
  if (config_.portNumbers) config_.portNumbers(config_.comPort, config_.serialComPort);
}

int DiagTransport::CurrentComPort() {
  RefreshPortNumbers();
  return config_.comPort;
}

bool DiagTransport::OpenDiagPort() {
  // A handle still open from before is closed first: reopening over it would leak it and the
  // exclusive open of the same port would be refused.
  Drop(diag_);
  RefreshPortNumbers();
  diag_ = OpenPort(config_.comPort);
  if (!diag_) return false;
  ConfigureDiagPort();
  worker_.Report("Initial port successful after reset.");
  return true;
}

void DiagTransport::ConfigureDiagPort() {
  if (!diag_) {
    SetLastSystemError(kErrorInvalidHandle);
    worker_.Raise("Could not open COMM port");
    return;
  }
  worker_.ReportStatus(kStatusPort, "Opened......", kMsgPlain);

  const uint32_t queue = config_.fastSpeedDownload ? static_cast<uint32_t>(std::max(config_.blockSize, 0)) : kDefaultQueueSize;
  if (!diag_->SetupQueues(queue, queue)) {
    TakeError(diag_.get());
    worker_.ReportStatus(kStatusPort, config_.fastSpeedDownload ? "warning:SetupComm." : "warning:SetupComm!", kMsgPlain);
  }

  CommState state;
  diag_->GetState(state);
  ApplyDiagLineSettings(state);
  if (!diag_->SetState(state)) {
    TakeError(diag_.get());
    worker_.Raise("Could not setup COMM port");
  }
  const bool timeoutsSet = diag_->SetTimeouts(DiagTimeouts(config_.projectType));
  if (!timeoutsSet) {
    TakeError(diag_.get());
    worker_.Raise("Could not set COMM timeouts");
  }
  // Under time-outs the port did not take, a large read could wait for all it asked for.
  fillSize_ = timeoutsSet && !project::HasSlowDiagPort(config_.projectType) ? DiagReadAhead::kCapacity : 1;
  diag_->Purge(kPurgeTxAbort | kPurgeTxClear);
  diag_->Purge(kPurgeRxAbort | kPurgeRxClear);
  readAhead_.Clear();
}

bool DiagTransport::ConfigureAtPort() {
  at_->Purge(kPurgeAll);
  at_->SetTimeouts(AtTimeouts());
  // A zeroed record filled with what the port reports; when it reports nothing the AT
  // settings are applied over the zeroes.
  CommState state{};
  state.baudRate = 0;
  state.byteSize = 0;
  state.binary = false;
  at_->GetState(state);
  ApplyAtLineSettings(state);
  if (at_->SetState(state)) return true;
  TakeError(at_.get());
  return false;
}

bool DiagTransport::OpenAt(bool quiet) {
  Drop(at_);
  RefreshPortNumbers();
  at_ = OpenPort(config_.serialComPort);
  if (!at_) {
    if (!quiet) worker_.Raise("Fail to connect serial port");
    return false;
  }
  if (ConfigureAtPort()) {
    if (!quiet) worker_.Report("Ready 1......");
    return true;
  }
  // The handle stays open; the sequence closes it later.
  if (!quiet) worker_.Raise("Fail to config serial port");
  return false;
}

bool DiagTransport::OpenAtPort() { return OpenAt(false); }
bool DiagTransport::ReopenAtPortQuietly() { return OpenAt(true); }

int DiagTransport::WriteDiag(const uint8_t* bytes, uint32_t count) {
  const int calls = config_.fastSpeedDownload ? 1 : kWriteCalls;
  for (int call = 0; call < calls && !diagLost_; ++call) {
    uint32_t done = 0;
    bool ok = diag_ && diag_->Write(bytes, count, done);
    if (ok) {
      lastWriteCount_ = done;
      return static_cast<int>(done);
    }
    const uint32_t code = TakeError(diag_.get());
    worker_.Report(fmt::format("Write to commport have a warning: {}", code));
    if (NoteLoss(code)) break;
    worker_.Sleep(kWriteRetrySleepMs);
  }
  lastWriteCount_ = 0;
  return 0;
}

int DiagTransport::ReadDiag(uint8_t* buffer, uint32_t count) {
  if (!readAhead_.Empty() && count > 0) {
    lastReadCount_ = static_cast<uint32_t>(readAhead_.Take(buffer, count));
    return static_cast<int>(lastReadCount_);
  }
  uint32_t done = 0;
  if (diagLost_) {
    lastReadCount_ = 0;
    return 0;
  }
  if (diag_ && diag_->Read(buffer, count, done)) {
    lastReadCount_ = done;
    return static_cast<int>(done);
  }
  const uint32_t code = TakeError(diag_.get());
  worker_.Report(fmt::format("read from commmport have a warning: {}", code));
  if (!NoteLoss(code)) worker_.Sleep(kReadFailSleepMs);
  lastReadCount_ = 0;
  return 0;
}

bool DiagTransport::FillDiagReadAhead() {
  if (!readAhead_.Empty()) return true;
  const int got = ReadDiag(readAhead_.FillArea(), fillSize_);
  readAhead_.Filled(static_cast<size_t>(got));
  return got > 0;
}

uint32_t DiagTransport::CheckErrors(const char* warning) {
  // Twice per request: the queue counts, which nobody reads, would cost two system calls each time.
  uint32_t flags = 0;
  if (!diag_ || !diag_->ClearErrorFlags(flags)) return 0;
  if (flags != 0) worker_.Report(fmt::format("{}{}", warning, flags));
  return flags;
}

uint32_t DiagTransport::CheckOutQueue() { return CheckErrors("There is a warning in OutQue: "); }
uint32_t DiagTransport::CheckInQueue() { return CheckErrors("There is a warning in InQue: "); }

bool DiagTransport::PurgeDiag(uint32_t flags) {
  if (flags & (kPurgeRxAbort | kPurgeRxClear)) readAhead_.Clear();
  return diag_ && diag_->Purge(flags);
}

void DiagTransport::ClearDiagErrors() {
  uint32_t flags = 0;
  if (diag_) diag_->ClearErrorFlags(flags);
}

void DiagTransport::CloseWithRetries(PortKind kind, const std::string& warningText) {
  std::unique_ptr<SerialPort>& port = kind == PortKind::kDiag ? diag_ : at_;
  if (!port) return;
  for (int attempt = 0; attempt < kCloseAttempts; ++attempt) {
    if (port->Close()) {
      port.reset();
      if (kind == PortKind::kDiag) ForgetDiagReads();
      return;
    }
    TakeError(port.get());
    worker_.Report(warningText);
    worker_.Sleep(kCloseRetrySleepMs);
  }
}

void DiagTransport::CloseAtPortOnce() {
  if (at_ && at_->Close()) at_.reset();
}

void DiagTransport::ResetForRun() {
  lastReadCount_ = 0;
  lastWriteCount_ = 0;
  Drop(diag_);
  Drop(at_);
}

bool DiagTransport::WriteAt(const uint8_t* bytes, uint32_t count, uint32_t& done) {
  done = 0;
  if (at_ && at_->Write(bytes, count, done)) return true;
  TakeError(at_.get());
  return false;
}

bool DiagTransport::ReadAt(uint8_t* buffer, uint32_t count, uint32_t& done) {
  done = 0;
  if (at_ && at_->Read(buffer, count, done)) return true;
  TakeError(at_.get());
  return false;
}

}  // namespace upwend
