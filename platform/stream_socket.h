#pragma once
// A TCP stream socket reduced to the calls the fastboot-over-TCP transport makes, with POSIX
// meanings on every system: errors are errno values (EAGAIN when a call would block), a socket is
// non-blocking, and a wait takes real milliseconds (-1: no limit).
#include <cstddef>
#include <cstdint>
#include <string>

namespace upwend {

using SocketHandle = intptr_t;
inline constexpr SocketHandle kNoSocket = -1;

struct SocketPiece {
  const void* data;
  size_t size;
};

// Connects to host:port (any address it resolves to, in turn) within timeoutMs, with Nagle's
// delay off. kNoSocket on failure, with an errno value and a sentence.
SocketHandle ConnectTcpSocket(const std::string& host, uint16_t port, int timeoutMs, int& error, std::string& text);

// Sends what fits now of the pieces, in order: the bytes sent, or -1 (see SocketError).
long SendSocketPieces(SocketHandle socket, const SocketPiece* pieces, size_t count);
// Receives what has arrived: the bytes, 0 when the peer closed, or -1 (see SocketError).
long ReceiveSocket(SocketHandle socket, void* buffer, size_t size);
// Waits until the socket can be read (or written): 1, 0 when the time ran out, -1 on failure.
int WaitSocket(SocketHandle socket, bool forWrite, int timeoutMs);
// The errno value of the calling thread's last failed socket call, and its text.
int SocketError();
std::string SocketErrorText(int error);
void CloseSocket(SocketHandle socket);

}  // namespace upwend
