#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "sim/fastboot_session.h"
#include "test_support.h"
#include "tests/support/file_text.h"

namespace upwend::sim {
namespace {
namespace fs = std::filesystem;
using upwend::testing::ReadFile;

std::string Message(const std::string& body) {
  std::string out;
  uint64_t n = body.size();
  for (int i = 7; i >= 0; --i) out += static_cast<char>((n >> (8 * i)) & 0xFF);
  return out + body;
}

// Splits the device's framed output into message texts.
std::vector<std::string> Messages(const std::string& wire) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i + 8 <= wire.size()) {
    uint64_t n = 0;
    for (int k = 0; k < 8; ++k) n = (n << 8) | static_cast<uint8_t>(wire[i + k]);
    out.push_back(wire.substr(i + 8, n));
    i += 8 + n;
  }
  return out;
}

class FastbootSessionTest : public testing::DeviceStateTest {
protected:
  FastbootSessionTest() : DeviceStateTest("fastboot", 5) {}
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(DeviceStateTest::SetUp());
    session_ = std::make_unique<FastbootSession>(state_, faults_, kMax);
    std::string out;
    session_->Feed(reinterpret_cast<const uint8_t*>("FB01"), 4, out);
    ASSERT_EQ(out, "FB01");
  }

  std::vector<std::string> Send(const std::string& wire) {
    std::string out;
    session_->Feed(reinterpret_cast<const uint8_t*>(wire.data()), wire.size(), out);
    return Messages(out);
  }

  // A download whose data goes in messages of `chunk` bytes, fed `feed` bytes at a time.
  std::vector<std::string> Download(const std::string& data, size_t chunk, size_t feed) {
    char hex[16];
    snprintf(hex, sizeof hex, "%08zx", data.size());
    auto replies = Send(Message(std::string("download:") + hex));
    std::string wire;
    for (size_t i = 0; i < data.size(); i += chunk) wire += Message(data.substr(i, chunk));
    for (size_t i = 0; i < wire.size(); i += feed) {
      auto more = Send(wire.substr(i, feed));
      replies.insert(replies.end(), more.begin(), more.end());
    }
    return replies;
  }

  static constexpr uint64_t kMax = 1 << 20;
  std::unique_ptr<FastbootSession> session_;
};

TEST_F(FastbootSessionTest, AnswersVariablesAndRefusesUnknownCommands) {
  EXPECT_EQ(Send(Message("getvar:version")), std::vector<std::string>{"OKAY0.4"});
  EXPECT_EQ(Send(Message("getvar:product")), std::vector<std::string>{"OKAYmdm9607"});
  EXPECT_EQ(Send(Message("getvar:max-download-size")), std::vector<std::string>{"OKAY0x00100000"});
  EXPECT_EQ(Send(Message("getvar:nonsense"))[0].substr(0, 4), "FAIL");
  EXPECT_EQ(Send(Message("frobnicate"))[0].substr(0, 4), "FAIL");
  EXPECT_EQ(Send(Message(std::string(200, 'x')))[0], "FAILcommand too long");
  EXPECT_EQ(Send(Message("getvar:version")), std::vector<std::string>{"OKAY0.4"}) << "still in step";
}

TEST_F(FastbootSessionTest, DataPhaseIsAByteStreamHoweverSplit) {
  std::string data;
  for (int i = 0; i < 10000; ++i) data += static_cast<char>(i * 7 + i / 251);
  for (auto [chunk, feed] : {std::pair<size_t, size_t>{4096, 4096}, {1000, 3}, {10000, 9999}, {1, 64}}) {
    auto replies = Download(data, chunk, feed);
    ASSERT_EQ(replies.size(), 2u) << chunk << "/" << feed;
    EXPECT_EQ(replies[0], "DATA00002710");
    EXPECT_EQ(replies[1], "OKAY");
    EXPECT_EQ(Send(Message("flash:boot")), std::vector<std::string>{"OKAY"});
    EXPECT_EQ(ReadFile(state_.PartitionPath("boot")), data) << chunk << "/" << feed;
  }
}

TEST_F(FastbootSessionTest, RefusesOversizeDownloadsUnknownPartitionsAndMissingData) {
  EXPECT_EQ(Send(Message("flash:boot"))[0].substr(0, 4), "FAIL") << "nothing downloaded yet";
  EXPECT_EQ(Send(Message("download:00100001")), std::vector<std::string>{"FAILdata too large"});
  EXPECT_EQ(Send(Message("download:zz")), std::vector<std::string>{"FAILbad download size"});
  Download("abc", 3, 100);
  EXPECT_EQ(Send(Message("flash:nosuch")), std::vector<std::string>{"FAILunknown partition"});
  EXPECT_EQ(Send(Message("flash:../device")), std::vector<std::string>{"FAILunknown partition"});
  EXPECT_EQ(Send(Message("erase:nosuch")), std::vector<std::string>{"FAILunknown partition"});
  // A data message longer than what was announced ends the connection.
  Send(Message("download:00000004"));
  auto replies = Send(Message("toolong"));
  EXPECT_EQ(replies, std::vector<std::string>{"FAILdata beyond the announced size"});
  EXPECT_TRUE(session_->WantsClose());
}

TEST_F(FastbootSessionTest, MultiPartFlashPlacesEachPartAtItsOffset) {
  // Parts are FastbootSession::kMultiPartSize apart; check the offsets with a sparse layout.
  Download("first", 5, 100);
  EXPECT_EQ(Send(Message("mutilflash:0:system")), std::vector<std::string>{"OKAY"});
  EXPECT_EQ(fs::file_size(state_.PartitionPath("system")), 5u);
  Download("second", 6, 100);
  EXPECT_EQ(Send(Message("mutilflash:2:system"))[0], "FAILpart out of order");
  fs::resize_file(state_.PartitionPath("system"), FastbootSession::kMultiPartSize);
  EXPECT_EQ(Send(Message("mutilflash:1:system")), std::vector<std::string>{"OKAY"});
  EXPECT_EQ(fs::file_size(state_.PartitionPath("system")), FastbootSession::kMultiPartSize + 6);
  std::ifstream in(state_.PartitionPath("system"), std::ios::binary);
  in.seekg(static_cast<std::streamoff>(FastbootSession::kMultiPartSize));
  std::string tail(6, '\0');
  in.read(tail.data(), 6);
  EXPECT_EQ(tail, "second");
  EXPECT_EQ(Send(Message("mutilflash:x:system"))[0].substr(0, 4), "FAIL");
}

TEST_F(FastbootSessionTest, ModemAndEfsImagesWipeCalibrationAndIdentity) {
  std::string sn = state_.Identity("SN");
  auto nv = state_.ReadNv(1738);
  Download("img", 3, 100);
  EXPECT_EQ(Send(Message("flash:boot")), std::vector<std::string>{"OKAY"});
  EXPECT_EQ(state_.Identity("SN"), sn) << "other partitions keep the modem's data";
  EXPECT_EQ(Send(Message("erase:modem")), std::vector<std::string>{"OKAY"});
  EXPECT_EQ(fs::file_size(state_.PartitionPath("modem")), 0u);
  EXPECT_EQ(state_.Identity("SN"), "");
  EXPECT_EQ(state_.Identity("IMEI"), "000000000000000");
  EXPECT_NE(state_.ReadNv(1738), nv);
  EXPECT_FALSE(fs::exists(state_.EfsRoot() + "/user")) << "user files go with the file system";
  EXPECT_TRUE(fs::exists(state_.EfsRoot() + "/nv/item_files/rfnv")) << "the blank tree is still there";
}

TEST_F(FastbootSessionTest, FaultsFailAPartitionAndCutADownloadShort) {
  std::string error;
  ASSERT_TRUE(faults_.Add("fastboot-fail:boot", error));
  ASSERT_TRUE(faults_.Add("fastboot-disconnect:100", error));
  Download(std::string(50, 'a'), 50, 50);
  EXPECT_FALSE(session_->WantsClose());
  EXPECT_EQ(Send(Message("flash:boot"))[0].substr(0, 4), "FAIL");
  EXPECT_EQ(Send(Message("flash:rpm")), std::vector<std::string>{"OKAY"});
  auto replies = Download(std::string(300, 'b'), 300, 300);
  EXPECT_EQ(replies, std::vector<std::string>{"DATA0000012c"}) << "no OKAY after the cut";
  EXPECT_TRUE(session_->WantsClose());
  EXPECT_EQ(session_->DataBytes(), 150u) << "50 of the first download, 100 of the second";
}

TEST_F(FastbootSessionTest, RebootAnswersOkayAndAsksForNormalMode) {
  EXPECT_EQ(Send(Message("reboot")), std::vector<std::string>{"OKAY"});
  EXPECT_TRUE(session_->WantsClose());
  EXPECT_EQ(session_->Action(), DeviceAction::RebootNormal);
}

TEST(FastbootHandshakeTest, ANonFastbootPeerIsDropped) {
  testing::TempDir dir("fbhs");
  StateStore state;
  std::string error;
  ASSERT_TRUE(state.Open(dir.Path(), 1, error));
  FaultSet faults;
  FastbootSession s(state, faults, 1024);
  std::string out;
  s.Feed(reinterpret_cast<const uint8_t*>("GET / HTTP/1.0\r\n"), 16, out);
  EXPECT_TRUE(out.empty());
  EXPECT_TRUE(s.WantsClose());
}

}  // namespace
}  // namespace upwend::sim
