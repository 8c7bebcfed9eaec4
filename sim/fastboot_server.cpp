#include "sim/fastboot_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "sim/waits.h"

namespace upwend::sim {
namespace {
// A host that stops reading its replies for this long (real time) is dropped.
constexpr int kSendStallMs = 10000;
}  // namespace

FastbootServer::FastbootServer(Clock& clock, StateStore& state, FaultSet& faults, uint64_t maxDownload,
                               ActionSink onAction)
    : clock_(clock), state_(state), faults_(faults), maxDownload_(maxDownload), onAction_(std::move(onAction)) {}

FastbootServer::~FastbootServer() { Close(); }

bool FastbootServer::Open(uint16_t port, std::string& error) {
  listen_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listen_ < 0) {
    error = std::string("socket: ") + std::strerror(errno);
    return false;
  }
  int one = 1;
  setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(listen_, 4) != 0) {
    error = std::string("cannot listen on 127.0.0.1:") + std::to_string(port) + ": " + std::strerror(errno);
    close(listen_);
    listen_ = -1;
    return false;
  }
  socklen_t len = sizeof addr;
  getsockname(listen_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  return true;
}

void FastbootServer::Start() {
  service_.Start([this] { Run(); });
}

void FastbootServer::Close() {
  service_.Stop();
  if (listen_ >= 0) close(listen_);
  listen_ = -1;
}

void FastbootServer::Run() {
  while (!service_.stopping()) {
    pollfd p{listen_, POLLIN, 0};
    if (poll(&p, 1, 20) <= 0) continue;
    int client = accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    Serve(client);
  }
}

bool FastbootServer::SendAll(int client, const std::string& data) {
  size_t done = 0;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kSendStallMs);
  while (done < data.size()) {
    if (service_.stopping() || std::chrono::steady_clock::now() > deadline) return false;
    pollfd p{client, POLLOUT, 0};
    if (poll(&p, 1, 20) <= 0) continue;
    ssize_t n = send(client, data.data() + done, data.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

void FastbootServer::Serve(int client) {
  FastbootSession session(state_, faults_, maxDownload_);
  std::vector<uint8_t> buf(1 << 16);
  uint64_t slowDebt = 0;
  while (!service_.stopping()) {
    pollfd p{client, POLLIN, 0};
    int n = poll(&p, 1, 20);
    if (n < 0 && errno != EINTR) break;
    if (n <= 0) continue;
    ssize_t got = recv(client, buf.data(), buf.size(), 0);
    if (got <= 0) break;  // the host went away, possibly mid-transfer: nothing is flashed
    bool dataPhase = session.InDataPhase();
    std::string out;
    session.Feed(buf.data(), static_cast<size_t>(got), out);
    if (uint64_t rate = faults_.SlowKibPerSecond(); rate > 0 && dataPhase) {
      slowDebt += static_cast<uint64_t>(got);
      uint64_t ms = slowDebt * 1000 / (rate * 1024);
      if (ms > 0) {
        if (!WaitLogical(clock_, ms, service_.stopFlag())) break;
        slowDebt -= ms * rate * 1024 / 1000;
      }
    }
    if (!out.empty()) {
      if (uint64_t latency = faults_.LatencyMs(); latency > 0 && !WaitLogical(clock_, latency, service_.stopFlag())) break;
      if (!SendAll(client, out)) break;
    }
    if (session.WantsClose()) break;
  }
  close(client);
  if (session.Action() != DeviceAction::None && onAction_) onAction_(session.Action());
}

}  // namespace upwend::sim
