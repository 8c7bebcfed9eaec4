#include <gtest/gtest.h>

#include <fstream>

#include "sim/faults.h"
#include "test_support.h"

namespace upwend::sim {
namespace {

TEST(FaultSetTest, ParsesEveryKindAndRefusesMalformedSpecs) {
  FaultSet f;
  std::string error;
  for (const char* ok : {"at-error:AT+CUIT87?", "at-silent:ATI", "diag-drop:26", "diag-delay:4b13:2000",
                         "diag-badcrc:0x7c", "diag-nak:29", "diag-nak:29:0x0102", "nv-inactive:1738",
                         "nv-readonly:0x21c", "nv-status:5:9", "efs-error:/a/b:2", "fastboot-fail:modem",
                         "fastboot-disconnect:4096", "fastboot-slow:512", "renumber", "renumber:10", "no-return",
                         "latency:50", "diag-drop:26@3"}) {
    EXPECT_TRUE(f.Add(ok, error)) << ok << ": " << error;
  }
  for (const char* bad : {"", "bogus", "at-error", "diag-drop:2", "diag-drop:xyz", "diag-delay:26", "nv-inactive:70000",
                          "nv-status:5", "efs-error:/a", "fastboot-slow:0", "renumber:0", "latency:fast",
                          "fastboot-disconnect:-1"}) {
    error.clear();
    EXPECT_FALSE(f.Add(bad, error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
}

TEST(FaultSetTest, CountsLimitHowOftenAFaultApplies) {
  FaultSet f;
  std::string error;
  ASSERT_TRUE(f.Add("at-error:AT+GMI@2", error));
  EXPECT_TRUE(f.AtError("AT+GMI"));
  EXPECT_TRUE(f.AtError("AT+GMI=X"));
  EXPECT_FALSE(f.AtError("AT+GMI"));
  ASSERT_TRUE(f.Add("renumber:4@1", error));
  EXPECT_EQ(f.RenumberStep(), 4);
  EXPECT_EQ(f.RenumberStep(), 0);
}

TEST(FaultSetTest, LoadsAFileWithCommentsAndReportsItsBadLine) {
  testing::TempDir dir("faults");
  std::string path = dir.Path() + "/faults.txt";
  std::ofstream(path) << "# comment\n\n  latency:20\r\nnv-inactive:1738\n";
  FaultSet f;
  std::string error;
  ASSERT_TRUE(f.LoadFile(path, error)) << error;
  EXPECT_EQ(f.LatencyMs(), 20u);
  EXPECT_EQ(f.NvStatus(1738, false), std::optional<uint16_t>(5));
  std::ofstream(path) << "latency:20\nnot-a-fault\n";
  EXPECT_FALSE(f.LoadFile(path, error));
  EXPECT_NE(error.find("not-a-fault"), std::string::npos);
  EXPECT_FALSE(f.LoadFile(dir.Path() + "/missing", error));
}

}  // namespace
}  // namespace upwend::sim
