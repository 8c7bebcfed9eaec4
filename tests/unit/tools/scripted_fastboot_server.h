#pragma once
// A fastboot-over-TCP device for tests: listens on loopback, accepts one connection and runs a
// script on its own thread. Every wait is bounded, so a broken client fails the test instead of
// hanging it.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "platform/stream_socket.h"
#include "tests/support/loopback_listener.h"

namespace upwend::testing {

inline constexpr int kServerWaitMs = 10000;

class ServerConnection {
public:
  explicit ServerConnection(SocketHandle socket) : socket_(socket) {}
  ~ServerConnection() { Close(); }
  ServerConnection(const ServerConnection&) = delete;
  ServerConnection& operator=(const ServerConnection&) = delete;

  void Close() {
    if (socket_ != kNoSocket) CloseSocket(socket_);
    socket_ = kNoSocket;
  }

  bool ReadExact(void* out, size_t size) {
    auto* p = static_cast<uint8_t*>(out);
    size_t got = 0;
    while (got < size) {
      if (WaitSocket(socket_, false, kServerWaitMs) != 1) return false;
      long n = ReceiveSocket(socket_, p + got, size - got);
      if (n < 0 && SocketError() == EAGAIN) continue;
      if (n <= 0) return false;
      got += static_cast<size_t>(n);
    }
    return true;
  }

  bool WriteAll(const void* data, size_t size) {
    auto* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
      SocketPiece piece{p, size};
      long n = SendSocketPieces(socket_, &piece, 1);
      if (n < 0 && SocketError() == EAGAIN && WaitSocket(socket_, true, kServerWaitMs) == 1) continue;
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
  SocketHandle socket_;
};

class ScriptedFastbootServer {
public:
  ScriptedFastbootServer() { EXPECT_NE(listener_.Port(), 0) << "no loopback listener"; }
  ~ScriptedFastbootServer() { Join(); }

  uint16_t Port() const { return listener_.Port(); }
  std::wstring Path() const { return L"tcp:127.0.0.1:" + std::to_wstring(Port()); }

  // Accepts one connection and runs the script on it.
  void Run(std::function<void(ServerConnection&)> script) {
    thread_ = std::thread([this, script = std::move(script)] {
      SocketHandle socket = listener_.Accept(kServerWaitMs);
      if (socket == kNoSocket) {
        ADD_FAILURE() << "no client connected";
        return;
      }
      ServerConnection connection(socket);
      script(connection);
    });
  }

  void Join() {
    if (thread_.joinable()) thread_.join();
  }

private:
  LoopbackListener listener_;
  std::thread thread_;
};

}  // namespace upwend::testing
