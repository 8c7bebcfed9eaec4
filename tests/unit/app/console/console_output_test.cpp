#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/console/console_output.h"
#include "app/console/json_line.h"
#include "app/console/recent_rate.h"

namespace upwend {
namespace {

TEST(RecentRateTest, FollowsTheLastSecondsAndFallsToZeroWhenNothingMoves) {
  RecentRate rate(3.0);
  rate.Sample(0, 0);
  EXPECT_EQ(rate.BytesPerSecond(), 0);
  // A long quiet backup first: the flash rate must not be diluted by it.
  rate.Sample(60, 0);
  for (int i = 1; i <= 10; ++i) rate.Sample(60 + i, static_cast<uint64_t>(i) * 5'000'000);
  EXPECT_NEAR(rate.BytesPerSecond(), 5e6, 1);
  ASSERT_TRUE(rate.SecondsLeft(100'000'000));
  EXPECT_NEAR(*rate.SecondsLeft(100'000'000), 10, 0.01);
  // The restore sends nothing: within the window the rate is gone, and there is no ETA.
  rate.Sample(75, 50'000'000);
  EXPECT_EQ(rate.BytesPerSecond(), 0);
  EXPECT_FALSE(rate.SecondsLeft(100'000'000));
  // A total that goes down is taken as unchanged.
  rate.Sample(76, 10);
  EXPECT_EQ(rate.bytes(), 50'000'000u);
}

TEST(JsonLineTest, EscapesControlsAndKeepsEveryLineValidUtf8) {
  EXPECT_EQ(JsonString("a\"b\\c\n\t\x01"), "\"a\\\"b\\\\c\\n\\t\\u0001\"");
  EXPECT_EQ(JsonString("\xE3\x82\xA2"), "\"\xE3\x82\xA2\"");  // valid UTF-8 passes
  // Bytes of another code page, a cut sequence, an overlong form and a surrogate.
  EXPECT_EQ(JsonString("\x83\x41"), "\"\\u0083A\"");
  EXPECT_EQ(JsonString("\xE3\x82"), "\"\\u00e3\\u0082\"");
  EXPECT_EQ(JsonString("\xC0\xAF"), "\"\\u00c0\\u00af\"");
  EXPECT_EQ(JsonString("\xED\xA0\x80"), "\"\\u00ed\\u00a0\\u0080\"");
  // Bytes that never start a sequence (F5..FF), whatever follows them.
  EXPECT_EQ(JsonString("\xFF\x8B\xAC"), "\"\\u00ff\\u008b\\u00ac\"");
  EXPECT_EQ(JsonString("\xF8\x88\x80"), "\"\\u00f8\\u0088\\u0080\"");
  EXPECT_EQ(JsonLine().Add("a", 1).AddOrNull("b", "").Add("c", 2.4).Finish(), "{\"a\":1,\"b\":null,\"c\":2}\n");
}

TEST(ConsoleOutputTest, PhasesComeFromTheReportTexts) {
  EXPECT_EQ(PhaseForReport("sbl1.mbn downloading"), "flash sbl1.mbn");
  EXPECT_FALSE(PhaseForReport("sbl1.mbn downloading------------"));
  EXPECT_EQ(PhaseForReport("RebootDeviceCmd successfully"), "restore");
  EXPECT_FALSE(PhaseForReport("Backup succssfully"));
  EXPECT_EQ(ReportTextOfLine("2026/12/09 16:51:33 Start succssfully"), "Start succssfully");
}

class CapturedOutput {
public:
  CapturedOutput() : out_(std::tmpfile()), err_(std::tmpfile()) {}
  ~CapturedOutput() {
    std::fclose(out_);
    std::fclose(err_);
  }
  ConsoleOutput::Streams streams(bool terminal = false) { return {out_, err_, terminal}; }
  static std::string Read(std::FILE* f) {
    std::fflush(f);
    std::rewind(f);
    std::string s;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    return s;
  }
  std::string out() { return Read(out_); }
  std::string err() { return Read(err_); }

private:
  std::FILE* out_;
  std::FILE* err_;
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
    lines.push_back(text.substr(start, nl - start));
  return lines;
}

TEST(ConsoleOutputTest, JsonModeWritesOnlyEventsAndOneResult) {
  CapturedOutput cap;
  double now = 0;
  ConsoleOutput out(OutputMode::Json, cap.streams(), [&] { return now; });
  out.Status("Ready");
  out.RunStarted(1'000'000, false);
  out.LogLine("2026/12/09 10:00:00 sbl1.mbn downloading", 0);
  for (uint64_t sent = 4096; sent <= 1'000'000; sent += 4096) {
    now += 0.001;
    out.SentBytes(sent);
  }
  out.SentBytes(1'000'000);
  out.Message({"Warning", "Copy file failed!", 0, 1});
  out.LogLine("2026/12/09 10:00:09 ERROR, Could not read OKAY reply., Error code: 1", 2);
  out.LogLine("2026/12/09 10:00:10 ERROR, later, Error code: 1", 2);
  out.Finished(false, "/logs/run.log");
  out.Finished(false, "/logs/run.log");  // a second call adds nothing
  out.Diag("diagnostics go to stderr");
  std::vector<std::string> lines = Lines(cap.out());
  int results = 0;
  int progress = 0;
  for (const auto& l : lines) {
    EXPECT_EQ(l.rfind("{\"event\":\"", 0), 0u) << l;
    results += l.find("\"event\":\"result\"") != std::string::npos;
    progress += l.find("\"event\":\"progress\"") != std::string::npos;
  }
  EXPECT_EQ(results, 1);
  // Throttled: far fewer events than blocks, and the last one reaches the total.
  EXPECT_GT(progress, 5);
  EXPECT_LT(progress, 245);
  EXPECT_EQ(lines.front(), "{\"event\":\"status\",\"text\":\"Ready\"}");
  EXPECT_EQ(lines[1], "{\"event\":\"phase\",\"name\":\"backup\"}");
  EXPECT_NE(cap.out().find("\"done\":1000000,\"total\":1000000"), std::string::npos);
  EXPECT_NE(cap.out().find("{\"event\":\"message\",\"caption\":\"Warning\",\"text\":\"Copy file failed!\",\"answer\":\"ok\"}"),
            std::string::npos);
  EXPECT_EQ(lines.back(),
            "{\"event\":\"result\",\"status\":\"FAIL\",\"error\":\"ERROR, Could not read OKAY reply., Error code: 1\","
            "\"log\":\"/logs/run.log\"}");
  EXPECT_EQ(cap.err(), "upwend: diagnostics go to stderr\n");
}

TEST(ConsoleOutputTest, QuietPrintsOnlyTheVerdictAndTerminalShowsPhaseBytesRateAndEta) {
  {
    CapturedOutput cap;
    ConsoleOutput out(OutputMode::Quiet, cap.streams(), [] { return 0.0; });
    out.RunStarted(10, false);
    out.LogLine("d t Start succssfully", 1);
    out.LogLine("d t PASS", 3);
    out.Finished(true, "");
    EXPECT_EQ(cap.out(), "PASS\n");
  }
  CapturedOutput cap;
  double now = 0;
  ConsoleOutput out(OutputMode::Terminal, cap.streams(), [&] { return now; });
  out.RunStarted(10'000'000, false);
  out.LogLine("d t boot.img downloading", 0);
  for (uint64_t sent = 1'000'000; sent <= 5'000'000; sent += 1'000'000) {
    now += 1;
    out.SentBytes(sent);
  }
  EXPECT_EQ(cap.out(), "d t boot.img downloading\n");
  // Not a terminal: one line per tenth, with the recent rate (1 MB/s) and the time left.
  EXPECT_NE(cap.err().find("progress  50%  flash boot.img  5.0/10.0 MB  1.00 MB/s  ETA 0:05\n"), std::string::npos)
      << cap.err();
}

}  // namespace
}  // namespace upwend
