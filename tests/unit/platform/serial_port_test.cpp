// The system's serial port against a live line: the peer plays the device (see serial_peer.h).
// The same cases run against the POSIX port on Linux and against the Windows port under Wine;
// where Wine's serial emulation differs from Windows, the case says so and is skipped there.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <numeric>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/last_error.h"
#include "platform/serial_port.h"
#include "tests/support/poll_until.h"
#include "tests/support/serial_peer.h"

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace upwend {
namespace {

using namespace std::chrono_literals;
using testing::PollUntil;

// 1 logical second = 50 ms real: long enough to tell "at once" from "after the time-out" on a
// loaded machine, short enough for a unit test.
constexpr double kScale = 0.05;

constexpr CommTimeouts kDiagTimeouts{kMaxDword, kMaxDword, 5000, 1, 1000};
constexpr CommTimeouts kAtTimeouts{kMaxDword, 0, 0, 100, 1000};

class SerialPortTest : public ::testing::Test {
protected:
  void SetUp() override {
    std::string whyNot;
    peer_ = StartSerialPeer(whyNot);
    ASSERT_TRUE(peer_) << whyNot;
  }

  std::unique_ptr<SerialPort> NewPort() { return CreateSerialPort(clock_, peer_->Resolver()); }
  std::unique_ptr<SerialPort> OpenPort(const CommTimeouts& timeouts) {
    auto port = NewPort();
    EXPECT_TRUE(port->Open(peer_->PortName())) << port->LastError();
    EXPECT_TRUE(port->SetTimeouts(timeouts));
    return port;
  }

  void DeviceSends(const std::vector<uint8_t>& bytes) { ASSERT_TRUE(peer_->Send(bytes)); }
  // The line hands bytes over asynchronously; wait until the port sees them queued.
  void WaitQueued(SerialPort& port, uint32_t count) {
    CommErrors e;
    ASSERT_TRUE(PollUntil([&] { return port.ClearError(e) && e.inQueue >= count; })) << "bytes never arrived";
  }
  template <typename Until>
  bool PortSideQueueReaches(Until until) {
    return PollUntil([&] {
      int queued = peer_->PortSideQueued();
      return queued >= 0 && until(queued);
    });
  }
  std::vector<uint8_t> DeviceReceives(size_t count) { return peer_->Receive(count, 10000); }
  void ExpectVanishedDeviceFails(const CommTimeouts& timeouts);

  ScaledClock clock_{kScale};
  std::unique_ptr<SerialPeer> peer_;
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
  ASSERT_TRUE(port->SetState(state));
  CommState back;
  ASSERT_TRUE(port->GetState(back));
  EXPECT_EQ(back.baudRate, 115200u);
  EXPECT_EQ(back.stopBits, StopBits::Two);
  EXPECT_EQ(back.dtrControl, LineControl::Enable);

  state.byteSize = 8;
  state.parity = Parity::None;
  state.stopBits = StopBits::One;
  ASSERT_TRUE(port->SetState(state));
  CommState bad = state;
  bad.byteSize = 9;
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

TEST_F(SerialPortTest, FlagsRoundTripAndUnsupportedBaudRatesAreRefused) {
  if (SerialPortIsWine())
    GTEST_SKIP() << "Wine keeps no abort-on-error flag and takes any baud rate on a pseudo-terminal";
  auto port = OpenPort(kAtTimeouts);
  CommState state;
  ASSERT_TRUE(port->GetState(state));
  state.abortOnError = true;
  ASSERT_TRUE(port->SetState(state));
  CommState back;
  ASSERT_TRUE(port->GetState(back));
  EXPECT_TRUE(back.abortOnError);
  state.baudRate = 123457;
  EXPECT_FALSE(port->SetState(state));
  EXPECT_EQ(port->LastError(), kErrorInvalidParameter);
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
  ASSERT_TRUE(first->Open(peer_->PortName()));
  auto second = NewPort();
  SetLastSystemError(0);
  EXPECT_FALSE(second->Open(peer_->PortName()));
  EXPECT_EQ(second->LastError(), kErrorAccessDenied);
  EXPECT_EQ(GetLastSystemError(), kErrorAccessDenied);
  ASSERT_TRUE(first->Close());
  EXPECT_FALSE(first->IsOpen());
  EXPECT_TRUE(second->Open(peer_->AliasName()));
}

TEST_F(SerialPortTest, TheSameDeviceUnderAnotherNameIsRefusedToo) {
  if (SerialPortIsWine()) GTEST_SKIP() << "Wine lets a port that is open be opened again (Windows refuses it with 5)";
  auto first = NewPort();
  ASSERT_TRUE(first->Open(peer_->PortName()));
  auto second = NewPort();
  EXPECT_FALSE(second->Open(peer_->AliasName()));
  EXPECT_EQ(second->LastError(), kErrorAccessDenied);
}

TEST_F(SerialPortTest, AnotherProcessIsRefused) {
#ifdef _WIN32
  GTEST_SKIP() << "Wine lets another process open a port that is open (Windows refuses it with 5)";
#else
  auto first = NewPort();
  ASSERT_TRUE(first->Open(peer_->PortName()));
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    auto port = NewPort();
    _exit(port->Open(peer_->PortName()) ? 1 : (port->LastError() == kErrorAccessDenied ? 0 : 2));
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
#endif
}

TEST_F(SerialPortTest, UnknownNamesAndClosedPortsFailWithWindowsCodes) {
  auto port = NewPort();
  EXPECT_FALSE(port->Open(peer_->UnmappedName()));
  EXPECT_EQ(port->LastError(), kErrorFileNotFound);
  EXPECT_FALSE(port->Open("LPT1"));
  EXPECT_EQ(port->LastError(), kErrorFileNotFound);
  EXPECT_FALSE(port->Open(peer_->DanglingName())) << "a name whose device node is missing";
  EXPECT_EQ(port->LastError(), kErrorFileNotFound);

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

  ASSERT_TRUE(port->Open(peer_->PortName()));
  EXPECT_FALSE(port->Open(peer_->PortName())) << "an open handle is not silently replaced";
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

// The device goes while a read waits: the last byte before it went is still delivered, then
// the read fails, and so does a write. The byte is queued before the reader starts and the device
// goes only once the reader has taken it, so the read is sure to be holding 'x' and waiting for
// more when that happens.
void SerialPortTest::ExpectVanishedDeviceFails(const CommTimeouts& timeouts) {
  auto port = OpenPort(timeouts);
  DeviceSends({'x'});
  ASSERT_TRUE(PortSideQueueReaches([](int n) { return n >= 1; })) << "the byte never arrived";
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
  ASSERT_TRUE(PortSideQueueReaches([](int n) { return n == 0; })) << "the reader never took the byte";
  ASSERT_TRUE(peer_->Hangup());
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

TEST_F(SerialPortTest, VanishedDeviceFailsTheDiagRead) { ExpectVanishedDeviceFails(kDiagTimeouts); }

TEST_F(SerialPortTest, VanishedDeviceFailsInsteadOfHangingWithoutTimeouts) {
  if (SerialPortIsWine())
    GTEST_SKIP() << "Wine's ReadFile without time-outs keeps waiting when the line hangs up";
  // No time-outs at all: a read and a write would wait forever for a live device.
  ExpectVanishedDeviceFails({0, 0, 0, 0, 0});
}

}  // namespace
}  // namespace upwend
