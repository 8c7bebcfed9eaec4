#include "platform/stream_socket.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <fmt/format.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace upwend {

namespace {

int WaitFd(int fd, short events, int timeoutMs) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    pollfd p{fd, events, 0};
    int left = timeoutMs < 0 ? -1
                             : static_cast<int>(std::max<int64_t>(
                                   0, std::chrono::ceil<std::chrono::milliseconds>(end - std::chrono::steady_clock::now())
                                          .count()));
    int n = ::poll(&p, 1, left);
    if (n >= 0) return n > 0 ? 1 : 0;
    if (errno != EINTR) return -1;
  }
}

}  // namespace

SocketHandle ConnectTcpSocket(const std::string& host, uint16_t port, int timeoutMs, int& error, std::string& text) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  std::string service = std::to_string(port);
  int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
  if (rc != 0) {
    error = ENODEV;
    text = fmt::format("cannot resolve {}: {}", host, gai_strerror(rc));
    return kNoSocket;
  }
  error = ENODEV;
  text = fmt::format("no address for {}", host);
  for (addrinfo* ai = list; ai != nullptr; ai = ai->ai_next) {
    int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, ai->ai_protocol);
    if (fd < 0) {
      error = errno;
      text = fmt::format("socket: {}", std::strerror(errno));
      continue;
    }
    if (::connect(fd, ai->ai_addr, ai->ai_addrlen) != 0 && errno != EINPROGRESS) {
      error = errno;
      text = fmt::format("connect: {}", std::strerror(errno));
      ::close(fd);
      continue;
    }
    int ready = WaitFd(fd, POLLOUT, timeoutMs);
    if (ready <= 0) {
      error = ready == 0 ? ETIMEDOUT : errno;
      text = ready == 0 ? std::string("time-out while connecting") : fmt::format("poll: {}", std::strerror(errno));
      ::close(fd);
      continue;
    }
    int soError = 0;
    socklen_t len = sizeof soError;
    ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len);
    if (soError != 0) {
      error = soError;
      text = fmt::format("connect to {}:{}: {}", host, port, std::strerror(soError));
      ::close(fd);
      continue;
    }
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    ::freeaddrinfo(list);
    return fd;
  }
  ::freeaddrinfo(list);
  return kNoSocket;
}

long SendSocketPieces(SocketHandle socket, const SocketPiece* pieces, size_t count) {
  iovec vec[8];
  if (count > 8) count = 8;
  for (size_t i = 0; i < count; ++i) vec[i] = {const_cast<void*>(pieces[i].data), pieces[i].size};
  msghdr message{};
  message.msg_iov = vec;
  message.msg_iovlen = count;
  return ::sendmsg(static_cast<int>(socket), &message, MSG_NOSIGNAL | MSG_DONTWAIT);
}

long ReceiveSocket(SocketHandle socket, void* buffer, size_t size) {
  return ::recv(static_cast<int>(socket), buffer, size, MSG_DONTWAIT);
}

int WaitSocket(SocketHandle socket, bool forWrite, int timeoutMs) {
  return WaitFd(static_cast<int>(socket), forWrite ? POLLOUT : POLLIN, timeoutMs);
}

int SocketError() { return errno; }
std::string SocketErrorText(int error) { return std::strerror(error); }

void CloseSocket(SocketHandle socket) { ::close(static_cast<int>(socket)); }

}  // namespace upwend
