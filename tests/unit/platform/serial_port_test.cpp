// The POSIX serial port against real pseudo-terminals: the test holds the master side and plays
// the device; the port under test opens the slave by a COM name.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <numeric>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/last_error.h"
#include "platform/serial_port.h"

namespace upwend {
namespace {

using namespace std::chrono_literals;

// 1 logical second = 50 ms real: long enough to tell "at once" from "after the time-out" on a
// loaded machine, short enough for a unit test.
constexpr double kScale = 0.05;

constexpr CommTimeouts kDiagTimeouts{kMaxDword, kMaxDword, 5000, 1, 1000};
constexpr CommTimeouts kAtTimeouts{kMaxDword, 0, 0, 100, 1000};

class SerialPortTest : public ::testing::Test {
protected:
  void SetUp() override {
    char name[256] = {};
    ASSERT_EQ(openpty(&master_, &slave_, name, nullptr, nullptr), 0);
    slavePath_ = name;
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  }
  void TearDown() override {
    if (master_ >= 0) close(master_);
    if (slave_ >= 0) close(slave_);
  }

  PortResolver Resolver() {
    return [this](const std::string& name) -> std::optional<std::string> {
      if (name == "COM5" || name == "COM12") return slavePath_;
      return std::nullopt;
    };
  }
  std::unique_ptr<SerialPort> NewPort() { return CreatePosixSerialPort(clock_, Resolver()); }
  std::unique_ptr<SerialPort> OpenPort(const CommTimeouts& timeouts) {
    auto port = NewPort();
    EXPECT_TRUE(port->Open("COM5")) << port->LastError();
    EXPECT_TRUE(port->SetTimeouts(timeouts));
    return port;
  }

  void DeviceSends(const std::vector<uint8_t>& bytes) {
    ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  // The pty hands bytes to the slave asynchronously; wait until the port sees them queued.
  void WaitQueued(SerialPort& port, uint32_t count) {
    for (int i = 0; i < 2000; ++i) {
      CommErrors e;
      ASSERT_TRUE(port.ClearError(e));
      if (e.inQueue >= count) return;
      std::this_thread::sleep_for(1ms);
    }
    FAIL() << "bytes never arrived";
  }
  // Polls the bytes queued for the port's side of the line until `until` holds them (10 s at most).
  template <typename Until>
  bool SlaveQueueReaches(Until until) {
    auto deadline = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < deadline) {
      int queued = 0;
      if (ioctl(slave_, FIONREAD, &queued) == 0 && until(queued)) return true;
      std::this_thread::sleep_for(1ms);
    }
    return false;
  }
  std::vector<uint8_t> DeviceReceives(size_t count) {
    std::vector<uint8_t> got;
    for (int i = 0; i < 2000 && got.size() < count; ++i) {
      uint8_t buf[4096];
      ssize_t n = read(master_, buf, sizeof buf);
      if (n > 0) got.insert(got.end(), buf, buf + n);
      else std::this_thread::sleep_for(1ms);
    }
    return got;
  }

  ScaledClock clock_{kScale};
  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
};

TEST_F(SerialPortTest, DiagReadReturnsWhatHasArrivedOrWaitsForTheFirstByte) {
  auto port = OpenPort(kDiagTimeouts);
  uint8_t buf[9];
  uint32_t done = 99;

  DeviceSends({0x7E, 0x01});
  WaitQueued(*port, 2);
  uint64_t t0 = clock_.NowMs();
  ASSERT_TRUE(port->Read(buf, 9, done));
  EXPECT_EQ(done, 2u);
  EXPECT_EQ(buf[0], 0x7E);
  EXPECT_LT(clock_.NowMs() - t0, 4900u) << "two bytes had arrived; the read must not wait for the constant";

  t0 = clock_.NowMs();
  ASSERT_TRUE(port->Read(buf, 9, done));
  EXPECT_EQ(done, 0u);
  EXPECT_GE(clock_.NowMs() - t0, 5000u);
  EXPECT_LT(clock_.NowMs() - t0, 40000u);

  // Bytes that arrive during the wait end it at once.
  auto sender = std::async(std::launch::async, [&] {
    clock_.SleepMs(1000);
    DeviceSends({1, 2, 3});
  });
  t0 = clock_.NowMs();
  ASSERT_TRUE(port->Read(buf, 9, done));
  sender.get();
  EXPECT_GE(done, 1u);
  EXPECT_LT(clock_.NowMs() - t0, 4900u);  // ended by the bytes, before the constant ran out
}

TEST_F(SerialPortTest, AtModeReadNeverWaits) {
  auto port = OpenPort(kAtTimeouts);
  uint8_t buf[128];
  uint32_t done = 99;
  uint64_t t0 = clock_.NowMs();
  ASSERT_TRUE(port->Read(buf, sizeof buf, done));
  EXPECT_EQ(done, 0u);
  EXPECT_LT(clock_.NowMs() - t0, 1000u);

  DeviceSends({'O', 'K', '\r', '\n'});
  WaitQueued(*port, 4);
  ASSERT_TRUE(port->Read(buf, sizeof buf, done));
  EXPECT_EQ(std::string(buf, buf + done), "OK\r\n");
}

TEST_F(SerialPortTest, GeneralReadHonoursTotalAndIntervalTimeouts) {
  uint8_t buf[9];
  uint32_t done = 0;
  {
    // Total only: nothing arrives, so the read ends after multiplier * len + constant.
    auto port = OpenPort({0, 100, 1000, 0, 0});
    uint64_t t0 = clock_.NowMs();
    ASSERT_TRUE(port->Read(buf, 9, done));
    EXPECT_EQ(done, 0u);
    EXPECT_GE(clock_.NowMs() - t0, 1900u);
  }
  {
    // Interval only: three bytes then silence; the read ends one interval after the last byte
    // instead of waiting for all nine forever.
    auto port = OpenPort({800, 0, 0, 0, 0});
    DeviceSends({1, 2, 3});
    uint64_t t0 = clock_.NowMs();
    ASSERT_TRUE(port->Read(buf, 9, done));
    EXPECT_EQ(done, 3u);
    EXPECT_GE(clock_.NowMs() - t0, 800u);
    EXPECT_LT(clock_.NowMs() - t0, 20000u);
  }
  {
    // A read that gets all it asked for returns without waiting for any time-out.
    auto port = OpenPort({0, 1000, 20000, 0, 0});
    DeviceSends({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    uint64_t t0 = clock_.NowMs();
    ASSERT_TRUE(port->Read(buf, 9, done));
    EXPECT_EQ(done, 9u);
    EXPECT_LT(clock_.NowMs() - t0, 10000u);
  }
}

TEST_F(SerialPortTest, LineIsRawAndSettingsRoundTrip) {
  auto port = OpenPort(kAtTimeouts);
  CommState state;
  ASSERT_TRUE(port->GetState(state));
  // A pseudo-terminal keeps no character size or parity, so those are not read back here.
  state.baudRate = 115200;
  state.byteSize = 7;
  state.parity = Parity::Even;
  state.stopBits = StopBits::Two;
  state.dtrControl = LineControl::Enable;
  state.abortOnError = true;
  ASSERT_TRUE(port->SetState(state));
  CommState back;
  ASSERT_TRUE(port->GetState(back));
  EXPECT_EQ(back.baudRate, 115200u);
  EXPECT_EQ(back.stopBits, StopBits::Two);
  EXPECT_EQ(back.dtrControl, LineControl::Enable);
  EXPECT_TRUE(back.abortOnError);

  state.byteSize = 8;
  state.parity = Parity::None;
  state.stopBits = StopBits::One;
  ASSERT_TRUE(port->SetState(state));
  CommState bad = state;
  bad.baudRate = 123457;
  EXPECT_FALSE(port->SetState(bad));
  EXPECT_EQ(port->LastError(), kErrorInvalidParameter);

  // Every byte value passes unchanged both ways: no CR/LF translation, no echo, no signal or
  // flow-control characters taken out (DIAG frames are binary).
  std::vector<uint8_t> all(256);
  std::iota(all.begin(), all.end(), 0);
  DeviceSends(all);
  WaitQueued(*port, 256);
  uint8_t buf[300];
  uint32_t done = 0;
  ASSERT_TRUE(port->Read(buf, sizeof buf, done));
  EXPECT_EQ(std::vector<uint8_t>(buf, buf + done), all);
  ASSERT_TRUE(port->Write(all.data(), 256, done));
  EXPECT_EQ(done, 256u);
  EXPECT_EQ(DeviceReceives(256), all);
}

TEST_F(SerialPortTest, PurgeEmptiesTheQueueThatClearErrorCounts) {
  auto port = OpenPort(kAtTimeouts);
  DeviceSends({'a', 'b', 'c'});
  WaitQueued(*port, 3);
  CommErrors e;
  ASSERT_TRUE(port->ClearError(e));
  EXPECT_EQ(e.inQueue, 3u);
  EXPECT_EQ(e.flags, 0u);
  uint32_t flags = 99;
  ASSERT_TRUE(port->ClearErrorFlags(flags));
  EXPECT_EQ(flags, 0u);
  ASSERT_TRUE(port->Purge(kPurgeTxAbort | kPurgeTxClear));
  ASSERT_TRUE(port->ClearError(e));
  EXPECT_EQ(e.inQueue, 3u) << "the transmit purge must leave received bytes alone";
  ASSERT_TRUE(port->Purge(kPurgeRxAbort | kPurgeRxClear));
  ASSERT_TRUE(port->ClearError(e));
  EXPECT_EQ(e.inQueue, 0u);
  uint8_t buf[8];
  uint32_t done = 9;
  ASSERT_TRUE(port->Read(buf, sizeof buf, done));
  EXPECT_EQ(done, 0u);
  // Both queues at once, as before every DIAG request.
  DeviceSends({'d', 'e'});
  WaitQueued(*port, 2);
  ASSERT_TRUE(port->Purge(kPurgeTxAbort | kPurgeRxAbort | kPurgeTxClear | kPurgeRxClear));
  ASSERT_TRUE(port->Read(buf, sizeof buf, done));
  EXPECT_EQ(done, 0u);
  EXPECT_FALSE(port->Purge(0x10));
  EXPECT_EQ(port->LastError(), kErrorInvalidParameter);
}

TEST_F(SerialPortTest, SecondOpenerIsRefusedUntilTheFirstCloses) {
  auto first = NewPort();
  ASSERT_TRUE(first->Open("COM5"));
  auto second = NewPort();
  SetLastSystemError(0);
  EXPECT_FALSE(second->Open("COM5"));
  EXPECT_EQ(second->LastError(), kErrorAccessDenied);
  EXPECT_EQ(GetLastSystemError(), kErrorAccessDenied);
  // The same device under another name is still the same device.
  EXPECT_FALSE(second->Open("\\\\.\\COM12"));
  EXPECT_EQ(second->LastError(), kErrorAccessDenied);

  // Another process is refused as well.
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ScaledClock clock(kScale);
    auto port = CreatePosixSerialPort(clock, Resolver());
    _exit(port->Open("COM5") ? 1 : (port->LastError() == kErrorAccessDenied ? 0 : 2));
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

  ASSERT_TRUE(first->Close());
  EXPECT_FALSE(first->IsOpen());
  EXPECT_TRUE(second->Open("\\\\.\\COM12"));
}

TEST_F(SerialPortTest, UnknownNamesAndClosedPortsFailWithWindowsCodes) {
  auto port = NewPort();
  EXPECT_FALSE(port->Open("COM6"));  // the resolver knows no such port
  EXPECT_EQ(port->LastError(), kErrorFileNotFound);
  EXPECT_FALSE(port->Open("LPT1"));
  EXPECT_EQ(port->LastError(), kErrorFileNotFound);
  auto noNode = CreatePosixSerialPort(clock_, [](const std::string&) { return std::string("/nonexistent/tty"); });
  EXPECT_FALSE(noNode->Open("COM5"));
  EXPECT_EQ(noNode->LastError(), kErrorFileNotFound);

  uint8_t buf[4];
  uint32_t done = 7;
  CommState state;
  EXPECT_FALSE(port->Read(buf, 4, done));
  EXPECT_EQ(done, 0u);
  EXPECT_EQ(port->LastError(), kErrorInvalidHandle);
  EXPECT_FALSE(port->Write(buf, 4, done));
  EXPECT_FALSE(port->GetState(state));
  uint32_t flags = 0;
  EXPECT_FALSE(port->ClearErrorFlags(flags));
  EXPECT_EQ(port->LastError(), kErrorInvalidHandle);
  EXPECT_FALSE(port->Close());
  EXPECT_EQ(GetLastSystemError(), kErrorInvalidHandle);

  ASSERT_TRUE(port->Open("COM5"));
  EXPECT_FALSE(port->Open("COM5")) << "an open handle is not silently replaced";
  EXPECT_TRUE(port->IsOpen());
}

TEST_F(SerialPortTest, WriteTimesOutWithAPartialCount) {
  auto port = OpenPort({kMaxDword, 0, 0, 0, 1500});
  // Nobody reads the master side, so the pty fills up and the write has to stop at its time-out.
  std::vector<uint8_t> big(4 << 20, 0x55);
  uint32_t done = 0;
  uint64_t t0 = clock_.NowMs();
  ASSERT_TRUE(port->Write(big.data(), static_cast<uint32_t>(big.size()), done));
  EXPECT_GT(done, 0u);
  EXPECT_LT(done, big.size());
  EXPECT_GE(clock_.NowMs() - t0, 1500u);
  EXPECT_LT(clock_.NowMs() - t0, 40000u);
}

TEST_F(SerialPortTest, VanishedDeviceFailsInsteadOfHanging) {
  // No time-outs at all: a read and a write would wait forever for a live device.
  auto port = OpenPort({0, 0, 0, 0, 0});
  // The last byte before the device went is still delivered; then the read fails. The byte is
  // queued before the reader starts and the device goes only once the reader has taken it, so
  // the read is sure to be holding 'x' and waiting for more when that happens.
  DeviceSends({'x'});
  ASSERT_TRUE(SlaveQueueReaches([](int n) { return n >= 1; })) << "the byte never arrived";
  auto reader = std::async(std::launch::async, [&] {
    std::string got;
    for (int i = 0; i < 10; ++i) {
      uint8_t buf[16];
      uint32_t done = 0;
      bool ok = port->Read(buf, sizeof buf, done);
      got.append(buf, buf + done);
      if (!ok) break;
    }
    return std::make_pair(got, port->LastError());
  });
  ASSERT_TRUE(SlaveQueueReaches([](int n) { return n == 0; })) << "the reader never took the byte";
  close(master_);
  master_ = -1;
  ASSERT_EQ(reader.wait_for(5s), std::future_status::ready) << "read hung after the device vanished";
  auto [got, error] = reader.get();
  EXPECT_EQ(got, "x");
  EXPECT_EQ(error, kErrorDeviceRemoved);

  auto writer = std::async(std::launch::async, [&] {
    std::vector<uint8_t> data(1 << 20, 1);
    uint32_t done = 0;
    return port->Write(data.data(), static_cast<uint32_t>(data.size()), done);
  });
  ASSERT_EQ(writer.wait_for(5s), std::future_status::ready) << "write hung after the device vanished";
  EXPECT_FALSE(writer.get());
  EXPECT_EQ(port->LastError(), kErrorDeviceRemoved);
  EXPECT_TRUE(port->Close());
}

}  // namespace
}  // namespace upwend
