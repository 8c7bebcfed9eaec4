#include "tests/support/pty_responder.h"

#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>

namespace upwend::testing {

PtyResponder::PtyResponder(FakeDiagDevice& device) : device_(device) {
  char name[256] = {};
  termios raw{};
  cfmakeraw(&raw);
  if (openpty(&master_, &slave_, name, &raw, nullptr) != 0) {
    master_ = slave_ = -1;
    return;
  }
  slavePath_ = name;
  thread_ = std::thread([this] { Run(); });
}

PtyResponder::~PtyResponder() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (master_ >= 0) close(master_);
  if (slave_ >= 0) close(slave_);
}

void PtyResponder::Run() {
  ReferenceDeframer deframer;
  uint8_t buffer[4096];
  while (!stop_) {
    pollfd p{master_, POLLIN, 0};
    if (poll(&p, 1, 20) <= 0 || !(p.revents & POLLIN)) continue;
    const ssize_t got = read(master_, buffer, sizeof buffer);
    if (got <= 0) continue;
    for (const Bytes& request : deframer.Feed(buffer, static_cast<size_t>(got))) {
      const auto begin = std::chrono::steady_clock::now();
      if (auto reply = device_.Handle(request)) {
        const Bytes framed = ReferenceFrame(*reply);
        size_t done = 0;
        while (done < framed.size()) {
          const ssize_t put = write(master_, framed.data() + done, framed.size() - done);
          if (put <= 0) break;
          done += static_cast<size_t>(put);
        }
      }
      replyNanos_ += static_cast<uint64_t>(
          std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - begin).count());
    }
  }
}

}  // namespace upwend::testing
