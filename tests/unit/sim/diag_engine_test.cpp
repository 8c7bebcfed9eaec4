#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "sim/diag_engine.h"
#include "test_support.h"

namespace upwend::sim {
namespace {
using testing::B;

Bytes NvRequest(uint8_t cmd, uint16_t id, uint8_t fill = 0) {
  Bytes r(DiagEngine::kNvPacket, fill);
  r[0] = cmd;
  r[1] = static_cast<uint8_t>(id);
  r[2] = static_cast<uint8_t>(id >> 8);
  r[131] = cmd == 0x26 ? 0xCC : 0x00;
  r[132] = cmd == 0x26 ? 0xCC : 0x00;
  return r;
}

uint16_t Status(const Bytes& nvReply) { return static_cast<uint16_t>(nvReply[131] | (nvReply[132] << 8)); }

Bytes Efs(uint16_t code, const Bytes& fields) {
  Bytes r = {0x4B, 0x13, static_cast<uint8_t>(code), static_cast<uint8_t>(code >> 8)};
  r.insert(r.end(), fields.begin(), fields.end());
  return r;
}

Bytes Path(const std::string& p) {
  Bytes b(p.begin(), p.end());
  b.push_back(0);
  return b;
}

Bytes Le32(uint32_t v) { return B({int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF), int(v >> 24)}); }

uint32_t At32(const Bytes& b, size_t i) { return b[i] | (b[i + 1] << 8) | (b[i + 2] << 16) | (uint32_t(b[i + 3]) << 24); }

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

class DiagEngineTest : public testing::DeviceStateTest {
protected:
  DiagEngineTest() : DeviceStateTest("diag", 3) {}
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(DeviceStateTest::SetUp());
    engine_ = std::make_unique<DiagEngine>(state_, faults_);
  }

  Bytes Ask(const Bytes& request, DeviceAction* action = nullptr) {
    DeviceAction a = DeviceAction::None;
    auto reply = engine_->Answer(request, a);
    if (action) *action = a;
    return reply.value_or(Bytes{});
  }

  // Sends a framed request through the wire side and deframes what comes back.
  std::vector<HdlcDeframer::Frame> Wire(const Bytes& request, bool leadingFlag, std::vector<TimedOutput>* raw = nullptr) {
    Bytes frame = EncodeHdlc(request, leadingFlag);
    auto outputs = engine_->Feed(frame.data(), frame.size());
    if (raw) *raw = outputs;
    std::vector<HdlcDeframer::Frame> frames;
    HdlcDeframer d;
    for (auto& o : outputs) d.Feed(reinterpret_cast<const uint8_t*>(o.bytes.data()), o.bytes.size(), frames);
    return frames;
  }

  std::unique_ptr<DiagEngine> engine_;
};

TEST_F(DiagEngineTest, NvItemsReadWriteAndReportPerItemStatus) {
  Bytes reply = Ask(NvRequest(0x26, 1738));
  ASSERT_EQ(reply.size(), DiagEngine::kNvPacket);
  EXPECT_EQ(reply[0], 0x26);
  EXPECT_EQ(Status(reply), 0);
  EXPECT_EQ(Bytes(reply.begin() + 3, reply.begin() + 131), *state_.ReadNv(1738));

  Bytes write = NvRequest(0x27, 4321, 0xA5);
  write[131] = write[132] = 0;
  reply = Ask(write);
  EXPECT_EQ(reply[0], 0x27);
  EXPECT_EQ(Status(reply), 0);
  reply = Ask(NvRequest(0x26, 4321));
  EXPECT_EQ(Status(reply), 0);
  EXPECT_EQ(reply[3], 0xA5);
  EXPECT_EQ(reply[130], 0xA5);

  EXPECT_EQ(Status(Ask(NvRequest(0x26, 60000))), 5) << "an item never written is inactive";
  Bytes shortRequest = NvRequest(0x26, 1738);
  shortRequest.pop_back();
  EXPECT_EQ(Ask(shortRequest)[0], DiagEngine::kBadLength);
}

TEST_F(DiagEngineTest, NvFaultsSetTheStatusOfOneItem) {
  std::string error;
  ASSERT_TRUE(faults_.Add("nv-inactive:1738", error));
  ASSERT_TRUE(faults_.Add("nv-readonly:540", error));
  ASSERT_TRUE(faults_.Add("nv-status:571:6", error));
  EXPECT_EQ(Status(Ask(NvRequest(0x26, 1738))), 5);
  EXPECT_EQ(Status(Ask(NvRequest(0x26, 1739))), 0);
  EXPECT_EQ(Status(Ask(NvRequest(0x26, 540))), 0) << "a read-only item can be read";
  auto before = state_.ReadNv(540);
  Bytes w = NvRequest(0x27, 540, 0x11);
  w[131] = w[132] = 0;
  EXPECT_EQ(Status(Ask(w)), 7);
  EXPECT_EQ(state_.ReadNv(540), before) << "a refused write changes nothing";
  EXPECT_EQ(Status(Ask(NvRequest(0x26, 571))), 6);
}

TEST_F(DiagEngineTest, EfsFilesAndFoldersBehaveLikeTheDevice) {
  // mkdir, open for writing (descriptor 0), write, close.
  EXPECT_EQ(At32(Ask(Efs(0x09, Cat({B({0xFF, 0x01}), Path("/data")}))), 4), 0u);
  EXPECT_EQ(At32(Ask(Efs(0x09, Cat({B({0xFF, 0x01}), Path("data")}))), 4), EfsService::kEEXIST);
  Bytes open = Ask(Efs(0x02, Cat({Le32(0x241), Le32(0x1B6), Path("data/a.cfg")})));
  ASSERT_EQ(open.size(), 12u);
  EXPECT_EQ(At32(open, 4), 0u) << "first descriptor is 0";
  EXPECT_EQ(At32(open, 8), 0u);
  Bytes data(1488, 0x5A);
  Bytes wr = Ask(Efs(0x05, Cat({Le32(0), Le32(0), data})));
  EXPECT_EQ(At32(wr, 4), 0u);
  EXPECT_EQ(At32(wr, 12), 1488u);
  EXPECT_EQ(At32(Ask(Efs(0x03, Le32(0))), 4), 0u);
  EXPECT_EQ(At32(Ask(Efs(0x03, Le32(0))), 4), EfsService::kEBADF) << "closed twice";

  // stat: mode high byte 0 and one link for a plain file; error 2 for a missing path.
  Bytes st = Ask(Efs(0x0F, Path("data/a.cfg")));
  EXPECT_EQ(At32(st, 4), 0u);
  EXPECT_EQ(At32(st, 8), 0100666u);
  EXPECT_EQ(At32(st, 12), 1488u);
  EXPECT_EQ(st[16], 1);
  EXPECT_EQ(At32(Ask(Efs(0x0F, Path("data/missing"))), 4), EfsService::kENOENT);

  // read back in 512-byte pieces.
  ASSERT_EQ(At32(Ask(Efs(0x02, Cat({Le32(0), Le32(0x124), Path("data/a.cfg")}))), 4), 0u);
  Bytes rd = Ask(Efs(0x04, Cat({Le32(0), Le32(512), Le32(1024)})));
  EXPECT_EQ(At32(rd, 12), 464u);
  EXPECT_EQ(rd.size(), 20u + 464u);
  EXPECT_EQ(rd[20], 0x5A);
  Ask(Efs(0x03, Le32(0)));

  // The listing: handle 1, entries by sequence number, then an empty entry.
  Bytes od = Ask(Efs(0x0B, Path("data")));
  EXPECT_EQ(At32(od, 4), 1u);
  Bytes e1 = Ask(Efs(0x0C, Cat({Le32(1), Le32(1)})));
  EXPECT_EQ(At32(e1, 16), 0u) << "a file";
  EXPECT_EQ(e1[20], 0xB6);
  EXPECT_EQ(e1[21], 0x81);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(e1.data() + 40)), "a.cfg");
  Bytes e2 = Ask(Efs(0x0C, Cat({Le32(1), Le32(2)})));
  EXPECT_EQ(e2[20], 0);
  EXPECT_EQ(e2[21], 0);
  EXPECT_EQ(At32(Ask(Efs(0x0D, Le32(1))), 4), 0u);

  // A folder with a file cannot be removed; after unlink it can.
  EXPECT_EQ(At32(Ask(Efs(0x0A, Path("data"))), 4), EfsService::kENOTEMPTY);
  EXPECT_EQ(At32(Ask(Efs(0x08, Path("data/a.cfg"))), 4), 0u);
  EXPECT_EQ(At32(Ask(Efs(0x08, Path("data/a.cfg"))), 4), EfsService::kENOENT);
  EXPECT_EQ(At32(Ask(Efs(0x0A, Path("data"))), 4), 0u);
  EXPECT_EQ(At32(Ask(Efs(0x13, Path(""))), 4), 0u) << "statfs";
}

TEST_F(DiagEngineTest, EfsPathsNeverLeaveTheDeviceTree) {
  std::string outside = std::filesystem::path(dir_.Path()).parent_path().string() + "/escape-" + std::to_string(getpid());
  for (const char* p : {"../escape", "nv/../../escape", "/../x"}) {
    Bytes open = Ask(Efs(0x02, Cat({Le32(0x241), Le32(0x1B6), Path(p)})));
    EXPECT_EQ(At32(open, 4), 0xFFFFFFFFu) << p;
    EXPECT_EQ(At32(open, 8), EfsService::kEINVAL) << p;
  }
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(dir_.Path()) / "escape"));
  // Doubled slashes, as the calibration item paths are written, name the same file.
  Bytes st = Ask(Efs(0x0F, Path("nv//item_files//rfnv//00020309")));
  EXPECT_EQ(At32(st, 4), 0u);
  EXPECT_GT(At32(st, 12), 0u);
  EXPECT_EQ(Ask(Efs(0x0F, B({'n', 'v'})))[0], DiagEngine::kBadCommand) << "a path without its terminator";
}

TEST_F(DiagEngineTest, EfsErrorFaultFailsRequestsOnThatPath) {
  std::string error;
  ASSERT_TRUE(faults_.Add("efs-error:/nv/item_files/conf/mmode.conf:13", error)) << error;
  EXPECT_EQ(At32(Ask(Efs(0x0F, Path("nv/item_files/conf/mmode.conf"))), 4), 13u);
  EXPECT_EQ(At32(Ask(Efs(0x0F, Path("policyman/carrier_policy.xml"))), 4), 0u);
}

TEST_F(DiagEngineTest, ControlRequestsAreAcknowledgedAndUnknownOnesRefused) {
  DeviceAction action = DeviceAction::None;
  EXPECT_EQ(Ask(B({0x29, 0x01, 0x00}), &action), B({0x29, 0x01, 0x00}));
  EXPECT_EQ(action, DeviceAction::None);
  EXPECT_EQ(Ask(B({0x29, 0x02, 0x00}), &action), B({0x29, 0x02, 0x00}));
  EXPECT_EQ(action, DeviceAction::RebootNormal);
  EXPECT_EQ(Ask(B({0x0B}), &action), B({0x0C}));
  EXPECT_EQ(action, DeviceAction::RebootNormal);
  EXPECT_EQ(Ask(B({0x11}), &action), B({0x12}));
  Bytes build = Ask(B({0x7C}));
  ASSERT_GE(build.size(), 9u);
  EXPECT_EQ(build[0], 0x7C);
  EXPECT_EQ(build[1], 0x02);
  EXPECT_EQ(build[8], 9) << "the platform code";
  EXPECT_EQ(Ask(B({0x00}))[0], 0x00);
  EXPECT_EQ(Ask(B({0x42, 0x01, 0x02})), B({0x13, 0x42, 0x01, 0x02})) << "bad command repeats the request";
  EXPECT_EQ(Ask(Efs(0x77, {}))[0], 0x13);
}

TEST_F(DiagEngineTest, RepliesCarryALeadingFlagOnlyWhenTheRequestDid) {
  std::vector<TimedOutput> raw;
  auto frames = Wire(B({0x0B}), true, &raw);
  ASSERT_EQ(raw.size(), 1u);
  EXPECT_EQ(static_cast<uint8_t>(raw[0].bytes[0]), 0x7E);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].payload, B({0x0C}));
  frames = Wire(Efs(0x0B, Path("nv")), false, &raw);
  ASSERT_EQ(raw.size(), 1u);
  EXPECT_EQ(raw[0].bytes.substr(0, 3), std::string("\x4B\x13\x0B", 3)) << "a raw read sees the reply first";
  // Garbage and a spoilt frame get no answer; the next good request does.
  Bytes junk = B({0x01, 0x02, 0x7E, 0x7D, 0x7E, 0x55, 0x66, 0x77, 0x7E});
  EXPECT_TRUE(engine_->Feed(junk.data(), junk.size()).empty());
  EXPECT_EQ(Wire(NvRequest(0x26, 1738), false).size(), 1u);
}

TEST_F(DiagEngineTest, DiagFaultsDropDelayNakOrSpoilTheReply) {
  std::string error;
  ASSERT_TRUE(faults_.Add("diag-drop:26@1", error));
  ASSERT_TRUE(faults_.Add("diag-delay:7c:1500", error));
  ASSERT_TRUE(faults_.Add("diag-nak:00:0x0007", error));
  ASSERT_TRUE(faults_.Add("diag-badcrc:4b130f00", error));
  std::vector<TimedOutput> raw;
  EXPECT_TRUE(Wire(NvRequest(0x26, 1738), false, &raw).empty());
  EXPECT_TRUE(raw.empty()) << "dropped";
  EXPECT_EQ(Wire(NvRequest(0x26, 1738), false).size(), 1u) << "@1: the second request is answered";

  auto frames = Wire(B({0x7C}), false, &raw);
  ASSERT_EQ(raw.size(), 1u);
  EXPECT_EQ(raw[0].delayMs, 1500u);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_TRUE(frames[0].crcOk);

  frames = Wire(B({0x00}), false);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].payload, B({0x03, 0x00, 0x07}));

  frames = Wire(Efs(0x0F, Path("nv")), false);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_FALSE(frames[0].crcOk);
  EXPECT_TRUE(Wire(Efs(0x0B, Path("nv")), false)[0].crcOk) << "only the named request is spoilt";
}

}  // namespace
}  // namespace upwend::sim
