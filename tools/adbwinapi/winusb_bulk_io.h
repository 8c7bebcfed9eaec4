#pragma once
// UsbBulkIo on WinUSB's overlapped pipe calls. Statuses are Win32 error codes.
//  - Each slot, and the read, has its own OVERLAPPED with an event; completions are collected
//    with WinUsb_GetOverlappedResult.
//  - The time-out is the pipe's PIPE_TRANSFER_TIMEOUT, and a zero-length packet after a write
//    of whole packets is the OUT pipe's SHORT_PACKET_TERMINATE. Both apply to every request the
//    pipe holds, so they change only while none of ours is in flight on it: a change first waits
//    for the writes before it (their results are kept for Wait).
//  - A transfer that fails (time-out, stall, error; not a cancel of ours) leaves its pipe
//    aborted and reset, so the next transfer starts on a clean pipe.
#include <array>
#include <optional>
#include <string_view>

#include "tools/adbwinapi/usb_bulk_io.h"
#include "tools/adbwinapi/usb_descriptors.h"
#include "tools/adbwinapi/winusb_functions.h"

namespace upwend::adb {

// "what: <the system's text> (Windows error N)", with the errno value closest to the code.
OsError WinUsbError(DWORD code, std::string_view what);

class WinUsbBulkIo final : public UsbBulkIo {
public:
  // The handles stay the caller's: they are closed after this object is gone.
  WinUsbBulkIo(const WinUsbFunctions& api, HANDLE file, WINUSB_INTERFACE_HANDLE usb, const BulkInterface& pipes);
  ~WinUsbBulkIo() override;

  // The IN pipe: one read at a time, waited for.
  int ReadIn(uint8_t* data, size_t size, unsigned timeoutMs, size_t& transferred) override;
  OsError Describe(int status, std::string_view what) const override { return WinUsbError(static_cast<DWORD>(status), what); }

  // OUT transfers: a slot's request stays in flight until Wait, Poll or Cancel collects it.
  int Submit(int slot, const uint8_t* data, size_t size, bool zeroPacket, unsigned timeoutMs) override;
  UsbCompletion Wait(int slot) override;
  std::optional<UsbCompletion> Poll(int slot) override;
  void Cancel(int slot) override;

private:
  struct Request {
    OVERLAPPED overlapped{};
    HANDLE event = nullptr;
    bool pending = false;    // in flight
    bool collected = true;   // its completion has been handed out by Wait
    UsbCompletion result;
  };
  struct Pipe {
    UCHAR id = 0;
    uint16_t packetSize = 0;
    std::optional<ULONG> timeoutMs;    // as set on the pipe; unknown until first set
    std::optional<bool> zeroPacket;
  };

  int Start(Request& r, Pipe& pipe, uint8_t* data, size_t size, bool write);
  // Ends the request's wait (or looks whether it ended); false while it is still in flight.
  bool Finish(Request& r, Pipe& pipe, bool wait);
  void Recover(Pipe& pipe);
  int SetTimeout(Pipe& pipe, unsigned timeoutMs);
  int SetZeroPacket(Pipe& pipe, bool on);
  void FinishWrites();

  const WinUsbFunctions& api_;
  HANDLE file_;
  WINUSB_INTERFACE_HANDLE usb_;
  Pipe out_;
  Pipe in_;
  std::array<Request, kSlots> slots_{};
  Request read_;
};

}  // namespace upwend::adb
