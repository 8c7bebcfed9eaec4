#include <gtest/gtest.h>

#include "app/console/headless_front_end.h"

namespace upwend {
namespace {

TEST(CommandLineTest, OptionsAndBadValues) {
  std::string error;
  auto cl = ParseCommandLine({"--headless", "--print-summary", "--answer", "cancel", "--time-scale", "0.01", "--log-dir",
                              "/x", "--devices", "sim:/bus", "--wait", "30", "--start"},
                             error);
  ASSERT_TRUE(cl) << error;
  EXPECT_TRUE(cl->headless && cl->printSummary && cl->start);
  EXPECT_EQ(cl->answer, AnswerPolicy::Cancel);
  EXPECT_DOUBLE_EQ(cl->timeScale, 0.01);
  EXPECT_EQ(cl->logDir, "/x");
  EXPECT_EQ(cl->devices, "sim:/bus");
  EXPECT_EQ(cl->waitSeconds, 30);
  for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
           {"--answer", "maybe"}, {"--time-scale", "0"}, {"--time-scale", "x"}, {"--wait", "-1"}, {"--log-dir"}, {"--bogus"}}) {
    EXPECT_FALSE(ParseCommandLine(bad, error)) << bad[0];
    EXPECT_FALSE(error.empty());
  }
}

TEST(HeadlessDialogsTest, PrintsAndAnswersByPolicy) {
  std::string printed;
  HeadlessDialogs no(AnswerPolicy::No, [&](const std::string& s) { printed += s; });
  EXPECT_EQ(no.MessageBox("Copy file failed!", "Warning", kMbOk), kIdOk);  // one button: OK
  EXPECT_EQ(no.MessageBox("User data file not found.", "Warning", kMbOkCancel), kIdCancel);
  EXPECT_EQ(no.MessageBox("Retry?", "Download", kMbYesNo), kIdNo);
  EXPECT_EQ(printed, "[Warning] Copy file failed!\n[Warning] User data file not found.\n[Download] Retry?\n");
  HeadlessDialogs yes(AnswerPolicy::Ok, [](const std::string&) {});
  EXPECT_EQ(yes.MessageBox("Retry?", "Download", kMbYesNo), kIdYes);
  EXPECT_EQ(yes.MessageBox("Go?", "Download", kMbOkCancel), kIdOk);
}

}  // namespace
}  // namespace upwend
