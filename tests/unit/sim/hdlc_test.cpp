#include <gtest/gtest.h>

#include <string>

#include "sim/hdlc.h"
#include "test_support.h"

namespace upwend::sim {
namespace {
using testing::B;

TEST(HdlcTest, CheckValueMatchesPublishedVectors) {
  const std::string digits = "123456789";
  EXPECT_EQ(Crc16X25(reinterpret_cast<const uint8_t*>(digits.data()), digits.size()), 0x906E);
  EXPECT_EQ(Crc16X25(nullptr, 0), 0x0000);
  // The tool's reset and power-off requests as they go out with a leading flag.
  EXPECT_EQ(EncodeHdlc(B({0x0B}), true), B({0x7E, 0x0B, 0xAB, 0x4E, 0x7E}));
  EXPECT_EQ(EncodeHdlc(B({0x11}), true), B({0x7E, 0x11, 0x70, 0xF1, 0x7E}));
}

TEST(HdlcTest, EscapesFlagAndEscapeBytesInPayloadAndCheckValue) {
  Bytes wire = EncodeHdlc(B({0x7E, 0x7D}), false);
  ASSERT_GE(wire.size(), 6u);
  EXPECT_EQ(Bytes(wire.begin(), wire.begin() + 4), B({0x7D, 0x5E, 0x7D, 0x5D}));
  EXPECT_EQ(wire.back(), 0x7E);
  // Only the last byte is a flag: every 0x7E inside was escaped, whatever the check value was.
  for (int b = 0; b < 256; ++b) {
    Bytes w = EncodeHdlc(B({b, 0x26, b}), false);
    for (size_t i = 0; i + 1 < w.size(); ++i) ASSERT_NE(w[i], 0x7E) << "payload byte " << b;
  }
}

TEST(HdlcTest, DeframerRecoversFramesHoweverTheStreamIsSplit) {
  Bytes payload1 = B({0x26, 0x7E, 0x7D, 0x01});
  Bytes payload2 = B({0x4B, 0x13, 0x0F, 0x00, 0x2F, 0x00});
  Bytes stream = EncodeHdlc(payload1, true);
  Bytes second = EncodeHdlc(payload2, false);
  stream.insert(stream.end(), second.begin(), second.end());
  for (size_t cut = 0; cut <= stream.size(); ++cut) {
    HdlcDeframer d;
    std::vector<HdlcDeframer::Frame> frames;
    d.Feed(stream.data(), cut, frames);
    d.Feed(stream.data() + cut, stream.size() - cut, frames);
    ASSERT_EQ(frames.size(), 2u) << "cut at " << cut;
    EXPECT_TRUE(frames[0].crcOk);
    EXPECT_EQ(frames[0].payload, payload1);
    EXPECT_TRUE(frames[0].leadingFlag);
    EXPECT_TRUE(frames[1].crcOk);
    EXPECT_EQ(frames[1].payload, payload2);
    EXPECT_FALSE(frames[1].leadingFlag) << "a closing flag is not a leading flag";
  }
}

TEST(HdlcTest, DeframerReportsBadFramesAndResynchronises) {
  HdlcDeframer d;
  std::vector<HdlcDeframer::Frame> frames;
  Bytes bad = EncodeHdlc(B({0x26, 0x01, 0x02}), false);
  bad[1] ^= 0xFF;
  Bytes good = EncodeHdlc(B({0x7C}), true);
  Bytes stream = B({0x7E, 0x7E, 0x01, 0x7E});  // repeated flags, then a frame too short
  stream.insert(stream.end(), bad.begin(), bad.end());
  stream.insert(stream.end(), good.begin(), good.end());
  d.Feed(stream.data(), stream.size(), frames);
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_TRUE(frames[0].tooShort);
  EXPECT_FALSE(frames[1].crcOk);
  EXPECT_TRUE(frames[2].crcOk);
  EXPECT_EQ(frames[2].payload, B({0x7C}));

  // Garbage without any flag is thrown away once it exceeds the frame limit, and the next
  // frame after a flag still comes through.
  frames.clear();
  Bytes junk(HdlcDeframer::kMaxFrame + 100, 0x55);
  d.Feed(junk.data(), junk.size(), frames);
  EXPECT_TRUE(frames.empty());
  Bytes next = EncodeHdlc(B({0x29, 0x01, 0x00}), true);
  d.Feed(next.data(), next.size(), frames);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_TRUE(frames[0].crcOk);
  EXPECT_EQ(frames[0].payload, B({0x29, 0x01, 0x00}));
}

}  // namespace
}  // namespace upwend::sim
