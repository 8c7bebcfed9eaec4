#include "engine/at/at_channel.h"
#include "engine/at/at_reply.h"
#include "engine/at/device_window.h"

#include <gtest/gtest.h>

#include <map>

#include "platform/manual_clock.h"
#include "tests/support/fake_device_window.h"
#include "tests/support/scripted_port.h"
#include "tests/support/recording_context.h"

namespace upwend {
namespace {

using testing::RecordingContext;

struct FakeDiag final : DiagControl {
  int SendDiagOffline() override {
    calls.push_back("offline");
    return -1;
  }
  int SendDiagReset() override {
    calls.push_back("reset");
    return -1;
  }
  int QueryPlatform() override { return 186; }
  std::vector<std::string> calls;
};

struct FakeValues final : IdentityValues {
  std::string ValueForItem(int item) const override {
    auto it = values.find(item);
    return it == values.end() ? "" : it->second;
  }
  std::map<int, std::string> values;
};

class AtChannelTest : public ::testing::Test {
protected:
  ManualClock clock_;
  RecordingContext ctx_{clock_};
  RunParameters params_;
  test::ScriptedLine line_;
  test::ScriptedPort port_{line_};
  FakeDiag diag_;
  FakeValues values_;
  testing::FakeDeviceWindow window_;
  StringList start_, end_;
  AtChannel at_{ctx_, params_, [this] { return &port_; }, diag_, values_, window_};

  void SetUp() override {
    params_.StartATList = &start_;
    params_.EndATList = &end_;
    // One scripted read a call, as polls of the device; writes are only recorded.
    line_.oneChunkPerRead = true;
    line_.strictWrites = false;
    port_.Open("COM6");
  }
  // What the next reads bring, one entry a read ("": nothing); whatever was left is dropped.
  void Polls(std::initializer_list<std::string> polls) {
    line_.Purge(kPurgeRxClear);
    for (const std::string& p : polls) line_.ArriveText(p);
  }
};

TEST(AtReplyTest, ValueIsTheTextBetweenTheFirstColonAndTheFirstOk) {
  auto value = [](const std::string& text) {
    std::string v = "unset";
    return ParseAtPoll(text, v) == AtVerdict::kOk ? v : std::string("<not ok>");
  };
  EXPECT_EQ(value("\r\n+VXTSN: ABC123\r\n\r\nOK\r\n"), " ABC123\r\n\r\n");
  EXPECT_EQ(value("\r\nABC\r\n\r\nOK\r\n"), "\r\nABC\r\n\r\n");
  EXPECT_EQ(value("\r\n+CGMI: BOOKSTORE\r\nOK\r\n"), " BO");  // a value holding "OK" is cut there
  EXPECT_EQ(value("OK then: late"), "");
  EXPECT_EQ(value("no verdict: x"), "<not ok>");
  EXPECT_EQ(value("ERROR and OK"), "ERROR and ");  // "OK" is looked for first
}

TEST(AtReplyTest, SleepEntriesGiveMillisecondsOrNothing) {
  EXPECT_EQ(AtSleepMs("AT%SLEEP= 2000 \r\n\r\n"), 2000u);
  EXPECT_EQ(AtSleepMs("AT%SLEEP\r\n\r\n"), 0u);
  EXPECT_EQ(AtSleepMs("AT%SLEEP=two\r\n\r\n"), 0u);
  EXPECT_EQ(AtSleepMs("AT%SLEEP=99999999999999999999\r\n"), 0u);
}

TEST_F(AtChannelTest, QueryReturnsTheValueOfThePollThatBringsOk) {
  Polls({"", "\r\n+VXTSN: ABC\r\n\r\nOK\r\n"});
  std::string value;
  EXPECT_TRUE(at_.SendAtQuery("AT+VXTSN=0,5\r\n\r\n", value));
  EXPECT_EQ(value, " ABC\r\n\r\n");
  EXPECT_EQ(line_.writtenText.at(0), "AT+VXTSN=0,5\r\n\r\n");
  EXPECT_EQ(ctx_.reports.back(), "Read......");
}

TEST_F(AtChannelTest, QuerySplitOverTwoPollsKeepsOnlyWhatPrecedesOkInTheSecond) {
  Polls({"\r\n+VXTSN: ABC\r\n", "\r\nOK\r\n"});
  std::string value = "old";
  EXPECT_TRUE(at_.SendAtQuery("AT+VXTSN=0,5\r\n\r\n", value));
  EXPECT_EQ(value, "\r\n");
}

TEST_F(AtChannelTest, QueryFailsOnErrorAtOnceAndOnSilenceAfterEightSeconds) {
  Polls({"\r\nERROR\r\n"});
  std::string value;
  EXPECT_FALSE(at_.SendAtQuery("AT+X\r\n\r\n", value));
  EXPECT_EQ(line_.reads, 1);
  EXPECT_TRUE(ctx_.raised.empty());

  line_.reads = 0;
  EXPECT_FALSE(at_.SendAtQuery("AT+X\r\n\r\n", value));
  // 800 ms polls for 8 whole seconds: 9 or 10 depending on where in a second the query began.
  EXPECT_GE(line_.reads, 9);
  EXPECT_LE(line_.reads, 10);

  line_.reads = 0;
  params_.bFastSpeedDownload = true;
  EXPECT_FALSE(at_.SendAtQuery("AT+X\r\n\r\n", value));
  EXPECT_GE(line_.reads, 79);
  EXPECT_LE(line_.reads, 80);
  EXPECT_TRUE(ctx_.raised.empty());
}

TEST_F(AtChannelTest, QueryReportsWriteAndReadFailures) {
  line_.failWrites = test::kAlways;
  line_.failReads = test::kAlways;
  std::string value;
  EXPECT_FALSE(at_.SendAtQuery("AT\r\n", value));
  ASSERT_EQ(ctx_.raised.size(), 2u);
  EXPECT_EQ(ctx_.raised[0], "Could not send command to serial port");
  EXPECT_EQ(ctx_.raised[1], "Could not read from serial port");
}

TEST_F(AtChannelTest, StartListSendsEntriesSleepsAndStopsAtTheFirstRealFailure) {
  start_ = {"AT+CFUN=5\r\n\r\n", "AT%SLEEP=2000\r\n\r\n", "AT+DIAG=1\r\n\r\n", "AT+DISK=8,\"D1\"\r\n\r\n",
            "AT+BAD\r\n\r\n", "AT+NEVER\r\n\r\n"};
  window_.diskSwitched = true;
  Polls({"OK", "ERROR", "ERROR"});
  uint64_t before = clock_.NowMs();
  at_.RunStartAtList();
  EXPECT_GE(clock_.NowMs() - before, 2000u);
  EXPECT_EQ(line_.writtenText, (std::vector<std::string>{"AT+CFUN=5\r\n\r\n", "AT+DIAG=1\r\n\r\n", "AT+BAD\r\n\r\n"}));
  ASSERT_EQ(ctx_.raised.size(), 1u);
  EXPECT_EQ(ctx_.raised[0], "Fail to send command(start) :5");
}

TEST_F(AtChannelTest, EndListToleratesRejectionsExceptTheTwoThatMatter) {
  end_ = {"AT+CFUN=1\r\n\r\n", "AT%RESET\r\n\r\n", "AT+CDROM=1\r\n\r\n", "AT+LATER\r\n\r\n"};
  Polls({"ERROR", "ERROR"});
  at_.RunEndAtList();
  EXPECT_EQ(diag_.calls, (std::vector<std::string>{"offline", "reset"}));
  EXPECT_EQ(line_.writtenText.size(), 2u);
  ASSERT_EQ(ctx_.raised.size(), 1u);
  EXPECT_EQ(ctx_.raised[0], "Fail to send command(end) :3[AT+CDROM=1\r\n\r\n]");
}

TEST_F(AtChannelTest, ListsSendNothingOnceTheRunHasFailed) {
  start_ = {"AT+CFUN=5\r\n\r\n"};
  end_ = {"AT+CFUN=1\r\n\r\n"};
  ctx_.code = 210;
  at_.RunStartAtList();
  at_.RunEndAtList();
  EXPECT_TRUE(line_.writtenText.empty());
}

TEST_F(AtChannelTest, WriteBackVerdictsDependOnTheItem) {
  values_.values = {{0, "\"SN1\""}, {7, "12"}};
  Polls({"OK"});
  EXPECT_TRUE(at_.WriteAtValue("AT+VXTSN=1,5,", 0, "Fail to write SN"));
  EXPECT_EQ(line_.writtenText.back(), "AT+VXTSN=1,5,\"SN1\"\r\n");

  Polls({"ERROR"});
  EXPECT_TRUE(at_.WriteAtValue("AT+CLLEN=", 7, "Fail to write CLLEN"));
  EXPECT_EQ(ctx_.reports.back(), "Could not support command:CLLEN");

  Polls({"ERROR"});
  EXPECT_FALSE(at_.WriteAtValue("AT+VXTSN=1,11,", 15, "Fail to Write SalesCount/WIFIMAC"));
  EXPECT_TRUE(ctx_.raised.empty());

  Polls({});
  EXPECT_FALSE(at_.WriteAtValue("AT\r\n", -1, ""));  // silent time-out
  EXPECT_TRUE(ctx_.raised.empty());
  EXPECT_EQ(line_.writtenText.back(), "AT\r\n");

  Polls({"ERROR"});
  EXPECT_FALSE(at_.WriteAtValue("AT+TESTINF2=", 2, "Fail to write TESTINFO"));
  EXPECT_EQ(ctx_.raised.at(0), "Fail to write TESTINFO");
}

TEST_F(AtChannelTest, SimLockWriteBackFollowsTheMode) {
  params_.simLockText = "1,ABCDEF";
  params_.simLockMode = 1;
  Polls({"OK"});
  at_.WriteAtValue("AT+NWLSET=", 4, "Fail to write SIMLOCK to phone");
  EXPECT_EQ(line_.writtenText.back(), "AT+NWLSET=1,ABCDEF\r\n");
  params_.simLockMode = 0;
  Polls({"OK"});
  at_.WriteAtValue("AT+NWLSET=", 4, "Fail to write SIMLOCK to phone");
  EXPECT_EQ(line_.writtenText.back(), "AT+NWLSET=0\r\n");
}

TEST_F(AtChannelTest, FindComPortTakesTheNewNumbersAndKeepsOldOnesForEmptyBoxes) {
  params_.ComPort = 5;
  params_.SerialComPort = 6;
  window_.diag = "COM12";
  EXPECT_TRUE(at_.FindComPort());
  EXPECT_EQ(params_.ComPort, 12);
  EXPECT_EQ(params_.SerialComPort, 6);
  window_.diag.clear();
  EXPECT_FALSE(at_.FindComPort());
  EXPECT_EQ(window_.discoveries, 2);
}

}  // namespace
}  // namespace upwend
