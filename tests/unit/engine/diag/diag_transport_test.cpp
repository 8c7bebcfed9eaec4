#include "engine/diag/diag_transport.h"

#include <gtest/gtest.h>

#include "tests/support/reference_hdlc.h"
#include "tests/support/scripted_port.h"
#include "support/fake_worker.h"
#include "platform/manual_clock.h"

namespace upwend::test {
namespace {

class TransportTest : public ::testing::Test {
protected:
  TransportTest() {
    transport.config().comPort = 5;
    transport.config().serialComPort = 6;
    transport.config().projectType = 1013;
    Diag();
    At();
  }
  void TearDown() override { bus.Verify(); }

  ScriptedLine& Diag() { return bus.Line("COM5"); }
  ScriptedLine& At() { return bus.Line("COM6"); }

  ManualClock clock;
  FakeWorker worker{clock};
  ScriptedBus bus{clock};
  DiagTransport transport{worker, bus.Factory()};
};

TEST(TransportNames, PrefixFromPortTen) {
  EXPECT_EQ(DiagTransport::DeviceName(9), "COM9");
  EXPECT_EQ(DiagTransport::DeviceName(10), "\\\\.\\COM10");
  EXPECT_EQ(DiagTransport::DeviceName(12), "\\\\.\\COM12");
}

TEST_F(TransportTest, OpenDiagPortAppliesLineSettingsQueuesAndTimeouts) {
  Diag().state.dtrControl = LineControl::Enable;
  Diag().state.outX = true;
  ASSERT_TRUE(transport.OpenDiagPort());
  EXPECT_TRUE(transport.DiagOpen());
  const CommState& s = Diag().state;
  EXPECT_EQ(s.baudRate, 115200u);
  EXPECT_EQ(s.byteSize, 8);
  EXPECT_EQ(s.dtrControl, LineControl::Disable);
  EXPECT_FALSE(s.outX);
  EXPECT_TRUE(s.binary);
  EXPECT_EQ(Diag().inQueue, 4096u);
  EXPECT_EQ(Diag().timeouts.readIntervalTimeout, kMaxDword);
  EXPECT_EQ(Diag().timeouts.readTotalTimeoutMultiplier, kMaxDword);
  EXPECT_EQ(Diag().timeouts.readTotalTimeoutConstant, 1000u);
  // Transmit side purged before the receive side, after everything else.
  const std::vector<std::string> tail(Diag().log.end() - 2, Diag().log.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"purge 5", "purge 10"}));
  ASSERT_EQ(worker.lines.size(), 2u);
  EXPECT_EQ(worker.lines[0].text, "Opened......");
  EXPECT_EQ(worker.lines[0].status, 0);
  EXPECT_EQ(worker.lines[0].type, 0);
  EXPECT_EQ(worker.lines[1].text, "Initial port successful after reset.");
  EXPECT_EQ(worker.ErrorCode(), 0);
}

TEST_F(TransportTest, DiagTimeoutsAndQueuesFollowProjectAndFastMode) {
  for (int project : {6, 19, 20, 42}) {
    CommTimeouts t = DiagTransport::DiagTimeouts(project);
    EXPECT_EQ(t.readIntervalTimeout, 1000u) << project;
    EXPECT_EQ(t.readTotalTimeoutConstant, 2000u) << project;
    EXPECT_EQ(t.writeTotalTimeoutConstant, 3000u) << project;
  }
  EXPECT_EQ(DiagTransport::DiagTimeouts(7).readIntervalTimeout, kMaxDword);
  transport.config().fastSpeedDownload = true;
  transport.config().blockSize = 65536;
  ASSERT_TRUE(transport.OpenDiagPort());
  EXPECT_EQ(Diag().inQueue, 65536u);
  EXPECT_EQ(Diag().outQueue, 65536u);
}

TEST_F(TransportTest, OpenDiagPortFailureIsSilent) {
  Diag().failOpens = 1;
  EXPECT_FALSE(transport.OpenDiagPort());
  EXPECT_FALSE(transport.DiagOpen());
  EXPECT_TRUE(worker.lines.empty());
  EXPECT_EQ(worker.ErrorCode(), 0);
}

TEST_F(TransportTest, ConfigureGoesOnAfterRefusalsAndKeepsTheFirstError) {
  Diag().failSetup = true;
  Diag().failSetState = true;
  Diag().failTimeouts = true;
  ASSERT_TRUE(transport.OpenDiagPort());
  EXPECT_EQ(worker.Count("warning:SetupComm!"), 1);
  EXPECT_EQ(worker.raised, (std::vector<std::string>{"Could not setup COMM port", "Could not set COMM timeouts"}));
  ASSERT_EQ(worker.errors.size(), 1u);
  EXPECT_EQ(worker.errors[0], "ERROR, Could not setup COMM port, Error code: 87");
  EXPECT_EQ(worker.ErrorCode(), 87);
  // Still purged both ways.
  EXPECT_EQ(Diag().log.back(), "purge 10");
}

TEST_F(TransportTest, SetupCommWarningInFastMode) {
  transport.config().fastSpeedDownload = true;
  Diag().failSetup = true;
  ASSERT_TRUE(transport.OpenDiagPort());
  EXPECT_EQ(worker.Count("warning:SetupComm."), 1);
  EXPECT_EQ(worker.ErrorCode(), 0);
}

TEST_F(TransportTest, ConfigureWithoutOpenPortRaises) {
  transport.ConfigureDiagPort();
  EXPECT_EQ(worker.errors, (std::vector<std::string>{"ERROR, Could not open COMM port, Error code: 6"}));
}

TEST_F(TransportTest, ReopeningAnOpenDiagPortClosesTheOldHandleFirst) {
  ASSERT_TRUE(transport.OpenDiagPort());
  ASSERT_TRUE(transport.OpenDiagPort());
  EXPECT_EQ(Diag().opens, 2);
  EXPECT_EQ(Diag().closes, 1);
  EXPECT_TRUE(Diag().open);
}

TEST_F(TransportTest, OpenAtPortSettingsAndReport) {
  At().state.dtrControl = LineControl::Disable;
  At().state.outX = true;  // kept as the port reports it
  ASSERT_TRUE(transport.OpenAtPort());
  EXPECT_EQ(At().state.dtrControl, LineControl::Enable);
  EXPECT_EQ(At().state.baudRate, 115200u);
  EXPECT_TRUE(At().state.outX);
  EXPECT_EQ(At().timeouts.readIntervalTimeout, kMaxDword);
  EXPECT_EQ(At().timeouts.readTotalTimeoutConstant, 0u);
  EXPECT_EQ(At().timeouts.writeTotalTimeoutMultiplier, 100u);
  EXPECT_EQ(At().log[1], "purge 15");
  EXPECT_EQ(worker.Texts(), (std::vector<std::string>{"Ready 1......"}));
}

TEST_F(TransportTest, OpenAtPortFailures) {
  At().failOpens = 1;
  At().openError = kErrorAccessDenied;
  EXPECT_FALSE(transport.OpenAtPort());
  EXPECT_EQ(worker.errors, (std::vector<std::string>{"ERROR, Fail to connect serial port, Error code: 5"}));

  // Opened but the settings are refused: false, and the handle stays open for a later close.
  FakeWorker second{clock};
  DiagTransport t2{second, bus.Factory()};
  t2.config().serialComPort = 6;
  At().failSetState = true;
  EXPECT_FALSE(t2.OpenAtPort());
  EXPECT_TRUE(t2.AtOpen());
  EXPECT_EQ(second.raised, (std::vector<std::string>{"Fail to config serial port"}));
  t2.CloseAtPort("Warning-9");
  EXPECT_FALSE(t2.AtOpen());
  EXPECT_FALSE(At().open);
}

TEST_F(TransportTest, ReopenAtPortQuietlyReportsNothing) {
  At().failOpens = 1;
  EXPECT_FALSE(transport.ReopenAtPortQuietly());
  At().failSetState = true;
  EXPECT_FALSE(transport.ReopenAtPortQuietly());
  At().failSetState = false;
  EXPECT_TRUE(transport.ReopenAtPortQuietly());
  EXPECT_TRUE(worker.lines.empty());
  EXPECT_EQ(worker.ErrorCode(), 0);
  EXPECT_EQ(At().opens, 2);  // the refused-settings handle was closed before the reopen
}

TEST_F(TransportTest, WriteDiagRetriesSixCallsThenGivesUp) {
  ASSERT_TRUE(transport.OpenDiagPort());
  worker.lines.clear();
  Diag().failWrites = 100;
  const uint8_t bytes[3] = {1, 2, 3};
  const uint64_t begin = clock.NowMs();
  EXPECT_EQ(transport.WriteDiag(bytes, 3), 0);
  EXPECT_EQ(clock.NowMs() - begin, 6000u);
  EXPECT_EQ(worker.Count("Write to commport have a warning: 31"), 6);
  EXPECT_EQ(worker.lines.size(), 6u);
  EXPECT_EQ(transport.lastWriteCount(), 0u);
}

TEST_F(TransportTest, WriteDiagFastModeOneCallAndRecovery) {
  transport.config().fastSpeedDownload = true;
  ASSERT_TRUE(transport.OpenDiagPort());
  worker.lines.clear();
  Diag().failWrites = 100;
  const uint8_t bytes[3] = {1, 2, 3};
  EXPECT_EQ(transport.WriteDiag(bytes, 3), 0);
  EXPECT_EQ(clock.NowMs(), 1000u);
  EXPECT_EQ(worker.lines.size(), 1u);

  transport.config().fastSpeedDownload = false;
  Diag().failWrites = 2;
  Diag().strictWrites = false;
  EXPECT_EQ(transport.WriteDiag(bytes, 3), 3);
  EXPECT_EQ(worker.lines.size(), 3u);
  EXPECT_EQ(transport.lastWriteCount(), 3u);
}

TEST_F(TransportTest, WriteToClosedPortFailsAsInvalidHandle) {
  const uint8_t bytes[1] = {0};
  EXPECT_EQ(transport.WriteDiag(bytes, 1), 0);
  EXPECT_EQ(worker.Count("Write to commport have a warning: 6"), 6);
}

TEST_F(TransportTest, ReadDiagReturnsEarlyOrAfterOneSecond) {
  ASSERT_TRUE(transport.OpenDiagPort());
  worker.lines.clear();
  uint8_t buffer[16];
  Diag().Arrive({0xAA, 0xBB});
  EXPECT_EQ(transport.ReadDiag(buffer, 9), 2);
  EXPECT_EQ(clock.NowMs(), 0u);
  EXPECT_EQ(transport.lastReadCount(), 2u);

  EXPECT_EQ(transport.ReadDiag(buffer, 9), 0);
  EXPECT_EQ(clock.NowMs(), 1000u);
  EXPECT_EQ(transport.lastReadCount(), 0u);

  Diag().Arrive({0x01}, 300);
  EXPECT_EQ(transport.ReadDiag(buffer, 9), 1);
  EXPECT_EQ(clock.NowMs(), 1300u);
  EXPECT_TRUE(worker.lines.empty());  // a timed-out read is not a warning
}

TEST_F(TransportTest, ReadDiagFailureWarnsAndSleeps) {
  ASSERT_TRUE(transport.OpenDiagPort());
  worker.lines.clear();
  Diag().failReads = 1;
  Diag().readError = kErrorGenFailure;
  uint8_t buffer[4];
  EXPECT_EQ(transport.ReadDiag(buffer, 4), 0);
  EXPECT_EQ(clock.NowMs(), 500u);
  EXPECT_EQ(worker.Texts(), (std::vector<std::string>{"read from commmport have a warning: 31"}));
  EXPECT_FALSE(transport.DiagLost());
}

TEST_F(TransportTest, APortWhoseDeviceIsGoneFailsAtOnceUntilItIsOpenedAgain) {
  ASSERT_TRUE(transport.OpenDiagPort());
  worker.lines.clear();
  Diag().failReads = 100;  // the device was pulled out: every read fails as removed
  uint8_t buffer[4];
  EXPECT_EQ(transport.ReadDiag(buffer, 4), 0);
  EXPECT_TRUE(transport.DiagLost());
  EXPECT_EQ(worker.raised, (std::vector<std::string>{"The device was removed from COM5"}));
  // No waits and no retries on it any more: neither reads nor writes cost time or lines.
  const size_t lines = worker.lines.size();
  const uint8_t bytes[3] = {1, 2, 3};
  EXPECT_EQ(transport.ReadDiag(buffer, 4), 0);
  EXPECT_EQ(transport.WriteDiag(bytes, 3), 0);
  EXPECT_EQ(clock.NowMs(), 0u);
  EXPECT_EQ(worker.lines.size(), lines);
  EXPECT_EQ(worker.raised.size(), 1u);

  Diag().failReads = 0;
  ASSERT_TRUE(transport.OpenDiagPort());
  EXPECT_FALSE(transport.DiagLost());
}

TEST_F(TransportTest, ErrorFlagsAreReportedOnceAndCleared) {
  ASSERT_TRUE(transport.OpenDiagPort());
  worker.lines.clear();
  Diag().errorFlags = kCeFrame | kCeBreak;
  EXPECT_EQ(transport.CheckOutQueue(), 24u);
  EXPECT_EQ(transport.CheckInQueue(), 0u);
  Diag().errorFlags = kCeRxOver;
  transport.CheckInQueue();
  EXPECT_EQ(worker.Texts(), (std::vector<std::string>{"There is a warning in OutQue: 24", "There is a warning in InQue: 1"}));
}

TEST_F(TransportTest, CloseWithRetries) {
  transport.CloseDiagPort("Warning-1");  // not open: nothing at all
  EXPECT_TRUE(worker.lines.empty());

  ASSERT_TRUE(transport.OpenDiagPort());
  worker.lines.clear();
  Diag().failCloses = 3;
  transport.CloseDiagPort("Warning-1");
  EXPECT_FALSE(transport.DiagOpen());
  EXPECT_EQ(worker.Count("Warning-1"), 3);
  EXPECT_EQ(clock.NowMs(), 300u);

  ASSERT_TRUE(transport.OpenAtPort());
  worker.lines.clear();
  At().failCloses = 50;
  transport.CloseAtPort("Warning-2");
  EXPECT_TRUE(transport.AtOpen());
  EXPECT_EQ(worker.Count("Warning-2"), 10);
  EXPECT_EQ(clock.NowMs(), 1300u);
  At().failCloses = 0;
}

TEST_F(TransportTest, ResetForRunClosesBothPortsAndClearsCounts) {
  ASSERT_TRUE(transport.OpenDiagPort());
  ASSERT_TRUE(transport.OpenAtPort());
  Diag().Arrive({1, 2});
  uint8_t buffer[4];
  transport.ReadDiag(buffer, 4);
  transport.ResetForRun();
  EXPECT_FALSE(transport.DiagOpen());
  EXPECT_FALSE(transport.AtOpen());
  EXPECT_FALSE(Diag().open);
  EXPECT_FALSE(At().open);
  EXPECT_EQ(transport.lastReadCount(), 0u);
}

}  // namespace
}  // namespace upwend::test
