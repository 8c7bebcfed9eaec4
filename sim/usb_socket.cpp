#include "sim/usb_socket.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace upwend::sim {

namespace {

constexpr int kPollMs = 20;  // real ms: how soon a stop is noticed

sockaddr_un AbstractAddress(const std::string& name, socklen_t& length) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path + 1, name.data(), name.size());
  length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
  return addr;
}

}  // namespace

bool UsbSocket::Open(const std::string& name, std::string& error) {
  socklen_t length = 0;
  if (name.size() + 1 >= sizeof(sockaddr_un{}.sun_path)) {
    error = "socket name too long: " + name;
    return false;
  }
  sockaddr_un addr = AbstractAddress(name, length);
  listenFd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), length) != 0 || ::listen(listenFd_, 4) != 0) {
    error = "cannot listen on @" + name + ": " + std::strerror(errno);
    if (listenFd_ >= 0) ::close(listenFd_);
    listenFd_ = -1;
    return false;
  }
  name_ = name;
  return true;
}

void UsbSocket::Start(Handler handler) {
  service_.Start([this, handler = std::move(handler)] {
    while (!service_.stopping()) {
      pollfd p{listenFd_, POLLIN, 0};
      if (::poll(&p, 1, kPollMs) <= 0) continue;
      int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      handler(fd, service_.stopFlag());
      ::close(fd);
    }
  });
}

void UsbSocket::Close() {
  service_.Stop();
  if (listenFd_ >= 0) ::close(listenFd_);
  listenFd_ = -1;
}

bool UsbSocket::ReadFull(int fd, uint8_t* data, size_t size, const std::atomic<bool>& stop) {
  size_t done = 0;
  while (done < size) {
    if (stop) return false;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, kPollMs) <= 0) continue;
    ssize_t n = ::read(fd, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool UsbSocket::WriteFull(int fd, const uint8_t* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::send(fd, data + done, size - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

void UsbSocket::WaitForHangUp(int fd, const std::atomic<bool>& stop) {
  while (!stop) {
    pollfd p{fd, POLLRDHUP, 0};
    if (::poll(&p, 1, kPollMs) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR))) return;
  }
}

}  // namespace upwend::sim
