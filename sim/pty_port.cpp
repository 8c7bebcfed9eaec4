#include "sim/pty_port.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "sim/waits.h"

namespace upwend::sim {

PtyPort::PtyPort(Clock& clock, Handler handler, ActionSink onAction)
    : clock_(clock), handler_(std::move(handler)), onAction_(std::move(onAction)) {}

PtyPort::~PtyPort() { Close(); }

bool PtyPort::Open(std::string& error) {
  termios raw{};
  cfmakeraw(&raw);
  cfsetispeed(&raw, B115200);
  cfsetospeed(&raw, B115200);
  char name[256] = {};
  // Raw from the start: no echo, no line editing, no CR/LF translation by the line discipline.
  if (openpty(&master_, &slave_, name, &raw, nullptr) != 0) {
    error = std::string("openpty failed: ") + std::strerror(errno);
    return false;
  }
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  fcntl(master_, F_SETFD, FD_CLOEXEC);
  fcntl(slave_, F_SETFD, FD_CLOEXEC);
  slavePath_ = name;
  return true;
}

void PtyPort::Start() {
  service_.Start([this] { Run(); });
}

void PtyPort::Close() {
  service_.Stop();
  if (master_ >= 0) close(master_);
  if (slave_ >= 0) close(slave_);
  master_ = slave_ = -1;
}

void PtyPort::Flush() {
  while (!pending_.empty()) {
    ssize_t n = write(master_, pending_.data(), pending_.size());
    if (n <= 0) return;  // full (EAGAIN) or gone: try again later
    pending_.erase(0, static_cast<size_t>(n));
  }
}

void PtyPort::Run() {
  std::vector<uint8_t> buf(4096);
  while (!service_.stopping()) {
    pollfd p{master_, static_cast<short>(POLLIN | (pending_.empty() ? 0 : POLLOUT)), 0};
    int n = poll(&p, 1, 20);
    if (n < 0 && errno != EINTR) break;
    if (n <= 0) continue;
    if (p.revents & POLLOUT) Flush();
    if (!(p.revents & POLLIN)) continue;
    ssize_t got = read(master_, buf.data(), buf.size());
    if (got <= 0) continue;
    for (auto& out : handler_(buf.data(), static_cast<size_t>(got))) {
      if (out.delayMs > 0 && !WaitLogical(clock_, out.delayMs, service_.stopFlag())) return;
      if (pending_.size() + out.bytes.size() <= kMaxPending) pending_ += out.bytes;
      Flush();
      if (out.action != DeviceAction::None && onAction_) onAction_(out.action);
    }
  }
}

}  // namespace upwend::sim
