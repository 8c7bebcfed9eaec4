#pragma once
// A fastboot-over-TCP device for tests: listens on loopback, accepts one connection and runs a
// script on its own thread. Every wait is bounded, so a broken client fails the test instead of
// hanging it.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <thread>

namespace upwend::testing {

inline constexpr int kServerWaitMs = 10000;

class ServerConnection {
public:
  explicit ServerConnection(int fd) : fd_(fd) {}
  ~ServerConnection() { Close(); }

  void Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

  bool ReadExact(void* out, size_t size) {
    auto* p = static_cast<uint8_t*>(out);
    size_t got = 0;
    while (got < size) {
      pollfd pfd{fd_, POLLIN, 0};
      if (poll(&pfd, 1, kServerWaitMs) <= 0) return false;
      ssize_t n = recv(fd_, p + got, size - got, 0);
      if (n <= 0) return false;
      got += static_cast<size_t>(n);
    }
    return true;
  }

  bool WriteAll(const void* data, size_t size) {
    auto* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
      ssize_t n = send(fd_, p, size, MSG_NOSIGNAL);
      if (n <= 0) return false;
      p += n;
      size -= static_cast<size_t>(n);
    }
    return true;
  }

  // The client's "FB01" and our answer.
  bool Handshake(const std::string& answer = "FB01") {
    char hello[4];
    if (!ReadExact(hello, 4) || std::string(hello, 4) != "FB01") return false;
    return WriteAll(answer.data(), answer.size());
  }

  std::optional<uint64_t> ReadHeader() {
    uint8_t h[8];
    if (!ReadExact(h, 8)) return std::nullopt;
    uint64_t length = 0;
    for (uint8_t b : h) length = length << 8 | b;
    return length;
  }

  // One framed message; nullopt when the connection ended or the frame is implausibly long.
  std::optional<std::string> ReadMessage(uint64_t maxLength = 4096) {
    auto length = ReadHeader();
    if (!length || *length > maxLength) return std::nullopt;
    std::string message(*length, '\0');
    if (!ReadExact(message.data(), message.size())) return std::nullopt;
    return message;
  }

  void Expect(const std::string& command) {
    auto message = ReadMessage();
    ASSERT_TRUE(message.has_value()) << "expected \"" << command << "\", the connection ended";
    EXPECT_EQ(*message, command);
  }

  bool Reply(const std::string& text) {
    std::string frame(8, '\0');
    for (int i = 0; i < 8; ++i) frame[7 - i] = static_cast<char>(static_cast<uint64_t>(text.size()) >> (8 * i));
    frame += text;  // one send, so a reply is not held back waiting for an acknowledgement
    return WriteAll(frame.data(), frame.size());
  }

private:
  int fd_;
};

class ScriptedFastbootServer {
public:
  ScriptedFastbootServer() {
    listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    listen(listenFd_, 4);
    socklen_t len = sizeof addr;
    getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
  }
  ~ScriptedFastbootServer() {
    Join();
    close(listenFd_);
  }

  uint16_t Port() const { return port_; }
  std::wstring Path() const { return L"tcp:127.0.0.1:" + std::to_wstring(port_); }

  // Accepts one connection and runs the script on it.
  void Run(std::function<void(ServerConnection&)> script) {
    thread_ = std::thread([this, script = std::move(script)] {
      pollfd pfd{listenFd_, POLLIN, 0};
      if (poll(&pfd, 1, kServerWaitMs) <= 0) {
        ADD_FAILURE() << "no client connected";
        return;
      }
      int fd = accept(listenFd_, nullptr, nullptr);
      int one = 1;
      setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      ServerConnection connection(fd);
      script(connection);
    });
  }

  void Join() {
    if (thread_.joinable()) thread_.join();
  }

private:
  int listenFd_ = -1;
  uint16_t port_ = 0;
  std::thread thread_;
};

}  // namespace upwend::testing
