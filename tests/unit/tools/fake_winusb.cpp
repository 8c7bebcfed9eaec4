#include "fake_winusb.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tools/adbwinapi/usb_descriptors.h"

namespace upwend::testing {

namespace {

FakeWinUsb* gFake = nullptr;
HANDLE const kFile = reinterpret_cast<HANDLE>(0xF11E);
WINUSB_INTERFACE_HANDLE const kUsb = reinterpret_cast<WINUSB_INTERFACE_HANDLE>(0x05B);

BOOL Fail(DWORD error) {
  ::SetLastError(error);
  return FALSE;
}

// The alternate settings of the interface the path leads to.
std::vector<adb::UsbAltSetting> Settings() {
  auto config = adb::ParseConfigDescriptor(gFake->configuration);
  EXPECT_TRUE(config) << config.error();
  std::vector<adb::UsbAltSetting> settings;
  if (!config) return settings;
  for (const auto& alt : config->altSettings) {
    if (alt.descriptor.bInterfaceNumber == gFake->interfaceNumber) settings.push_back(alt);
  }
  return settings;
}

}  // namespace

struct Calls {
  static std::vector<std::string> List() { return gFake->listed; }

  static HANDLE WINAPI CreateFileA(LPCSTR path, DWORD access, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD flags, HANDLE) {
    gFake->openedPath = path;
    gFake->openAccess = access;
    gFake->openFlags = flags;
    if (gFake->openError) {
      ::SetLastError(*gFake->openError);
      return INVALID_HANDLE_VALUE;
    }
    ++gFake->openFiles;
    return kFile;
  }

  static BOOL WINAPI CloseHandle(HANDLE handle) {
    EXPECT_EQ(handle, kFile);
    EXPECT_GT(gFake->openFiles, 0) << "the file closed twice";
    EXPECT_EQ(gFake->openInterfaces, 0) << "the file closed before WinUSB let it go";
    --gFake->openFiles;
    return TRUE;
  }

  static BOOL WINAPI CancelIoEx(HANDLE handle, LPOVERLAPPED overlapped) {
    EXPECT_EQ(handle, kFile);
    ++gFake->cancels;
    auto it = gFake->requests.find(overlapped);
    if (it == gFake->requests.end() || it->second.done) return Fail(ERROR_NOT_FOUND);
    it->second.done = true;
    it->second.error = ERROR_OPERATION_ABORTED;
    return TRUE;
  }

  static BOOL WINAPI Initialize(HANDLE file, PWINUSB_INTERFACE_HANDLE usb) {
    EXPECT_EQ(file, kFile);
    if (gFake->initializeError) return Fail(*gFake->initializeError);
    ++gFake->openInterfaces;
    *usb = kUsb;
    return TRUE;
  }

  static BOOL WINAPI Free(WINUSB_INTERFACE_HANDLE usb) {
    EXPECT_EQ(usb, kUsb);
    EXPECT_GT(gFake->openInterfaces, 0) << "WinUSB freed twice";
    for (const auto& [overlapped, r] : gFake->requests) EXPECT_TRUE(r.done) << "freed with a transfer in flight";
    --gFake->openInterfaces;
    return TRUE;
  }

  static BOOL WINAPI QueryInterfaceSettings(WINUSB_INTERFACE_HANDLE usb, UCHAR alt, PUSB_INTERFACE_DESCRIPTOR d) {
    EXPECT_EQ(usb, kUsb);
    const auto settings = Settings();
    if (alt >= settings.size()) return Fail(ERROR_NO_MORE_ITEMS);
    static_assert(sizeof(*d) == sizeof(settings[alt].descriptor));
    std::memcpy(d, &settings[alt].descriptor, sizeof *d);
    return TRUE;
  }

  static BOOL WINAPI QueryPipe(WINUSB_INTERFACE_HANDLE usb, UCHAR alt, UCHAR index, PWINUSB_PIPE_INFORMATION info) {
    EXPECT_EQ(usb, kUsb);
    const auto settings = Settings();
    if (alt >= settings.size() || index >= settings[alt].endpoints.size()) return Fail(ERROR_NO_MORE_ITEMS);
    const auto& e = settings[alt].endpoints[index];
    info->PipeType = static_cast<USBD_PIPE_TYPE>(e.attributes & 0x03);
    info->PipeId = e.address;
    info->MaximumPacketSize = e.maxPacketSize;
    info->Interval = e.interval;
    return TRUE;
  }

  static BOOL WINAPI SetCurrentAlternateSetting(WINUSB_INTERFACE_HANDLE, UCHAR setting) {
    gFake->alternateSetting = setting;
    return TRUE;
  }

  static BOOL WINAPI SetPipePolicy(WINUSB_INTERFACE_HANDLE, UCHAR pipe, ULONG type, ULONG length, PVOID value) {
    // The driver applies a pipe's policy to the requests it holds as well.
    EXPECT_EQ(gFake->Outstanding(pipe), 0) << "policy " << type << " of pipe " << int(pipe) << " changed under a transfer";
    FakeWinUsb::Policy& policy = gFake->policies[pipe];
    if (type == PIPE_TRANSFER_TIMEOUT && length == sizeof(ULONG)) {
      policy.timeoutMs = *static_cast<ULONG*>(value);
    } else if (type == SHORT_PACKET_TERMINATE && length == sizeof(UCHAR)) {
      policy.zeroPacket = *static_cast<UCHAR*>(value) != 0;
    } else {
      ADD_FAILURE() << "policy " << type << " of length " << length;
      return Fail(ERROR_INVALID_PARAMETER);
    }
    return TRUE;
  }

  static BOOL WINAPI WritePipe(WINUSB_INTERFACE_HANDLE, UCHAR pipe, PUCHAR data, ULONG length, PULONG, LPOVERLAPPED overlapped) {
    EXPECT_EQ(pipe, UsbFastbootModel::kOut);
    const size_t number = static_cast<size_t>(++gFake->writes);
    FakeWinUsb::Request& r = gFake->Take(overlapped, pipe, data, length);
    const FakeWinUsb::Policy& policy = gFake->policies[pipe];
    if (number == gFake->failWriteAt) {
      r.done = true;
      r.error = gFake->writeError;
    } else {
      const ULONG taken = number == gFake->shortWriteAt ? length - static_cast<ULONG>(gFake->shortBy) : length;
      const bool zeroPacket = policy.zeroPacket && taken > 0 && taken % UsbFastbootModel::kPacketSize == 0;
      gFake->model.Out(data, taken, zeroPacket);
      r.transferred = taken;
      r.done = !gFake->stalled_;
    }
    gFake->maxWritesInFlight = std::max(gFake->maxWritesInFlight, gFake->Outstanding(pipe));
    return Fail(ERROR_IO_PENDING);
  }

  static BOOL WINAPI ReadPipe(WINUSB_INTERFACE_HANDLE, UCHAR pipe, PUCHAR data, ULONG length, PULONG, LPOVERLAPPED overlapped) {
    EXPECT_EQ(pipe, UsbFastbootModel::kIn);
    gFake->Take(overlapped, pipe, data, length);
    gFake->Answer();
    return Fail(ERROR_IO_PENDING);
  }

  static BOOL WINAPI GetOverlappedResult(WINUSB_INTERFACE_HANDLE, LPOVERLAPPED overlapped, LPDWORD transferred, BOOL wait) {
    auto it = gFake->requests.find(overlapped);
    if (it == gFake->requests.end()) {
      ADD_FAILURE() << "result of a request never made";
      return Fail(ERROR_INVALID_PARAMETER);
    }
    FakeWinUsb::Request& r = it->second;
    gFake->Answer();
    // The bus is slower than the host: a write is seen complete by a wait, or by a look when
    // completeOnPoll is set.
    const bool seen = r.done && (wait || gFake->completeOnPoll || r.pipe != UsbFastbootModel::kOut);
    if (!seen && !wait) return Fail(ERROR_IO_INCOMPLETE);
    if (!r.done) {
      // The pipe's time-out ends the wait; a device that never answers would hold it forever.
      EXPECT_NE(r.timeoutMs, 0u) << "a wait without a time-out on a silent device";
      gFake->now += std::chrono::milliseconds(r.timeoutMs);
      r.done = true;
      r.error = ERROR_SEM_TIMEOUT;
      r.transferred = 0;
    }
    r.collected = true;
    *transferred = r.transferred;
    return r.error == 0 ? TRUE : Fail(r.error);
  }

  static BOOL WINAPI AbortPipe(WINUSB_INTERFACE_HANDLE, UCHAR pipe) {
    ++gFake->aborts[pipe];
    for (auto& [overlapped, r] : gFake->requests) {
      if (r.pipe != pipe || r.done) continue;
      r.done = true;
      r.error = ERROR_OPERATION_ABORTED;
    }
    return TRUE;
  }

  static BOOL WINAPI ResetPipe(WINUSB_INTERFACE_HANDLE, UCHAR pipe) {
    ++gFake->resets[pipe];
    return TRUE;
  }
};

FakeWinUsb::FakeWinUsb() {
  EXPECT_EQ(gFake, nullptr);
  gFake = this;
}

FakeWinUsb::~FakeWinUsb() {
  EXPECT_EQ(openFiles, 0) << "the device file left open";
  EXPECT_EQ(openInterfaces, 0) << "WinUSB left holding the interface";
  gFake = nullptr;
}

const adb::WinUsbFunctions& FakeWinUsb::Functions() {
  static const adb::WinUsbFunctions functions{
      &Calls::List,         &Calls::CreateFileA, &Calls::CloseHandle,
      &Calls::CancelIoEx,   &Calls::Initialize,  &Calls::Free,
      &Calls::QueryInterfaceSettings, &Calls::QueryPipe, &Calls::SetCurrentAlternateSetting,
      &Calls::SetPipePolicy, &Calls::WritePipe,  &Calls::ReadPipe,
      &Calls::GetOverlappedResult, &Calls::AbortPipe, &Calls::ResetPipe};
  return functions;
}

void FakeWinUsb::SetStalled(bool stalled) {
  stalled_ = stalled;
  if (stalled) return;
  // What the device took while it stalled completes now.
  for (auto& [overlapped, r] : requests) {
    if (r.pipe == UsbFastbootModel::kOut && !r.done) r.done = true;
  }
  Answer();
}

int FakeWinUsb::Outstanding(UCHAR pipe) const {
  int n = 0;
  for (const auto& [overlapped, r] : requests) n += r.pipe == pipe && !r.collected;
  return n;
}

FakeWinUsb::Request& FakeWinUsb::Take(OVERLAPPED* overlapped, UCHAR pipe, uint8_t* buffer, ULONG length) {
  EXPECT_NE(overlapped, nullptr) << "a request without an OVERLAPPED on an overlapped handle";
  auto it = requests.find(overlapped);
  if (it != requests.end()) {
    EXPECT_TRUE(it->second.done) << "an OVERLAPPED reused while its request is in flight";
  }
  Request& r = requests[overlapped];
  r = Request{};
  r.pipe = pipe;
  r.buffer = buffer;
  r.length = length;
  r.timeoutMs = policies[pipe].timeoutMs.value_or(0);
  r.sequence = ++sequence_;
  return r;
}

void FakeWinUsb::Answer() {
  while (!stalled_ && !model.replies.empty()) {
    Request* oldest = nullptr;
    for (auto& [overlapped, r] : requests) {
      if (r.pipe == UsbFastbootModel::kIn && !r.done && (oldest == nullptr || r.sequence < oldest->sequence)) oldest = &r;
    }
    if (oldest == nullptr) return;
    const std::string reply = model.replies.front();
    model.replies.pop_front();
    oldest->transferred = static_cast<DWORD>(std::min<size_t>(reply.size(), oldest->length));
    std::memcpy(oldest->buffer, reply.data(), oldest->transferred);
    oldest->done = true;
  }
}

}  // namespace upwend::testing
