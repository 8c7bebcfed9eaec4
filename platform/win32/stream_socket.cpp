// Winsock 2 with POSIX meanings: WSA error codes become errno values, and "would block"
// is EAGAIN.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <fmt/format.h>

#include <cerrno>
#include <chrono>
#include <mutex>

#include "platform/stream_socket.h"
#include "platform/win32/system_message.h"

namespace upwend {

namespace {

thread_local int tError = 0;

int ErrnoFor(int wsa) {
  switch (wsa) {
    case WSAEWOULDBLOCK: return EAGAIN;
    case WSAEINPROGRESS: return EINPROGRESS;
    case WSAEINTR: return EINTR;
    case WSAECONNRESET:
    case WSAECONNABORTED:
    case WSAENETRESET: return ECONNRESET;
    case WSAECONNREFUSED: return ECONNREFUSED;
    case WSAETIMEDOUT: return ETIMEDOUT;
    case WSAENOTCONN:
    case WSAESHUTDOWN: return EPIPE;
    case WSAEHOSTUNREACH:
    case WSAENETUNREACH: return EHOSTUNREACH;
    default: return EIO;
  }
}

int Fail() {
  tError = ErrnoFor(::WSAGetLastError());
  return -1;
}

void StartWinsock() {
  static std::once_flag once;
  std::call_once(once, [] {
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
  });
}

}  // namespace

SocketHandle ConnectTcpSocket(const std::string& host, uint16_t port, int timeoutMs, int& error, std::string& text) {
  StartWinsock();
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  std::string service = std::to_string(port);
  int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
  if (rc != 0) {
    error = ENODEV;
    text = fmt::format("cannot resolve {}: {}", host, SystemMessage(static_cast<uint32_t>(rc)));
    return kNoSocket;
  }
  error = ENODEV;
  text = fmt::format("no address for {}", host);
  for (addrinfo* ai = list; ai != nullptr; ai = ai->ai_next) {
    SOCKET s = ::WSASocketW(ai->ai_family, ai->ai_socktype, ai->ai_protocol, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET) {
      error = ErrnoFor(::WSAGetLastError());
      text = "socket: " + SystemMessage(::WSAGetLastError());
      continue;
    }
    u_long nonBlocking = 1;
    ::ioctlsocket(s, FIONBIO, &nonBlocking);
    if (::connect(s, ai->ai_addr, static_cast<int>(ai->ai_addrlen)) != 0 && ::WSAGetLastError() != WSAEWOULDBLOCK) {
      error = ErrnoFor(::WSAGetLastError());
      text = "connect: " + SystemMessage(::WSAGetLastError());
      ::closesocket(s);
      continue;
    }
    int ready = WaitSocket(static_cast<SocketHandle>(s), true, timeoutMs);
    int soError = 0;
    int len = sizeof soError;
    ::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &len);
    if (ready <= 0 || soError != 0) {
      error = ready == 0 ? ETIMEDOUT : ErrnoFor(soError);
      text = ready == 0 ? std::string("time-out while connecting")
                        : fmt::format("connect to {}:{}: {}", host, port, SystemMessage(static_cast<uint32_t>(soError)));
      ::closesocket(s);
      continue;
    }
    BOOL one = TRUE;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    ::freeaddrinfo(list);
    return static_cast<SocketHandle>(s);
  }
  ::freeaddrinfo(list);
  return kNoSocket;
}

long SendSocketPieces(SocketHandle socket, const SocketPiece* pieces, size_t count) {
  WSABUF bufs[8];
  if (count > 8) count = 8;
  for (size_t i = 0; i < count; ++i) {
    bufs[i].buf = static_cast<char*>(const_cast<void*>(pieces[i].data));
    bufs[i].len = static_cast<ULONG>(pieces[i].size);
  }
  DWORD sent = 0;
  if (::WSASend(static_cast<SOCKET>(socket), bufs, static_cast<DWORD>(count), &sent, 0, nullptr, nullptr) != 0)
    return Fail();
  return static_cast<long>(sent);
}

long ReceiveSocket(SocketHandle socket, void* buffer, size_t size) {
  int n = ::recv(static_cast<SOCKET>(socket), static_cast<char*>(buffer), static_cast<int>(size), 0);
  return n == SOCKET_ERROR ? Fail() : n;
}

int WaitSocket(SocketHandle socket, bool forWrite, int timeoutMs) {
  WSAPOLLFD p{};
  p.fd = static_cast<SOCKET>(socket);
  p.events = forWrite ? POLLWRNORM : POLLRDNORM;
  int n = ::WSAPoll(&p, 1, timeoutMs);
  if (n < 0) return Fail();
  return n > 0 ? 1 : 0;
}

int SocketError() { return tError; }
std::string SocketErrorText(int error) { return std::strerror(error); }

void CloseSocket(SocketHandle socket) { ::closesocket(static_cast<SOCKET>(socket)); }

}  // namespace upwend
