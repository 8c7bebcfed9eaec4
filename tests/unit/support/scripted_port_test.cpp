// The shared serial-port double: a double that let a script go unmet, or bent the read
// time-outs, would make every suite built on it pass for the wrong reason.
#include "tests/support/scripted_port.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include "platform/manual_clock.h"

namespace upwend::test {
namespace {

bool WriteText(SerialPort& port, const std::string& text) {
  uint32_t done = 0;
  return port.Write(reinterpret_cast<const uint8_t*>(text.data()), static_cast<uint32_t>(text.size()), done);
}

std::string ReadText(SerialPort& port, uint32_t len = 64) {
  std::string buffer(len, '\0');
  uint32_t done = 0;
  port.Read(reinterpret_cast<uint8_t*>(buffer.data()), len, done);
  return buffer.substr(0, done);
}

TEST(ScriptedPortTest, ExpectationsLeftOverOrBrokenFailTheTest) {
  EXPECT_NONFATAL_FAILURE(
      {
        ScriptedLine line;
        line.ExpectWrite(ToBytes("ATI\r"));
      },
      "never came");
  EXPECT_NONFATAL_FAILURE(
      {
        ScriptedLine line;
        ScriptedPort port(line);
        port.Open("COM1");
        line.ExpectWrite(ToBytes("ATI\r"));
        WriteText(port, "AT\r");
      },
      "differs from the script");
  EXPECT_NONFATAL_FAILURE(
      {
        ScriptedLine line;
        ScriptedPort port(line);
        port.Open("COM1");
        WriteText(port, "AT\r");
      },
      "unexpected write");
}

TEST(ScriptedPortTest, ReadsWaitOnTheClockAsTheTimeOutsSay) {
  ManualClock clock;
  ScriptedLine line(clock);
  ScriptedPort port(line);
  ASSERT_TRUE(port.Open("COM1"));
  line.ExpectWrite(ToBytes("Q"), ToBytes("late"), 300);
  ASSERT_TRUE(WriteText(port, "Q"));
  // Wait for the first byte, at most the constant: 200 ms pass without any.
  port.SetTimeouts({kMaxDword, kMaxDword, 200, 0, 0});
  const uint64_t start = clock.NowMs();
  EXPECT_EQ(ReadText(port), "");
  EXPECT_EQ(clock.NowMs() - start, 200u);
  EXPECT_EQ(ReadText(port), "late");
  EXPECT_EQ(clock.NowMs() - start, 300u);
  // Return at once: nothing waits.
  port.SetTimeouts({kMaxDword, 0, 0, 0, 0});
  EXPECT_EQ(ReadText(port), "");
  EXPECT_EQ(clock.NowMs() - start, 300u);
  line.Verify();
}

TEST(ScriptedPortTest, BusKnowsPortsByEitherNameAndCountsHandlesNeverClosed) {
  ScriptedBus bus;
  bus.Line("COM12").AnswerText([](const std::string& c) { return c == "ATI\r" ? "OK" : ""; });
  {
    ScriptedPort port(bus);
    ASSERT_TRUE(port.Open("\\\\.\\COM12"));
    ScriptedPort second(bus);
    EXPECT_FALSE(second.Open("COM12"));  // exclusive
    EXPECT_EQ(second.LastError(), kErrorAccessDenied);
    EXPECT_FALSE(second.Open("COM13"));
    EXPECT_EQ(second.LastError(), kErrorFileNotFound);
    WriteText(port, "ATI\r");
    EXPECT_EQ(ReadText(port), "OK");
  }
  EXPECT_EQ(bus.OpenNow(), 1);  // destroyed, never closed
  EXPECT_EQ(bus.writes, std::vector<std::string>{"COM12:ATI\r"});
}

TEST(ScriptedPortTest, ReadLimitsAndOneChunkPerRead) {
  ScriptedLine line;
  ScriptedPort port(line);
  port.Open("COM1");
  line.ArriveText("abcdef");
  line.readLimit = 4;
  EXPECT_EQ(ReadText(port), "abcd");
  EXPECT_EQ(ReadText(port), "ef");
  line.readLimit = 0;
  line.oneChunkPerRead = true;
  line.ArriveText("one");
  line.ArriveText("");
  line.ArriveText("two");
  EXPECT_EQ(ReadText(port), "one");
  EXPECT_EQ(ReadText(port), "");
  EXPECT_EQ(ReadText(port), "two");
  line.failReads = 1;
  uint32_t done = 0;
  uint8_t b[4];
  EXPECT_FALSE(port.Read(b, sizeof b, done));
  EXPECT_EQ(port.LastError(), kErrorDeviceRemoved);
  EXPECT_TRUE(port.Read(b, sizeof b, done));
}

}  // namespace
}  // namespace upwend::test
