// The peer on Linux: a pseudo-terminal whose master side the test holds. The slave stays open
// here as well, so the bytes waiting for the port can be counted.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>

#include "tests/support/serial_peer.h"

namespace upwend {
namespace {

class PtyPeer final : public SerialPeer {
public:
  PtyPeer(int master, int slave, std::string slavePath) : master_(master), slave_(slave), slavePath_(std::move(slavePath)) {}
  ~PtyPeer() override {
    if (master_ >= 0) close(master_);
    close(slave_);
  }

  std::string PortName() const override { return "COM5"; }
  std::string AliasName() const override { return "\\\\.\\COM12"; }
  std::string UnmappedName() const override { return "COM6"; }
  std::string DanglingName() const override { return "COM7"; }
  PortResolver Resolver() const override {
    return [path = slavePath_](const std::string& name) -> std::optional<std::string> {
      if (name == "COM5" || name == "COM12") return path;
      if (name == "COM7") return std::string("/nonexistent/tty");
      return std::nullopt;
    };
  }

  bool Send(const std::vector<uint8_t>& bytes) override {
    return write(master_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  }

  std::vector<uint8_t> Receive(size_t count, int realMs) override {
    std::vector<uint8_t> got;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(realMs);
    while (got.size() < count) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      pollfd p{master_, POLLIN, 0};
      if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
      uint8_t buf[4096];
      ssize_t n = read(master_, buf, std::min(sizeof buf, count - got.size()));
      if (n <= 0) break;
      got.insert(got.end(), buf, buf + n);
    }
    return got;
  }

  int PortSideQueued() override {
    int queued = 0;
    return ioctl(slave_, FIONREAD, &queued) == 0 ? queued : -1;
  }

  bool Hangup() override {
    if (master_ < 0) return false;
    close(master_);
    master_ = -1;
    return true;
  }

private:
  int master_;
  int slave_;
  std::string slavePath_;
};

}  // namespace

std::unique_ptr<SerialPeer> StartSerialPeer(std::string& whyNot) {
  int master = -1, slave = -1;
  char name[256] = {};
  if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
    whyNot = "openpty failed";
    return nullptr;
  }
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  return std::make_unique<PtyPeer>(master, slave, name);
}

bool SerialPortIsWine() { return false; }

}  // namespace upwend
