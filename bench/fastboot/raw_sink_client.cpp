#include "raw_sink_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

namespace upwend::bench {

namespace {

constexpr size_t kChunk = 1 << 20;

bool SendAll(int fd, const void* data, size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  while (size > 0) {
    ssize_t n = send(fd, p, size, MSG_NOSIGNAL);
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool RecvAll(int fd, void* data, size_t size) {
  auto* p = static_cast<uint8_t*>(data);
  while (size > 0) {
    ssize_t n = recv(fd, p, size, 0);
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool SendHeader(int fd, uint64_t length) {
  uint8_t header[8];
  for (int i = 0; i < 8; ++i) header[i] = static_cast<uint8_t>(length >> (56 - 8 * i));
  return SendAll(fd, header, sizeof header);
}

bool SendMessage(int fd, const std::string& text) { return SendHeader(fd, text.size()) && SendAll(fd, text.data(), text.size()); }

std::string ReadReply(int fd) {
  uint8_t header[8];
  if (!RecvAll(fd, header, sizeof header)) return {};
  uint64_t length = 0;
  for (uint8_t b : header) length = length << 8 | b;
  if (length > 4096) return {};
  std::string reply(length, '\0');
  if (!RecvAll(fd, reply.data(), reply.size())) return {};
  return reply;
}

int Connect(const std::string& endpoint, std::string& error) {
  // tcp:HOST:PORT as the simulator publishes it.
  const size_t colon = endpoint.rfind(':');
  const std::string host = endpoint.substr(4, colon - 4);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(std::stoi(endpoint.substr(colon + 1))));
  inet_pton(AF_INET, host.c_str(), &addr.sin_addr);
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    error = "cannot connect to " + endpoint;
    if (fd >= 0) close(fd);
    return -1;
  }
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  char answer[4];
  if (!SendAll(fd, "FB01", 4) || !RecvAll(fd, answer, 4) || std::memcmp(answer, "FB", 2) != 0) {
    error = "no fastboot handshake";
    close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

double RawSinkSeconds(const std::string& endpoint, uint64_t size, const std::string& partition, std::string& error) {
  int fd = Connect(endpoint, error);
  if (fd < 0) return -1;
  std::vector<uint8_t> chunk(kChunk);
  for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<uint8_t>(i * 31);
  char command[32];
  std::snprintf(command, sizeof command, "download:%08llx", static_cast<unsigned long long>(size));
  const auto t0 = std::chrono::steady_clock::now();
  bool ok = SendMessage(fd, command) && ReadReply(fd).rfind("DATA", 0) == 0 && SendHeader(fd, size);
  for (uint64_t left = size; ok && left > 0;) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(left, chunk.size()));
    ok = SendAll(fd, chunk.data(), n);
    left -= n;
  }
  ok = ok && ReadReply(fd).rfind("OKAY", 0) == 0 && SendMessage(fd, "flash:" + partition) &&
       ReadReply(fd).rfind("OKAY", 0) == 0;
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  close(fd);
  if (!ok) {
    error = "the raw download was not accepted";
    return -1;
  }
  return seconds;
}

}  // namespace upwend::bench
