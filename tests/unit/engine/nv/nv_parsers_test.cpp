// The pure parts: configured line pieces and the saved item store's file format.
#include <gtest/gtest.h>

#include "engine/nv/nv_config_line.h"
#include "engine/nv/qmsl_item_store.h"

namespace upwend {
namespace {

TEST(NvConfigLine, PiecesAndBytes) {
  EXPECT_EQ(SplitNvConfigLine("4:00:01").dataText, "00:01");
  EXPECT_EQ(SplitNvConfigLine("4").verdict, NvConfigLine::Verdict::kNoId);
  EXPECT_EQ(SplitNvConfigLine(":1").verdict, NvConfigLine::Verdict::kNoId);
  EXPECT_EQ(SplitNvConfigLine("4:").verdict, NvConfigLine::Verdict::kNoData);
  EXPECT_EQ(SplitNvByteTexts(" 00, 01 ,,0A  "), (std::vector<std::string_view>{"00", "01", "0A"}));
  EXPECT_TRUE(SplitNvByteTexts(" , ").empty());
  EXPECT_EQ(ParseHexByteText("7E"), 0x7E);
  EXPECT_EQ(ParseHexByteText("FF"), 0xFF);
  for (const char* bad : {"", "0", "000", "0a", "G0", "-1", "0x"}) EXPECT_FALSE(ParseHexByteText(bad)) << bad;
  EXPECT_EQ(ParseNvIdText(" 65535 "), 65535);
  for (const char* bad : {"", " ", "65536", "-1", "1e3", "99999999999999999999"}) EXPECT_FALSE(ParseNvIdText(bad)) << bad;
}

QmslItemStore SampleStore() {
  QmslItemStore store;
  for (uint16_t id : {540, 571, 1864}) {
    QmslStoreRecord r;
    r.id = id;
    r.data.fill(static_cast<uint8_t>(id));
    store.Add(r);
  }
  QmslStoreRecord efs;
  efs.id = 20309;
  efs.localPath = "/somewhere/EFS/00020309.efs";
  store.Add(efs);
  return store;
}

TEST(QmslStoreFormat, RoundTripAndEveryCutKeepsOnlyWholeRecords) {
  const std::string bytes = EncodeQmslStore(SampleStore());
  DecodedQmslStore whole = DecodeQmslStore(bytes, "/moved/EFS");
  ASSERT_TRUE(whole.complete);
  ASSERT_EQ(whole.store.count(), 4u);
  EXPECT_EQ(whole.store.records()[1].data[0], 571 & 0xFF);
  EXPECT_EQ(whole.store.records()[3].localPath, "/moved/EFS/00020309.efs");

  size_t previous = 0;
  for (size_t cut = 0; cut < bytes.size(); ++cut) {
    DecodedQmslStore part = DecodeQmslStore(bytes.substr(0, cut), "/x");
    EXPECT_FALSE(part.complete) << cut;
    EXPECT_GE(part.store.count(), previous);
    EXPECT_LT(part.store.count(), 4u);
    previous = part.store.count();
  }
  for (size_t flip = 0; flip < bytes.size(); ++flip) {
    std::string damaged = bytes;
    damaged[flip] = static_cast<char>(damaged[flip] ^ 0x40);
    DecodedQmslStore part = DecodeQmslStore(damaged, "/x");
    EXPECT_FALSE(part.complete) << flip;
    for (size_t i = 0; i < part.store.count(); ++i) {
      EXPECT_EQ(part.store.records()[i].id, whole.store.records()[i].id);
    }
  }
}

}  // namespace
}  // namespace upwend
