// The AT channel against a scripted AT port (reads return at once with what has arrived) and
// its DIAG control requests against a scripted DIAG port.
#include "engine/at_channel.h"

#include <gtest/gtest.h>

#include "engine/at_reply.h"
#include "engine/diag_framing.h"
#include "engine/diag_transport.h"
#include "support/fake_serial_port.h"
#include "support/fake_window.h"
#include "support/fake_worker.h"
#include "support/manual_clock.h"

namespace upwend::test {
namespace {

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

TEST(AtReply, ValueBetweenFirstColonAndFirstOk) {
  std::string v;
  EXPECT_EQ(ParseAtPoll("\r\n+CGSN: 861234\r\n\r\nOK\r\n", v), AtVerdict::kOk);
  EXPECT_EQ(v, " 861234\r\n\r\n");
  EXPECT_EQ(ParseAtPoll("\r\nV1.2\r\n\r\nOK\r\n", v), AtVerdict::kOk);
  EXPECT_EQ(v, "\r\nV1.2\r\n\r\n");
  EXPECT_EQ(ParseAtPoll("+NAME: BOOKER\r\nOK\r\n", v), AtVerdict::kOk);
  EXPECT_EQ(v, " BO");
  EXPECT_EQ(ParseAtPoll("OK then: x", v), AtVerdict::kOk);
  EXPECT_EQ(v, "");
  EXPECT_EQ(ParseAtPoll("ERROR OK", v), AtVerdict::kOk);
  EXPECT_EQ(ParseAtPoll("\r\n+CME ERROR: 10\r\n", v), AtVerdict::kError);
  EXPECT_EQ(ParseAtPoll("\r\n+CGSN: 86", v), AtVerdict::kPending);
  EXPECT_EQ(ParseAtPoll(std::string_view("O\0K", 3), v), AtVerdict::kPending);
}

TEST(AtReply, SleepValues) {
  EXPECT_EQ(AtSleepMs("AT%SLEEP=2000\r\n\r\n"), 2000u);
  EXPECT_EQ(AtSleepMs("AT%SLEEP= 150 \r\n\r\n"), 150u);
  EXPECT_EQ(AtSleepMs("AT%SLEEP\r\n\r\n"), 0u);
  EXPECT_EQ(AtSleepMs("AT%SLEEP=abc\r\n\r\n"), 0u);
  EXPECT_EQ(AtSleepMs("AT%SLEEP=20ms\r\n\r\n"), 0u);
  EXPECT_EQ(AtSleepMs("AT%SLEEP=-5\r\n\r\n"), 0u);
  EXPECT_EQ(AtSleepMs("AT%SLEEP=99999999999999999999\r\n\r\n"), 0u);
}

class AtTest : public ::testing::Test {
protected:
  void SetUp() override {
    transport.config().comPort = 3;
    transport.config().serialComPort = 4;
    diag = &bus.Line("COM3");
    at = &bus.Line("COM4");
    ASSERT_TRUE(transport.OpenDiagPort());
    ASSERT_TRUE(transport.OpenAtPort());
    worker.lines.clear();
    start = clock.NowMs();
  }
  void TearDown() override { bus.Verify(); }
  uint64_t Elapsed() const { return clock.NowMs() - start; }

  ManualClock clock;
  FakeWorker worker{clock};
  FakeBus bus{clock};
  FakeWindow window;
  DiagTransport transport{worker, bus.Factory()};
  std::unique_ptr<DiagFraming> framing = std::make_unique<DiagFraming>(worker, transport, &window);
  AtChannel channel{worker, transport, *framing, &window};
  FakeLine* diag = nullptr;
  FakeLine* at = nullptr;
  uint64_t start = 0;
};

TEST_F(AtTest, QueryReadsTheValueAfterItsPoll) {
  at->ExpectWrite(Text("AT+CGSN\r\n"), Text("\r\n+CGSN: 861234\r\n\r\nOK\r\n"), 300);
  std::string value;
  EXPECT_TRUE(channel.SendAtQuery("AT+CGSN\r\n", value));
  EXPECT_EQ(value, " 861234\r\n\r\n");
  EXPECT_EQ(Elapsed(), 800u);
  EXPECT_EQ(worker.Texts(), (std::vector<std::string>{"Read......"}));
}

TEST_F(AtTest, QuerySplitOverPollsLosesTheValue) {
  at->ExpectWrite(Text("AT+CGSN\r\n"), Text("\r\n+CGSN: 861234"), 100);
  at->Arrive(Text("\r\n\r\nOK\r\n"), 1200);
  std::string value;
  EXPECT_TRUE(channel.SendAtQuery("AT+CGSN\r\n", value));
  EXPECT_EQ(value, "\r\n\r\n");
}

TEST_F(AtTest, QueryErrorAndSilence) {
  at->ExpectWrite(Text("AT+X\r\n\r\n"), Text("\r\nERROR\r\n"));
  std::string value;
  EXPECT_FALSE(channel.SendAtQuery("AT+X\r\n\r\n", value));
  EXPECT_TRUE(worker.lines.empty());
  EXPECT_EQ(worker.ErrorCode(), 0);

  // A device that never answers: about 8 s (whole seconds of the clock), polls of 800 ms.
  at->strictWrites = false;
  clock.Advance(200);
  start = clock.NowMs();
  EXPECT_FALSE(channel.SendAtQuery("AT+X\r\n\r\n", value));
  EXPECT_EQ(Elapsed(), 8000u);
  EXPECT_EQ(at->written.size(), 2u);
  // Fast download mode and the reboot command poll every 100 ms.
  channel.settings().fastSpeedDownload = true;
  start = clock.NowMs();
  EXPECT_FALSE(channel.SendAtQuery("AT+X\r\n\r\n", value));
  EXPECT_GE(Elapsed(), 7900u);
  EXPECT_LE(Elapsed(), 8000u);
  EXPECT_EQ(worker.ErrorCode(), 0);
}

TEST_F(AtTest, QueryPortFailures) {
  at->failWrites = 1;
  at->Arrive(Text("OK"), 10);
  std::string value;
  EXPECT_TRUE(channel.SendAtQuery("AT\r\n", value));  // polls all the same
  EXPECT_EQ(worker.raised, (std::vector<std::string>{"Could not send command to serial port"}));
  at->failReads = 1;
  at->strictWrites = false;
  EXPECT_FALSE(channel.SendAtQuery("AT\r\n", value));
  EXPECT_EQ(worker.raised.back(), "Could not read from serial port");
}

TEST_F(AtTest, QueryThroughNoise) {
  // 64 KiB of noise without a verdict, then "OK": each poll takes at most 512 bytes.
  Bytes noise(65536);
  for (size_t i = 0; i < noise.size(); ++i) {
    const auto b = static_cast<uint8_t>(i * 131 + 17);
    noise[i] = b == 'O' || b == 'E' ? '.' : b;  // binary noise, NULs included, with no verdict
  }
  at->ExpectWrite(Text("AT\r\n"), noise);
  std::string value;
  EXPECT_FALSE(channel.SendAtQuery("AT\r\n", value));
  EXPECT_EQ(at->Pending(), noise.size() - 10 * 512);
  at->Purge(kPurgeRxClear);
}

TEST_F(AtTest, RebootDoesNotWaitForAReply) {
  at->ExpectWrite(Text("at+syscmd=sys_reboot bootloader\r\n\r\n"));
  EXPECT_TRUE(channel.SendAtReboot("at+syscmd=sys_reboot bootloader\r\n\r\n"));
  EXPECT_EQ(Elapsed(), 100u);
  transport.CloseAtPort("Warning-2");
  EXPECT_TRUE(channel.SendAtReboot("at+syscmd=sys_reboot bootloader\r\n\r\n"));
  EXPECT_EQ(worker.errors, (std::vector<std::string>{"ERROR, Could not send command to serial port, Error code: 6"}));
}

TEST_F(AtTest, WriteBackCommandsAndVerdicts) {
  channel.SetIdentityValues([](int item) { return item == 0 ? std::string("SN123") : "v" + std::to_string(item); });
  EXPECT_EQ(channel.WriteBackCommand("AT+SN=", 0), "AT+SN=SN123\r\n");
  EXPECT_EQ(channel.WriteBackCommand("AT+RESET\r\n", -1), "AT+RESET\r\n");
  EXPECT_EQ(channel.WriteBackCommand("AT+NWLSET=", 4), "AT+NWLSET=0\r\n");
  channel.settings().simLock = "1,12345678";
  EXPECT_EQ(channel.WriteBackCommand("AT+NWLSET=", 4), "AT+NWLSET=1,12345678\r\n");

  at->ExpectWrite(Text("AT+SN=SN123\r\n"), Text("\r\nOK\r\n"));
  EXPECT_TRUE(channel.WriteAtValue("AT+SN=", 0, "Fail to write SN"));
  at->ExpectWrite(Text("AT+CLLEN=v7\r\n"), Text("\r\nERROR\r\n"));
  EXPECT_TRUE(channel.WriteAtValue("AT+CLLEN=", 7, "x"));
  EXPECT_EQ(worker.Texts(), (std::vector<std::string>{"Could not support command:CLLEN"}));
  at->ExpectWrite(Text("AT+S=v15\r\n"), Text("ERROR"));
  EXPECT_FALSE(channel.WriteAtValue("AT+S=", 15, "x"));
  EXPECT_EQ(worker.ErrorCode(), 0);
  at->ExpectWrite(Text("AT+IMEI=v1\r\n"), Text("ERROR"));
  EXPECT_FALSE(channel.WriteAtValue("AT+IMEI=", 1, "Fail to write IMEI"));
  EXPECT_EQ(worker.raised, (std::vector<std::string>{"Fail to write IMEI"}));
}

TEST_F(AtTest, WriteBackTimeoutAndWriteFailure) {
  at->strictWrites = false;
  EXPECT_FALSE(channel.WriteAtValue("AT+X=", -1, "never"));
  EXPECT_EQ(Elapsed(), 8000u);
  EXPECT_TRUE(worker.raised.empty());
  EXPECT_FALSE(channel.WriteAtValue("AT+X=", 2, "Fail to write TESTINFO"));
  at->failWrites = 1;
  EXPECT_FALSE(channel.WriteAtValue("AT+X=", 2, "y"));
  EXPECT_EQ(worker.raised, (std::vector<std::string>{"Fail to write TESTINFO", "->Could not send command to serial port"}));
}

TEST_F(AtTest, StartListSendsSleepsSkipsAndStops) {
  channel.settings().startAtList = {"AT+CFUN=5\r\n\r\n", "AT%SLEEP=2000\r\n\r\n", "AT%SLEEP\r\n\r\n",
                                    "AT+DISK=8,\"D1\"\r\n\r\n", "AT+DIAG=1\r\n\r\n", "AT+BAD\r\n\r\n",
                                    "AT+NEVER\r\n\r\n"};
  window.diskModeSwitched = true;
  at->ExpectWrite(Text("AT+CFUN=5\r\n\r\n"), Text("OK"));
  at->ExpectWrite(Text("AT+DIAG=1\r\n\r\n"), Text("ERROR"));
  at->ExpectWrite(Text("AT+BAD\r\n\r\n"), Text("ERROR"));
  channel.RunStartAtList();
  EXPECT_EQ(worker.errors, (std::vector<std::string>{"ERROR, Fail to send command(start) :6, Error code: 0"}));
  EXPECT_EQ(Elapsed(), 800u + 2000u + 800u + 800u);
  // Nothing is sent once the run has an error.
  channel.RunStartAtList();
  channel.settings().endAtList = {"AT+CFUN=1\r\n\r\n"};
  channel.RunEndAtList();
}

TEST_F(AtTest, EndListToleratesAllButTwoCommands) {
  channel.settings().endAtList = {"AT+CFUN=1\r\n\r\n", "AT%RESET\r\n\r\n", "AT+CDROM=1\r\n\r\n", "AT+LAST\r\n\r\n"};
  at->ExpectWrite(Text("AT+CFUN=1\r\n\r\n"), Text("ERROR"));
  diag->ExpectWrite(Frame({0x29, 0x01, 0x00}, false), Frame({0x29, 0x01, 0x00}, false), 10);
  diag->ExpectWrite(Frame({0x29, 0x02, 0x00}, false), Frame({0x29, 0x02, 0x00}, false), 10);
  at->ExpectWrite(Text("AT+CDROM=1\r\n\r\n"), Text("ERROR"));
  channel.RunEndAtList();
  ASSERT_EQ(worker.raised.size(), 1u);
  EXPECT_EQ(worker.raised[0], "Fail to send command(end) :3[AT+CDROM=1\r\n\r\n]");
}

TEST_F(AtTest, OfflineRequestRetriesAndReportsWhatCame) {
  const Bytes request = Frame({0x29, 0x01, 0x00}, false);
  diag->ExpectWrite(request, {0x29, 0x05, 0x00, 0xAB});
  diag->ExpectWrite(request, {0x29, 0x01, 0x00, 0x11, 0x22, 0x7E});
  EXPECT_EQ(channel.SendDiagOffline(), 0);
  EXPECT_EQ(worker.Texts(), (std::vector<std::string>{"Offline cmd rec: 29 05 00 AB 00 00 00 00 00 00"}));

  worker.lines.clear();
  diag->strictWrites = false;
  start = clock.NowMs();
  EXPECT_EQ(channel.SendDiagReset(), -1);
  EXPECT_EQ(diag->written.size(), 2u + 10u);
  EXPECT_TRUE(worker.lines.empty());  // only the offline request reports its replies
  EXPECT_EQ(Elapsed(), 10u * (1000u + 1000u));
}

TEST_F(AtTest, EarlierReplyInTheScratchDoesNotAcknowledge) {
  const Bytes request = Frame({0x29, 0x02, 0x00}, false);
  diag->ExpectWrite(request, {0x29, 0x02, 0x00});
  EXPECT_EQ(channel.SendDiagReset(), 0);
  diag->strictWrites = false;
  diag->ExpectWrite(request, {0x29, 0x02}, 0);  // two bytes only, the third position is stale
  EXPECT_EQ(channel.SendDiagReset(), -1);
}

TEST_F(AtTest, PlatformQuery) {
  const Bytes request = Frame({0x7C}, false);
  diag->ExpectWrite(request, Frame({0x7C, 0x01}));
  diag->ExpectWrite(request, Frame({0x7C, 0x02, 0, 0, 0, 0, 0, 0, 0x2A, 0x00}));
  EXPECT_EQ(channel.QueryPlatform(), 0x2A);
  // Too short to hold the platform byte, or a corrupt frame: -1.
  diag->ExpectWrite(request, Frame({0x7C, 0x02, 0, 0, 0, 0, 0, 0}));
  diag->strictWrites = false;
  EXPECT_EQ(channel.QueryPlatform(), -1);
  diag->strictWrites = true;
  diag->ExpectWrite(request, FrameBadCheck({0x7C, 0x02, 0, 0, 0, 0, 0, 0, 0x2A}));
  diag->ExpectWrite(request);
  diag->ExpectWrite(request);
  EXPECT_EQ(channel.QueryPlatform(), -1);
}

TEST_F(AtTest, FindComPortTakesTheNewNumbers) {
  window.onDiscovery = [&](int) {
    window.portText = "COM12";
    window.serialPortText = "";
  };
  EXPECT_TRUE(channel.FindComPort());
  EXPECT_EQ(transport.config().comPort, 12);
  EXPECT_EQ(transport.config().serialComPort, 4);
  EXPECT_EQ(Elapsed(), 2000u);
  window.onDiscovery = [&](int) { window.portText = window.serialPortText = ""; };
  EXPECT_FALSE(channel.FindComPort());
  EXPECT_EQ(worker.Count("FindComPort"), 2);
}

TEST_F(AtTest, ShowDeviceVersionUsesTheOpenAtPort) {
  channel.ShowDeviceVersion();
  ASSERT_EQ(window.versionPorts.size(), 1u);
  EXPECT_EQ(window.versionPorts[0], transport.atPort());
}

}  // namespace
}  // namespace upwend::test
