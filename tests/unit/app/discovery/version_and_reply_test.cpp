#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/discovery/at_query_reply.h"
#include "app/discovery/device_version.h"

namespace upwend {
namespace {

using ::testing::ElementsAre;

TEST(AtQueryReplyTest, ValuesByCommand) {
  struct Case {
    const char* command;
    const char* text;
    AtQueryVerdict verdict;
    const char* value;
  };
  for (const Case& c : {
           Case{kAtVxtsw, "AT+VXTSW\r\n\r\n+VXTSW: SWVD004.3\r\n\r\nOK\r\n", AtQueryVerdict::kOk, ""},
           Case{kAtVxtsw, "\r\nOK\r\n", AtQueryVerdict::kOk, ""},
           Case{kAtCgmr, "\r\nSWV2.0.3_MDM9607\r\n\r\nOK\r\n", AtQueryVerdict::kOk, "SWV2.0.3_MDM9607"},
           Case{kAtCgmr, "xSWW1.0 SWV9\nOK", AtQueryVerdict::kOk, "SWV9"},
           Case{kAtCgmr, "SWW1.0\rOK", AtQueryVerdict::kOk, "SWW1.0"},
           Case{kAtCgmr, "\r\n2.0.3\r\nOK\r\n", AtQueryVerdict::kFailed, ""},
           Case{kAtCgmr, "OK SWV1", AtQueryVerdict::kOk, ""},  // the version after "OK": empty
           Case{kAtVxtinf, "\r\n+VXTINF:\"SWYF007\"\r\n\r\nOK\r\n", AtQueryVerdict::kOk, "SWYF007"},
           Case{kAtVxtinf, "SWYF001\r\nOK", AtQueryVerdict::kOk, "SWYF001"},  // no ":": from the start
           Case{kAtVxtinf, "OK then: x", AtQueryVerdict::kOk, ""},
           Case{kAtPmu, "\r\n+PMU: GMT 65 930\r\n\r\nOK\r\n", AtQueryVerdict::kOk, "GMT65930"},
           Case{kAtPmu, "\r\nERROR\r\n", AtQueryVerdict::kFailed, ""},
           Case{kAtPmu, "ERROR then OK", AtQueryVerdict::kOk, "ERRORthen"},
           Case{kAtPmu, "\r\n+PMU: TI", AtQueryVerdict::kPending, ""},
           Case{kAtPmu, "", AtQueryVerdict::kPending, ""},
       }) {
    SCOPED_TRACE(std::string(c.command) + " / " + c.text);
    std::string value = "old";
    EXPECT_EQ(ParseAtQueryReply(c.command, c.text, value), c.verdict);
    EXPECT_EQ(value, c.verdict == AtQueryVerdict::kOk ? std::string(c.value) : std::string("old"));
  }
}

TEST(DeviceVersionTest, CurrentWhenEveryNumberIsAtLeastThePackages) {
  EXPECT_TRUE(DeviceVersionIsCurrent("VXT_v2.0.3", "VXT_v2.0.2"));
  EXPECT_FALSE(DeviceVersionIsCurrent("VXT_v2.0.1", "VXT_v2.0.2"));
  EXPECT_TRUE(DeviceVersionIsCurrent("VXT_v2.0.2", "VXT_v2.0.2"));
  EXPECT_FALSE(DeviceVersionIsCurrent("", ""));
  EXPECT_FALSE(DeviceVersionIsCurrent("", "VXT_v2.0.2"));
  EXPECT_TRUE(DeviceVersionIsCurrent("no numbers at all", "no numbers at all"));
  // Every number on its own: a higher major does not make up for a lower minor.
  EXPECT_FALSE(DeviceVersionIsCurrent("v3.0.9", "v2.1.0"));
  // The second character of the rest counts by its code; further dots are dropped.
  EXPECT_TRUE(DeviceVersionIsCurrent("v2.0.3b", "v2.0.3a"));
  EXPECT_FALSE(DeviceVersionIsCurrent("v2.0.3", "v2.0.3a"));
  EXPECT_TRUE(DeviceVersionIsCurrent("v2.0.3.5", "v2.0.35"));
  EXPECT_TRUE(DeviceVersionIsCurrent("v10.20.3", "v9.3.1"));
  EXPECT_TRUE(DeviceVersionIsCurrent("v-1.0.3", "v-2.0.3"));
}

TEST(DeviceVersionTest, TextsThatCannotBeReadAreNotCurrent) {
  for (const char* bad : {"V2.0.3", "v2.0", "v2", "vx.0.3", "v2.y.3", "v2.0.", "v2.0.x", "v.0.3", "v99999999999.0.1",
                          "v2.0..", "v+.0.1"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(ParseVersionNumbers(bad));
    EXPECT_FALSE(DeviceVersionIsCurrent(bad, "v1.0.0"));
    EXPECT_FALSE(DeviceVersionIsCurrent("v9.9.9", bad));
  }
  auto n = ParseVersionNumbers("VXT_MDM9607_v2.0.3");
  ASSERT_TRUE(n);
  EXPECT_EQ(n->major, 2);
  EXPECT_EQ(n->third, 3);
  EXPECT_EQ(n->fourth, 0);
}

TEST(DeviceVersionTest, ReleaseKind) {
  EXPECT_FALSE(ReleaseKindDiffers("dv2.1", "dv2.2"));
  EXPECT_TRUE(ReleaseKindDiffers("rv2.1", "v2.2"));
  EXPECT_TRUE(ReleaseKindDiffers("dv2.1", "v2.2"));
  EXPECT_TRUE(ReleaseKindDiffers("v1.0", "v1.1"));  // v1 against anything but v2 in D
  EXPECT_TRUE(ReleaseKindDiffers("v1.0", "v2.1"));
  EXPECT_FALSE(ReleaseKindDiffers("v2.0", "v2.1"));
  EXPECT_FALSE(ReleaseKindDiffers("v2.0", "v1.1 v2."));  // V has v1. but D has v2.
}

TEST(SelectPackageTest, TwoPackagesChooseByPairCode) {
  struct Case {
    const char* code;
    const char* name;
    const char* second;
    bool result;
    bool switched;
  };
  for (const Case& c : {Case{"NP30", "NP30", "NP31", true, false}, Case{"NP30", "NP31", "NP30", true, true},
                        Case{"NP31", "NP31", "NP31", true, true}, Case{"NP31", "NP31", "NP30", true, false},
                        Case{"NQ411", "NQ418", "NQ411", true, true}, Case{"NQ418", "NQ418", "NQ411", true, false},
                        Case{"NQ418", "NQ411", "NQ411", false, false}, Case{"", "NP30", "NP31", false, false}}) {
    SCOPED_TRACE(std::string(c.code) + " " + c.name + " " + c.second);
    bool switched = false;
    std::vector<std::string> shown;
    bool result = SelectPackageForDevice(PackageChoice{c.code, 2, c.name, c.second}, [&] { switched = true; },
                                         [&](const std::string& m) { shown.push_back(m); });
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(switched, c.switched);
    EXPECT_EQ(shown.size(), c.result ? 0u : 1u);
  }
}

TEST(SelectPackageTest, OnePackageAcceptsOrRefusesWithItsText) {
  std::vector<std::string> shown;
  auto select = [&](const char* code, const char* name, int packet = 1) {
    return SelectPackageForDevice(PackageChoice{code, packet, name, ""}, [] { FAIL() << "no second package"; },
                                  [&](const std::string& m) { shown.push_back(m); });
  };
  EXPECT_TRUE(select("NP31", "NP31"));
  EXPECT_FALSE(select("NP31", "NP30"));
  EXPECT_TRUE(select("NP30", "NP30"));
  EXPECT_FALSE(select("NP30", "NP31"));
  EXPECT_TRUE(select("NQ411", "NQ411"));
  EXPECT_FALSE(select("NQ411", "NQ418"));
  EXPECT_FALSE(select("XX", "NP30"));
  EXPECT_FALSE(select("NP30", "NP30", 3));
  EXPECT_THAT(shown, ElementsAre(kMsgVersionNotMatched, kMsgVersionNotMatchedPair, kMsgVersionNotMatchedPair,
                                 kMsgVersionNotMatched, kMsgVersionNotMatched));
}

}  // namespace
}  // namespace upwend
