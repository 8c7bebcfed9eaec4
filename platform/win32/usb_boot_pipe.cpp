// The USB boot device on Windows: its driver exposes each pipe as a file, the device-interface
// path + "\" + the pipe name, written to with overlapped I/O bounded by the write time-out.
// The simulator's boot device (a Unix socket in the abstract namespace) cannot be reached from
// Windows: such paths fail with ENOTSUP.
#include <windows.h>

#include <algorithm>
#include <cerrno>

#include "platform/system_usb_boot_port.h"
#include "platform/usb_boot_pipe.h"

namespace upwend {

namespace {

int ErrnoFor(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return ENOENT;
    case ERROR_ACCESS_DENIED: return EACCES;
    case ERROR_SHARING_VIOLATION: return EBUSY;
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_GEN_FAILURE: return ENODEV;
    case ERROR_SEM_TIMEOUT:
    case WAIT_TIMEOUT: return ETIMEDOUT;
    default: return EIO;
  }
}

HANDLE OpenDeviceFile(const std::string& path, DWORD flags) {
  return ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, flags, nullptr);
}

class FilePipe final : public UsbBootPipe {
public:
  FilePipe(HANDLE h, DWORD timeoutMs) : handle_(h), timeoutMs_(timeoutMs), event_(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
  ~FilePipe() override {
    ::CloseHandle(handle_);
    if (event_) ::CloseHandle(event_);
  }

  bool Write(const uint8_t* data, size_t size, size_t& written) override {
    written = 0;
    OVERLAPPED ov{};
    ov.hEvent = event_;
    ::ResetEvent(event_);
    DWORD n = 0;
    DWORD len = static_cast<DWORD>(std::min<size_t>(size, 0x7fffffff));
    if (!::WriteFile(handle_, data, len, nullptr, &ov) && ::GetLastError() != ERROR_IO_PENDING) return false;
    if (::WaitForSingleObject(event_, timeoutMs_) != WAIT_OBJECT_0) {
      ::CancelIo(handle_);
      ::GetOverlappedResult(handle_, &ov, &n, TRUE);
      written = n;
      return false;
    }
    bool ok = ::GetOverlappedResult(handle_, &ov, &n, FALSE) != FALSE;
    written = n;
    return ok && written == size;
  }

private:
  HANDLE handle_;
  DWORD timeoutMs_;
  HANDLE event_;
};

class Win32UsbBootPort final : public UsbBootPort {
public:
  explicit Win32UsbBootPort(unsigned writeTimeoutMs) : timeoutMs_(writeTimeoutMs) {}

  bool ProbeDevice(const std::string& devicePath, int& error) override {
    if (UsbBootSocketPath(devicePath)) {
      error = ENOTSUP;
      return false;
    }
    HANDLE h = OpenDeviceFile(devicePath, 0);
    if (h == INVALID_HANDLE_VALUE) {
      error = ErrnoFor(::GetLastError());
      return false;
    }
    ::CloseHandle(h);
    return true;
  }

  std::unique_ptr<UsbBootPipe> OpenPipe(const std::string& pipePath, int& error) override {
    if (UsbBootSocketPath(pipePath)) {
      error = ENOTSUP;
      return nullptr;
    }
    HANDLE h = OpenDeviceFile(pipePath, FILE_FLAG_OVERLAPPED);
    if (h == INVALID_HANDLE_VALUE) {
      error = ErrnoFor(::GetLastError());
      return nullptr;
    }
    return std::make_unique<FilePipe>(h, static_cast<DWORD>(timeoutMs_));
  }

private:
  unsigned timeoutMs_;  // real milliseconds
};

}  // namespace

std::unique_ptr<UsbBootPort> CreateSystemUsbBootPort(unsigned writeTimeoutMs) {
  return std::make_unique<Win32UsbBootPort>(writeTimeoutMs);
}

}  // namespace upwend
