#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/stream_socket.h"
#include "tests/support/loopback_listener.h"

namespace upwend {
namespace {

constexpr int kEventMs = 20000;  // the limit of a wait for something that does happen

#ifdef _WIN32
using Native = SOCKET;
void CloseNative(Native s) { ::closesocket(s); }
#else
using Native = int;
void CloseNative(Native s) { ::close(s); }
#endif

// The device's end: a loopback listener on a free port, and the connection it accepts, read and
// written with the system's own blocking calls.
class Peer {
public:
  ~Peer() {
    if (connection_ != kNone) CloseNative(connection_);
  }
  uint16_t port() const { return listener_.Port(); }
  void CloseListener() { listener_.Close(); }
  void Accept() { connection_ = static_cast<Native>(listener_.Accept(kEventMs)); }
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
  testing::LoopbackListener listener_;
  Native connection_ = kNone;
};

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
