// The DIAG transport and framing over pseudo-terminals with the platform serial port: the test
// holds the master side and plays the device on a thread of its own.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

#include "engine/diag/diag_framing.h"
#include "engine/diag/diag_transport.h"
#include "platform/clock.h"
#include "tests/support/poll_until.h"
#include "tests/support/reference_hdlc.h"
#include "tests/support/scripted_port.h"
#include "tests/unit/engine/diag/support/fake_worker.h"

namespace upwend::test {
namespace {

using namespace std::chrono_literals;

// 1 logical second = 50 ms real.
constexpr double kScale = 0.05;

struct Piece {
  std::chrono::milliseconds delay;  // real time before the piece is written
  Bytes bytes;
};

class PtyDevice {
public:
  PtyDevice() {
    char name[256] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) == 0) {
      path_ = name;
      fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    }
  }
  ~PtyDevice() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (master_ >= 0) close(master_);
    if (slave_ >= 0) close(slave_);
  }
  bool ok() const { return master_ >= 0; }
  const std::string& path() const { return path_; }

  // Answers each complete request frame (ending in a flag) with the pieces `answer` gives.
  void Serve(std::function<std::vector<Piece>(const Bytes& request)> answer) {
    thread_ = std::thread([this, answer] {
      Bytes pending;
      while (!stop_) {
        pollfd p{master_, POLLIN, 0};
        if (poll(&p, 1, 10) <= 0) continue;
        uint8_t buf[512];
        const ssize_t n = read(master_, buf, sizeof buf);
        if (n <= 0) continue;
        for (ssize_t i = 0; i < n; ++i) {
          pending.push_back(buf[i]);
          if (buf[i] != 0x7E || pending.size() < 2) continue;
          {
            std::lock_guard lock(mutex_);
            requests_.push_back(pending);
          }
          for (const Piece& piece : answer(pending)) {
            std::this_thread::sleep_for(piece.delay);
            Send(piece.bytes);
          }
          pending.clear();
        }
      }
    });
  }
  void Send(const Bytes& bytes) {
    size_t off = 0;
    while (off < bytes.size()) {
      const ssize_t n = write(master_, bytes.data() + off, bytes.size() - off);
      if (n > 0) off += static_cast<size_t>(n);
      else std::this_thread::sleep_for(1ms);
    }
  }
  // Polls until `count` bytes wait on the port's side of the line (10 s at most): the pty hands
  // them over asynchronously.
  bool Queued(int count) {
    return testing::PollUntil(
        [&] {
          int queued = 0;
          return ioctl(slave_, FIONREAD, &queued) == 0 && queued >= count;
        },
        10s);
  }
  std::vector<Bytes> Requests() {
    std::lock_guard lock(mutex_);
    return requests_;
  }

private:
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<Bytes> requests_;
};

class PtyTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(device.ok());
    transport.config().comPort = 5;
    transport.config().projectType = 1013;
    ASSERT_TRUE(transport.OpenDiagPort());
    worker.lines.clear();
  }
  uint64_t Now() const { return clock.NowMs(); }

  PtyDevice device;
  ScaledClock clock{kScale};
  FakeWorker worker{clock};
  DiagTransport transport{worker, [this] {
                            return CreatePosixSerialPort(clock, [this](const std::string& name) -> std::optional<std::string> {
                              if (name == "COM5") return device.path();
                              return std::nullopt;
                            });
                          }};
  std::unique_ptr<DiagFraming> framing = std::make_unique<DiagFraming>(worker, transport);
};

TEST_F(PtyTest, ResetRequestAndItsAcknowledgement) {
  device.Serve([](const Bytes&) { return std::vector<Piece>{{20ms, Frame({0x0C})}}; });
  EXPECT_EQ(framing->SendStreamReset(), 0);
  ASSERT_EQ(device.Requests().size(), 1u);
  EXPECT_EQ(Hex(device.Requests()[0]), "7E 0B AB 4E 7E");
}

TEST_F(PtyTest, PowerOffReplyInPieces) {
  device.Serve([](const Bytes&) {
    Bytes reply = Frame({0x12});
    return std::vector<Piece>{{10ms, Bytes(reply.begin(), reply.begin() + 2)}, {30ms, Bytes(reply.begin() + 2, reply.end())}};
  });
  EXPECT_EQ(framing->SendStreamPowerOff(), 0);
  EXPECT_EQ(Hex(device.Requests().at(0)), "7E 11 70 F1 7E");
}

TEST_F(PtyTest, ReadReturnsEarlyOrAfterTheFirstByteWait) {
  uint8_t buffer[16];
  device.Send({0xAA, 0xBB});
  ASSERT_TRUE(device.Queued(2));
  uint64_t begin = Now();
  EXPECT_EQ(transport.ReadDiag(buffer, 9), 2);
  EXPECT_LT(Now() - begin, 500u);
  begin = Now();
  EXPECT_EQ(transport.ReadDiag(buffer, 9), 0);
  EXPECT_GE(Now() - begin, 1000u);
  EXPECT_LT(Now() - begin, 2000u);
}

TEST_F(PtyTest, SilentPortEndsTheTimedReceive) {
  const uint64_t begin = Now();
  EXPECT_EQ(framing->ReceiveAckTimed(), kRxAckTimeout);
  EXPECT_GE(Now() - begin, 5000u);
  EXPECT_LT(Now() - begin, 7500u);
}

TEST_F(PtyTest, ExchangeWithEscapedReplyAfterALateStart) {
  // The first request is left unanswered; the second one gets a reply full of escapes.
  device.Serve([count = 0](const Bytes&) mutable {
    if (++count == 1) return std::vector<Piece>{};
    return std::vector<Piece>{{5ms, Frame({0x26, 0x7E, 0x7D, 0x7E, 0x00})}};
  });
  const uint8_t request[] = {0x26, 0x7E, 0x00};
  ExchangeResult r = framing->Exchange(request, {ReplyReader::kFrame, 3, 0, 100},
                                       [](const Reply& reply) { return reply.result > 0 && reply.bytes.size() == 7; });
  EXPECT_TRUE(r.passed);
  EXPECT_EQ(r.attempts, 2);
  EXPECT_EQ(Hex(Bytes(r.last.bytes.begin(), r.last.bytes.begin() + 5)), "26 7E 7D 7E 00");
  EXPECT_EQ(Hex(device.Requests().at(0)), Hex(Frame({0x26, 0x7E, 0x00}, false)));
}

TEST_F(PtyTest, PortsThatCannotBeOpened) {
  FakeWorker other{clock};
  DiagTransport second{other, [this] {
                         return CreatePosixSerialPort(clock, [this](const std::string&) -> std::optional<std::string> {
                           return device.path();
                         });
                       }};
  second.config().comPort = 5;
  EXPECT_FALSE(second.OpenDiagPort());  // held exclusively by the first transport
  second.config().serialComPort = 5;
  EXPECT_FALSE(second.OpenAtPort());
  EXPECT_EQ(other.raised, (std::vector<std::string>{"Fail to connect serial port"}));
  transport.CloseDiagPort("Warning-7");
  EXPECT_TRUE(second.OpenAtPort());
}

}  // namespace
}  // namespace upwend::test
