// The USB boot device's pipes: libusb for a real device, a Unix socket for the simulator's.
#include "platform/usb_boot_pipe.h"

#include <libusb.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>

#include "platform/system_usb_boot_port.h"
#include "platform/ini_file.h"
#include "platform/usb_device_path.h"

namespace upwend {

namespace {

// The device takes one transfer at a time; a small send buffer makes a device that stops
// reading show as a write that times out, as it would on the wire.
constexpr int kSocketSendBuffer = 4096;
constexpr uint8_t kBootInterface = 0;

int ErrnoForUsb(int rc) {
  switch (rc) {
    case LIBUSB_ERROR_TIMEOUT: return ETIMEDOUT;
    case LIBUSB_ERROR_NO_DEVICE:
    case LIBUSB_ERROR_NOT_FOUND: return ENODEV;
    case LIBUSB_ERROR_ACCESS: return EACCES;
    case LIBUSB_ERROR_BUSY: return EBUSY;
    case LIBUSB_ERROR_PIPE: return EPIPE;
    default: return EIO;
  }
}

// The pipe name of a pipe path: the text after the path's last "\" when it follows the class
// GUID's "}"; empty for a bare device path.
std::string PipeName(const std::string& path) {
  size_t brace = path.rfind('}');
  size_t slash = path.rfind('\\');
  if (brace == std::string::npos || slash == std::string::npos || slash < brace) return {};
  return path.substr(slash + 1);
}

// "PIPEnn": nn is the OUT endpoint number in hex, 1 to 15; -1 for anything else.
int EndpointOfPipe(const std::string& pipe) {
  std::string upper = AsciiUpper(pipe);
  if (upper.size() != 6 || upper.rfind("PIPE", 0) != 0) return -1;
  int n = 0;
  for (char c : upper.substr(4)) {
    if (c >= '0' && c <= '9') n = n * 16 + (c - '0');
    else if (c >= 'A' && c <= 'F') n = n * 16 + (c - 'A' + 10);
    else return -1;
  }
  return n >= 1 && n <= 0x0F ? n : -1;
}

class SocketPipe final : public UsbBootPipe {
public:
  explicit SocketPipe(int fd) : fd_(fd) {}
  ~SocketPipe() override { ::close(fd_); }
  bool Write(const uint8_t* data, size_t size, size_t& written) override {
    written = 0;
    while (written < size) {
      ssize_t n = ::send(fd_, data + written, size - written, MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;  // EAGAIN after SO_SNDTIMEO: the device stopped taking data
      written += static_cast<size_t>(n);
    }
    return true;
  }

private:
  int fd_;
};

class UsbPipe final : public UsbBootPipe {
public:
  UsbPipe(libusb_context* ctx, libusb_device_handle* handle, uint8_t endpoint, unsigned timeoutMs)
      : ctx_(ctx), handle_(handle), endpoint_(endpoint), timeoutMs_(timeoutMs) {}
  ~UsbPipe() override {
    libusb_release_interface(handle_, kBootInterface);
    libusb_close(handle_);
    libusb_exit(ctx_);
  }
  bool Write(const uint8_t* data, size_t size, size_t& written) override {
    int transferred = 0;
    int rc = libusb_bulk_transfer(handle_, endpoint_, const_cast<uint8_t*>(data), static_cast<int>(size), &transferred,
                                  timeoutMs_);
    written = static_cast<size_t>(std::max(transferred, 0));
    return rc == 0 && written == size;
  }

private:
  libusb_context* ctx_;
  libusb_device_handle* handle_;
  uint8_t endpoint_;
  unsigned timeoutMs_;
};

// Opens the device at bus/address when it still is the one the path names, in a libusb context
// of its own (`ctx`: the caller exits it after closing the handle). On failure nothing is left
// open and `error` tells why.
libusb_device_handle* OpenUsbDevice(const UsbDeviceAddress& a, libusb_context*& ctx, int& error) {
  ctx = nullptr;
  if (libusb_init(&ctx) != 0) {
    error = EIO;
    return nullptr;
  }
  libusb_device** list = nullptr;
  ssize_t n = libusb_get_device_list(ctx, &list);
  if (n < 0) {
    error = ErrnoForUsb(static_cast<int>(n));
    libusb_exit(ctx);
    return nullptr;
  }
  libusb_device_handle* handle = nullptr;
  error = ENODEV;
  for (ssize_t i = 0; i < n; ++i) {
    libusb_device* d = list[i];
    libusb_device_descriptor desc{};
    if (libusb_get_bus_number(d) != a.busNumber || libusb_get_device_address(d) != a.deviceAddress) continue;
    if (libusb_get_device_descriptor(d, &desc) != 0 || desc.idVendor != a.vendorId || desc.idProduct != a.productId)
      continue;
    int rc = libusb_open(d, &handle);
    error = rc == 0 ? 0 : ErrnoForUsb(rc);
    break;
  }
  libusb_free_device_list(list, 1);
  if (handle == nullptr) libusb_exit(ctx);
  return handle;
}

class PosixUsbBootPort final : public UsbBootPort {
public:
  explicit PosixUsbBootPort(unsigned writeTimeoutMs) : timeoutMs_(writeTimeoutMs) {}

  bool ProbeDevice(const std::string& devicePath, int& error) override {
    if (auto socket = UsbBootSocketPath(devicePath)) {
      // A name in the abstract namespace has no file to look at: a connection tells.
      if (socket->front() == '@') return OpenSocket(*socket, error) != nullptr;
      struct stat st {};
      if (::stat(socket->c_str(), &st) != 0) {
        error = errno;
        return false;
      }
      if (!S_ISSOCK(st.st_mode) || ::access(socket->c_str(), R_OK | W_OK) != 0) {
        error = S_ISSOCK(st.st_mode) ? errno : ENOTSOCK;
        return false;
      }
      return true;
    }
    auto address = ParseUsbDevicePath(devicePath);
    if (!address) {
      error = ENOENT;
      return false;
    }
    libusb_context* ctx = nullptr;
    libusb_device_handle* handle = OpenUsbDevice(*address, ctx, error);
    if (handle == nullptr) return false;
    libusb_close(handle);
    libusb_exit(ctx);
    return true;
  }

  std::unique_ptr<UsbBootPipe> OpenPipe(const std::string& pipePath, int& error) override {
    std::string pipe = PipeName(pipePath);
    if (pipe.empty()) {
      error = ENOENT;
      return nullptr;
    }
    if (auto socket = UsbBootSocketPath(pipePath)) return OpenSocket(*socket, error);
    return OpenUsb(pipePath, pipe, error);
  }

private:
  std::unique_ptr<UsbBootPipe> OpenSocket(const std::string& path, int& error) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) {
      error = ENAMETOOLONG;
      return nullptr;
    }
    // "@NAME" is NAME in the abstract namespace (a leading NUL).
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    socklen_t length = sizeof addr;
    if (path.front() == '@') {
      addr.sun_path[0] = '\0';
      length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size());
    }
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
      error = errno;
      return nullptr;
    }
    int buffer = kSocketSendBuffer;
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    int64_t ms = timeoutMs_;
    timeval tv{static_cast<time_t>(ms / 1000), static_cast<suseconds_t>((ms % 1000) * 1000)};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), length) != 0) {
      error = errno;
      ::close(fd);
      return nullptr;
    }
    return std::make_unique<SocketPipe>(fd);
  }

  std::unique_ptr<UsbBootPipe> OpenUsb(const std::string& pipePath, const std::string& pipe, int& error) {
    int endpoint = EndpointOfPipe(pipe);
    auto address = ParseUsbDevicePath(pipePath);
    if (endpoint < 0 || !address) {
      error = ENOENT;
      return nullptr;
    }
    libusb_context* ctx = nullptr;
    libusb_device_handle* handle = OpenUsbDevice(*address, ctx, error);
    if (handle == nullptr) return nullptr;
    libusb_set_auto_detach_kernel_driver(handle, 1);
    if (int rc = libusb_claim_interface(handle, kBootInterface); rc != 0) {
      error = ErrnoForUsb(rc);
      libusb_close(handle);
      libusb_exit(ctx);
      return nullptr;
    }
    return std::make_unique<UsbPipe>(ctx, handle, static_cast<uint8_t>(endpoint), timeoutMs_);
  }

  unsigned timeoutMs_;  // real milliseconds
};

}  // namespace

std::unique_ptr<UsbBootPort> CreateSystemUsbBootPort(unsigned writeTimeoutMs) {
  return std::make_unique<PosixUsbBootPort>(writeTimeoutMs);
}

}  // namespace upwend
