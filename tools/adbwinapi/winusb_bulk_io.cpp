#include "tools/adbwinapi/winusb_bulk_io.h"

#include <fmt/format.h>

#include <cerrno>

#include "platform/win32/system_message.h"

namespace upwend::adb {

namespace {

constexpr size_t kMaxLength = 0xFFFFFFFFu;  // a pipe call's ULONG length

int ErrnoFor(DWORD code) {
  switch (code) {
    case ERROR_SEM_TIMEOUT:
    case WAIT_TIMEOUT: return ETIMEDOUT;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DEVICE_NOT_CONNECTED: return ENODEV;
    case ERROR_ACCESS_DENIED: return EACCES;
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY: return EBUSY;
    case ERROR_GEN_FAILURE: return EPIPE;  // what a stalled pipe fails with
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return ENOMEM;
    case ERROR_OPERATION_ABORTED: return EINTR;
    case ERROR_INVALID_PARAMETER: return EINVAL;
    case ERROR_NOT_SUPPORTED: return ENOTSUP;
    case ERROR_MORE_DATA: return EOVERFLOW;
    default: return EIO;
  }
}

}  // namespace

OsError WinUsbError(DWORD code, std::string_view what) {
  return {ErrnoFor(code), fmt::format("{}: {} (Windows error {})", what, SystemMessage(code), code)};
}

WinUsbBulkIo::WinUsbBulkIo(const WinUsbFunctions& api, HANDLE file, WINUSB_INTERFACE_HANDLE usb,
                           const BulkInterface& pipes)
    : api_(api), file_(file), usb_(usb) {
  out_.id = pipes.out.address;
  out_.packetSize = pipes.out.maxPacketSize;
  in_.id = pipes.in.address;
  in_.packetSize = pipes.in.maxPacketSize;
  for (Request& r : slots_) r.event = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  read_.event = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

WinUsbBulkIo::~WinUsbBulkIo() {
  for (int slot = 0; slot < kSlots; ++slot) Cancel(slot);
  for (Request& r : slots_) {
    if (r.event != nullptr) ::CloseHandle(r.event);
  }
  if (read_.event != nullptr) ::CloseHandle(read_.event);
}

int WinUsbBulkIo::Start(Request& r, Pipe& pipe, uint8_t* data, size_t size, bool write) {
  if (r.event == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
  r.overlapped = OVERLAPPED{};
  r.overlapped.hEvent = r.event;
  ::ResetEvent(r.event);
  const ULONG length = static_cast<ULONG>(size);
  const BOOL done = write ? api_.writePipe(usb_, pipe.id, data, length, nullptr, &r.overlapped)
                          : api_.readPipe(usb_, pipe.id, data, length, nullptr, &r.overlapped);
  if (!done) {
    const DWORD error = ::GetLastError();
    if (error != ERROR_IO_PENDING) return static_cast<int>(error);
  }
  r.pending = true;
  r.collected = false;
  return 0;
}

bool WinUsbBulkIo::Finish(Request& r, Pipe& pipe, bool wait) {
  if (!r.pending) return true;
  DWORD transferred = 0;
  if (api_.getOverlappedResult(usb_, &r.overlapped, &transferred, wait ? TRUE : FALSE)) {
    r.result = {0, transferred};
  } else {
    const DWORD error = ::GetLastError();
    if (!wait && error == ERROR_IO_INCOMPLETE) return false;
    r.result = {static_cast<int>(error), transferred};
    if (error != ERROR_OPERATION_ABORTED) Recover(pipe);
  }
  r.pending = false;
  return true;
}

void WinUsbBulkIo::Recover(Pipe& pipe) {
  // Drops what the pipe still holds and clears a halt; the device's side of the toggle goes
  // back with it.
  api_.abortPipe(usb_, pipe.id);
  api_.resetPipe(usb_, pipe.id);
}

int WinUsbBulkIo::SetTimeout(Pipe& pipe, unsigned timeoutMs) {
  ULONG value = timeoutMs;
  if (pipe.timeoutMs == value) return 0;
  if (!api_.setPipePolicy(usb_, pipe.id, PIPE_TRANSFER_TIMEOUT, sizeof value, &value)) return static_cast<int>(::GetLastError());
  pipe.timeoutMs = value;
  return 0;
}

int WinUsbBulkIo::SetZeroPacket(Pipe& pipe, bool on) {
  UCHAR value = on ? TRUE : FALSE;
  if (pipe.zeroPacket == on) return 0;
  if (!api_.setPipePolicy(usb_, pipe.id, SHORT_PACKET_TERMINATE, sizeof value, &value)) return static_cast<int>(::GetLastError());
  pipe.zeroPacket = on;
  return 0;
}

void WinUsbBulkIo::FinishWrites() {
  for (Request& r : slots_) Finish(r, out_, true);
}

int WinUsbBulkIo::Submit(int slot, const uint8_t* data, size_t size, bool zeroPacket, unsigned timeoutMs) {
  if (slot < 0 || slot >= kSlots || size > kMaxLength) return ERROR_INVALID_PARAMETER;
  Request& r = slots_[static_cast<size_t>(slot)];
  if (r.pending) return ERROR_BUSY;
  // The terminating packet matters only after whole packets: a short last packet ends the
  // transfer by itself, and a write of nothing is itself the zero-length packet.
  const bool wholePackets = size > 0 && out_.packetSize > 0 && size % out_.packetSize == 0;
  const bool newTimeout = out_.timeoutMs != timeoutMs;
  const bool newZeroPacket = wholePackets && out_.zeroPacket != zeroPacket;
  if (newTimeout || newZeroPacket) {
    FinishWrites();
    if (int rc = SetTimeout(out_, timeoutMs)) return rc;
    if (wholePackets) {
      if (int rc = SetZeroPacket(out_, zeroPacket)) return rc;
    }
  }
  // WinUSB does not write to an OUT transfer's buffer.
  return Start(r, out_, const_cast<uint8_t*>(data), size, true);
}

UsbCompletion WinUsbBulkIo::Wait(int slot) {
  Request& r = slots_[static_cast<size_t>(slot)];
  if (r.collected) return {ERROR_NOT_FOUND, 0};
  Finish(r, out_, true);
  r.collected = true;
  return r.result;
}

std::optional<UsbCompletion> WinUsbBulkIo::Poll(int slot) {
  Request& r = slots_[static_cast<size_t>(slot)];
  if (r.collected || !Finish(r, out_, false)) return std::nullopt;
  return r.result;
}

void WinUsbBulkIo::Cancel(int slot) {
  Request& r = slots_[static_cast<size_t>(slot)];
  // A request that cannot be cancelled alone (not one that has just ended) goes with its pipe's.
  if (r.pending && !api_.cancelIo(file_, &r.overlapped) && ::GetLastError() != ERROR_NOT_FOUND) {
    api_.abortPipe(usb_, out_.id);
  }
  Finish(r, out_, true);
  r.collected = true;
}

int WinUsbBulkIo::ReadIn(uint8_t* data, size_t size, unsigned timeoutMs, size_t& transferred) {
  transferred = 0;
  if (int rc = SetTimeout(in_, timeoutMs)) return rc;
  if (int rc = Start(read_, in_, data, std::min<size_t>(size, kMaxLength), false)) return rc;
  Finish(read_, in_, true);
  read_.collected = true;
  transferred = read_.result.transferred;
  return read_.result.status;
}

}  // namespace upwend::adb
