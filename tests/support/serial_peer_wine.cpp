// The peer under Wine: tests/windows/serial_peer.py holds the pseudo-terminal and names it in
// UPWEND_SERIAL_PEER (host:port). Each connection is one line, created when it is accepted and
// removed when it closes; one text line per request and per answer.
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <sstream>

#include "platform/stream_socket.h"
#include "tests/support/serial_peer.h"

namespace upwend {
namespace {

constexpr int kAnswerMs = 30000;

std::string Hex(const std::vector<uint8_t>& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (uint8_t b : bytes) {
    text += kDigits[b >> 4];
    text += kDigits[b & 15];
  }
  return text;
}

std::vector<uint8_t> Unhex(const std::string& text) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i + 1 < text.size(); i += 2) bytes.push_back(static_cast<uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
  return bytes;
}

class WinePeer final : public SerialPeer {
public:
  explicit WinePeer(SocketHandle socket) : socket_(socket) {}
  ~WinePeer() override { CloseSocket(socket_); }

  // The greeting names the line: "line PORT ALIAS UNMAPPED DANGLING".
  bool Greet(std::string& whyNot) {
    std::string greeting = ReadLine();
    std::istringstream words(greeting);
    std::string tag;
    words >> tag >> port_ >> alias_ >> unmapped_ >> dangling_;
    if (tag == "line" && !dangling_.empty()) return true;
    whyNot = "the serial peer sent no line: " + greeting;
    return false;
  }

  std::string PortName() const override { return port_; }
  std::string AliasName() const override { return "\\\\.\\" + alias_; }
  std::string UnmappedName() const override { return unmapped_; }
  std::string DanglingName() const override { return dangling_; }
  PortResolver Resolver() const override { return nullptr; }

  bool Send(const std::vector<uint8_t>& bytes) override { return Ask("send " + Hex(bytes)) == "ok"; }

  std::vector<uint8_t> Receive(size_t count, int realMs) override {
    std::string answer = Ask("recv " + std::to_string(count) + " " + std::to_string(realMs));
    return answer.rfind("data ", 0) == 0 ? Unhex(answer.substr(5)) : std::vector<uint8_t>{};
  }

  int PortSideQueued() override {
    std::string answer = Ask("queued");
    return answer.rfind("queued ", 0) == 0 ? std::atoi(answer.c_str() + 7) : -1;
  }

  bool Hangup() override { return Ask("hangup") == "ok"; }

private:
  std::string Ask(const std::string& request) {
    std::string line = request + "\n";
    size_t sent = 0;
    while (sent < line.size()) {
      SocketPiece piece{line.data() + sent, line.size() - sent};
      long n = SendSocketPieces(socket_, &piece, 1);
      if (n > 0) sent += static_cast<size_t>(n);
      else if (n < 0 && SocketError() != EAGAIN) return {};
      else if (WaitSocket(socket_, true, kAnswerMs) <= 0) return {};
    }
    return ReadLine();
  }

  std::string ReadLine() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kAnswerMs);
    while (true) {
      if (size_t end = pending_.find('\n'); end != std::string::npos) {
        std::string line = pending_.substr(0, end);
        pending_.erase(0, end + 1);
        return line;
      }
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0 || WaitSocket(socket_, false, static_cast<int>(left.count())) <= 0) return {};
      char buf[4096];
      long n = ReceiveSocket(socket_, buf, sizeof buf);
      if (n == 0 || (n < 0 && SocketError() != EAGAIN)) return {};
      if (n > 0) pending_.append(buf, static_cast<size_t>(n));
    }
  }

  SocketHandle socket_;
  std::string pending_;
  std::string port_, alias_, unmapped_, dangling_;
};

}  // namespace

std::unique_ptr<SerialPeer> StartSerialPeer(std::string& whyNot) {
  const char* where = std::getenv("UPWEND_SERIAL_PEER");
  std::string address = where ? where : "";
  size_t colon = address.rfind(':');
  if (colon == std::string::npos) {
    whyNot = "UPWEND_SERIAL_PEER is not set: run the test through ctest, whose launcher "
             "tests/windows/serial_peer.py provides the line";
    return nullptr;
  }
  int error = 0;
  std::string text;
  SocketHandle socket = ConnectTcpSocket(address.substr(0, colon), static_cast<uint16_t>(std::atoi(address.c_str() + colon + 1)),
                                         kAnswerMs, error, text);
  if (socket == kNoSocket) {
    whyNot = "cannot reach the serial peer at " + address + ": " + text;
    return nullptr;
  }
  auto peer = std::make_unique<WinePeer>(socket);
  if (!peer->Greet(whyNot)) return nullptr;
  return peer;
}

bool SerialPortIsWine() {
  HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace upwend
