#pragma once
// The device's end of a TCP test on either system: a listener on a free loopback port. The
// connections it accepts are SocketHandles, read and written with the stream-socket calls.
#include <cstdint>

#include "platform/stream_socket.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace upwend::testing {

class LoopbackListener {
public:
  LoopbackListener() {
#ifdef _WIN32
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
#endif
    listener_ = static_cast<SocketHandle>(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (::bind(Native(listener_), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(Native(listener_), 4) != 0 ||
        ::getsockname(Native(listener_), reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
      Close();
      return;
    }
    port_ = ntohs(addr.sin_port);
  }
  ~LoopbackListener() { Close(); }
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;

  // 0 when no listener could be made.
  uint16_t Port() const { return port_; }

  // Nobody listens on the port any more (connecting is refused).
  void Close() {
    if (listener_ != kNoSocket) CloseSocket(listener_);
    listener_ = kNoSocket;
  }

  // The next connection within timeoutMs, with Nagle's delay off (so a reply is not held back
  // waiting for an acknowledgement); kNoSocket when none came.
  SocketHandle Accept(int timeoutMs) {
    if (listener_ == kNoSocket || WaitSocket(listener_, false, timeoutMs) != 1) return kNoSocket;
    auto s = ::accept(Native(listener_), nullptr, nullptr);
    if (s == Native(kNoSocket)) return kNoSocket;
    int one = 1;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    return static_cast<SocketHandle>(s);
  }

private:
#ifdef _WIN32
  static SOCKET Native(SocketHandle s) { return static_cast<SOCKET>(s); }
#else
  static int Native(SocketHandle s) { return static_cast<int>(s); }
#endif

  SocketHandle listener_ = kNoSocket;
  uint16_t port_ = 0;
};

}  // namespace upwend::testing
