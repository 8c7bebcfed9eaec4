#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/stream_socket.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace upwend {
namespace {

#ifdef _WIN32
using Native = SOCKET;
void CloseNative(Native s) { ::closesocket(s); }
#else
using Native = int;
void CloseNative(Native s) { ::close(s); }
#endif

// The device's end: a blocking loopback listener on a free port, and the connection it accepts.
class Peer {
public:
  Peer() {
#ifdef _WIN32
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
#endif
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    EXPECT_EQ(::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    EXPECT_EQ(::listen(listener_, 1), 0);
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
  }
  ~Peer() {
    if (connection_ != kNone) CloseNative(connection_);
    CloseListener();
  }
  uint16_t port() const { return port_; }
  void CloseListener() {
    if (listener_ != kNone) CloseNative(listener_);
    listener_ = kNone;
  }
  void Accept() { connection_ = ::accept(listener_, nullptr, nullptr); }
  void Send(const std::string& bytes) { ::send(connection_, bytes.data(), static_cast<int>(bytes.size()), 0); }
  std::string Receive(size_t size) {
    std::string out(size, '\0');
    size_t got = 0;
    while (got < size) {
      int n = ::recv(connection_, out.data() + got, static_cast<int>(size - got), 0);
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
    return out.substr(0, got);
  }
  void Hangup() {
    CloseNative(connection_);
    connection_ = kNone;
  }

private:
  static constexpr Native kNone = static_cast<Native>(-1);
  Native listener_ = kNone;
  Native connection_ = kNone;
  uint16_t port_ = 0;
};

constexpr int kEventMs = 20000;  // the limit of a wait for something that does happen

// The calls of the fastboot-over-TCP transport, with POSIX meanings on both systems.
TEST(StreamSocketTest, ExchangesBytesAndReportsWouldBlockAndHangupAsOnPosix) {
  Peer peer;
  int error = 0;
  std::string text;
  SocketHandle s = ConnectTcpSocket("127.0.0.1", peer.port(), kEventMs, error, text);
  ASSERT_NE(s, kNoSocket) << text;
  peer.Accept();

  char buf[64];
  EXPECT_EQ(WaitSocket(s, false, 0), 0);
  EXPECT_EQ(ReceiveSocket(s, buf, sizeof buf), -1);  // non-blocking: nothing yet
  EXPECT_EQ(SocketError(), EAGAIN);
  EXPECT_EQ(WaitSocket(s, true, kEventMs), 1);
  SocketPiece pieces[] = {{"down", 4}, {"load:", 5}, {"00000010", 8}};
  EXPECT_EQ(SendSocketPieces(s, pieces, 3), 17);
  EXPECT_EQ(peer.Receive(17), "download:00000010");

  peer.Send("DATA00000010");
  ASSERT_EQ(WaitSocket(s, false, kEventMs), 1);
  long n = ReceiveSocket(s, buf, sizeof buf);
  ASSERT_GT(n, 0);
  std::string got(buf, static_cast<size_t>(n));
  while (got.size() < 12 && WaitSocket(s, false, kEventMs) == 1 && (n = ReceiveSocket(s, buf, sizeof buf)) > 0) {
    got.append(buf, static_cast<size_t>(n));
  }
  EXPECT_EQ(got, "DATA00000010");

  peer.Hangup();
  ASSERT_EQ(WaitSocket(s, false, kEventMs), 1);
  EXPECT_EQ(ReceiveSocket(s, buf, sizeof buf), 0);
  CloseSocket(s);
}

TEST(StreamSocketTest, ARefusedConnectionGivesItsErrnoAndASentence) {
  Peer peer;
  uint16_t port = peer.port();
  peer.CloseListener();  // nobody listens there now
  int error = 0;
  std::string text;
  EXPECT_EQ(ConnectTcpSocket("127.0.0.1", port, kEventMs, error, text), kNoSocket);
  EXPECT_EQ(error, ECONNREFUSED);
  EXPECT_NE(SocketErrorText(error), "");
  EXPECT_NE(text.find(std::to_string(port)), std::string::npos) << text;
}

}  // namespace
}  // namespace upwend
