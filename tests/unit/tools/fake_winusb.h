#pragma once
// A fake WinUSB for the WinUSB backend's tests under Wine, which has no USB device: the table of
// system calls answers from a configuration descriptor and a fastboot device model, completes
// overlapped requests as the device takes them, and runs pipe time-outs on a clock of its own.
// It records what the backend asked of it (open flags, pipe policies, aborts, resets, closes)
// and fails the test on misuse: a policy changed under a request in flight, a wait that would
// never end, a handle used after it was closed.
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/usb_fastboot_model.h"
#include "tools/adbwinapi/winusb_functions.h"

namespace upwend::testing {

class FakeWinUsb {
public:
  // The fastboot device's path as Windows lists it.
  static constexpr const char* kPath =
      "\\\\?\\usb#vid_18d1&pid_d00d#0123456789abcdef#{f72fe0d4-cbcb-407d-8814-9ed673d0dd6b}";

  // The functions reach the one fake alive at a time.
  FakeWinUsb();
  ~FakeWinUsb();
  FakeWinUsb(const FakeWinUsb&) = delete;
  FakeWinUsb& operator=(const FakeWinUsb&) = delete;

  static const adb::WinUsbFunctions& Functions();

  // What the device is: its configuration descriptor and the interface the path leads to.
  std::vector<uint8_t> configuration;
  uint8_t interfaceNumber = 0;
  std::vector<std::string> listed{kPath};
  std::optional<DWORD> openError;
  std::optional<DWORD> initializeError;
  // A write (counted from 1) that fails with this error, or completes short by `shortBy` bytes.
  size_t failWriteAt = 0;
  DWORD writeError = ERROR_GEN_FAILURE;
  size_t shortWriteAt = 0;
  size_t shortBy = 0;
  bool completeOnPoll = false;

  UsbFastbootModel model;
  void SetStalled(bool stalled);
  std::chrono::milliseconds now{0};

  struct Policy {
    std::optional<ULONG> timeoutMs;
    bool zeroPacket = false;
  };
  std::map<UCHAR, Policy> policies;
  std::map<UCHAR, int> aborts, resets;
  std::string openedPath;
  DWORD openFlags = 0, openAccess = 0;
  std::optional<UCHAR> alternateSetting;
  int writes = 0, maxWritesInFlight = 0, cancels = 0;
  int openFiles = 0, openInterfaces = 0;

  // One overlapped request as the driver holds it; the backend reuses its OVERLAPPEDs.
  struct Request {
    UCHAR pipe = 0;
    uint8_t* buffer = nullptr;
    ULONG length = 0;
    ULONG timeoutMs = 0;  // the pipe's time-out when it was taken
    uint64_t sequence = 0;
    bool done = false;
    bool collected = false;  // its result has been fetched
    DWORD error = 0;
    DWORD transferred = 0;
  };
  std::map<OVERLAPPED*, Request> requests;

private:
  friend struct Calls;
  int Outstanding(UCHAR pipe) const;
  Request& Take(OVERLAPPED* overlapped, UCHAR pipe, uint8_t* buffer, ULONG length);
  void Answer();

  bool stalled_ = false;
  uint64_t sequence_ = 0;
};

}  // namespace upwend::testing
