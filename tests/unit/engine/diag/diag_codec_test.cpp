// The frame encoder, the check value and the receive state machine on plain byte vectors.
#include <gtest/gtest.h>

#include <random>

#include "engine/diag/crc16_x25.h"
#include "engine/diag/diag_deframer.h"
#include "engine/diag/diag_tx_frame.h"
#include "tests/support/reference_hdlc.h"
#include "tests/support/scripted_port.h"

namespace upwend::test {
namespace {

Bytes Wire(const DiagTxFrame& f) {
  auto w = f.Wire();
  return Bytes(w.begin(), w.end());
}

Bytes Encode(const Bytes& payload) {
  auto frame = std::make_unique<DiagTxFrame>();
  frame->Begin();
  for (uint8_t b : payload) frame->Append(b);
  frame->Finish();
  return Wire(*frame);
}

TEST(Crc16, StandardCheckValueAndResidue) {
  const std::string digits = "123456789";
  const auto* p = reinterpret_cast<const uint8_t*>(digits.data());
  EXPECT_EQ(Crc16X25(p, digits.size()), 0x906E);
  // Block and byte steps agree across the 8-byte slicing boundary.
  Bytes data(37);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 29 + 7);
  uint16_t stepwise = kCrc16Init;
  for (uint8_t b : data) stepwise = Crc16Step(stepwise, b);
  EXPECT_EQ(Crc16Update(kCrc16Init, data.data(), data.size()), stepwise);
  // Payload followed by its check bytes leaves the good residue.
  uint16_t crc = Crc16X25(p, digits.size());
  uint16_t r = Crc16Update(kCrc16Init, p, digits.size());
  r = Crc16Step(r, static_cast<uint8_t>(crc & 0xFF));
  r = Crc16Step(r, static_cast<uint8_t>(crc >> 8));
  EXPECT_EQ(r, kCrc16GoodResidue);
}

TEST(TxFrame, KnownRequestsAndEscapes) {
  EXPECT_EQ(Hex(Encode({0x0B})), "0B AB 4E 7E");
  EXPECT_EQ(Hex(Encode({0x11})), "11 70 F1 7E");
  Bytes escaped = Encode({0x7E, 0x7D});
  EXPECT_EQ(Hex(Bytes(escaped.begin(), escaped.begin() + 4)), "7D 5E 7D 5D");
  EXPECT_EQ(escaped, Frame({0x7E, 0x7D}, false));
  // A check value whose low byte is a flag goes out escaped too.
  bool found = false;
  for (unsigned v = 0; v < 65536 && !found; ++v) {
    Bytes payload = {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
    if ((Crc16X25(payload.data(), 2) & 0xFF) != 0x7E) continue;
    if (payload[0] == 0x7E || payload[0] == 0x7D || payload[1] == 0x7E || payload[1] == 0x7D) continue;
    Bytes wire = Encode(payload);
    EXPECT_EQ(wire[2], 0x7D);
    EXPECT_EQ(wire[3], 0x5E);
    EXPECT_EQ(wire, Frame(payload, false));
    found = true;
  }
  EXPECT_TRUE(found);
}

TEST(TxFrame, BulkAppendMatchesBytewise) {
  std::mt19937 rng(7);
  for (int round = 0; round < 50; ++round) {
    Bytes payload(rng() % 300);
    for (auto& b : payload) b = static_cast<uint8_t>(rng() % 4 == 0 ? 0x7D + rng() % 2 : rng());
    auto frame = std::make_unique<DiagTxFrame>();
    frame->Begin();
    frame->Append(std::span<const uint8_t>(payload));
    frame->Finish();
    EXPECT_EQ(Wire(*frame), Encode(payload));
    EXPECT_EQ(Wire(*frame), Frame(payload, false));
  }
}

TEST(TxFrame, CapacityRuleAndOverflowFrame) {
  auto frame = std::make_unique<DiagTxFrame>();
  frame->Begin();
  Bytes big(36858, 0x11);
  frame->Append(std::span<const uint8_t>(big));
  EXPECT_FALSE(frame->overflowed());
  EXPECT_EQ(frame->length(), 36858);
  // An escaped byte no longer fits where a plain one would not either.
  auto copy = std::make_unique<DiagTxFrame>(*frame);
  copy->Append(0x7E);
  EXPECT_TRUE(copy->overflowed());
  // A request that just fits keeps its check value.
  copy = std::make_unique<DiagTxFrame>(*frame);
  copy->Finish();
  EXPECT_FALSE(copy->overflowed());
  Bytes wire = Wire(*copy);
  EXPECT_EQ(wire, Frame(Bytes(36858, 0x11), false));

  frame->Append(0x11);
  EXPECT_TRUE(frame->overflowed());
  const uint16_t length = frame->length();
  frame->Append(0x22);  // ignored once overflowed
  EXPECT_EQ(frame->length(), length);
  frame->Finish();
  EXPECT_EQ(Hex(Wire(*frame)), "03 00 03 33 1B 7E");
  EXPECT_EQ(Wire(*frame), Frame({0x03, 0x00, 0x03}, false));

  // Escaped bytes need one more byte of room.
  frame->Begin();
  frame->Append(std::span<const uint8_t>(Bytes(36857, 0x11)));
  frame->Append(0x7D);
  EXPECT_TRUE(frame->overflowed());
  frame->Begin();
  frame->Append(std::span<const uint8_t>(Bytes(36856, 0x11)));
  frame->Append(0x7D);
  EXPECT_FALSE(frame->overflowed());
  EXPECT_EQ(frame->length(), 36858);
}

struct Decoded {
  DiagDeframer::Event event;
  Bytes content;
};

Decoded Decode(const Bytes& wire, DiagDeframer::Hunt hunt, bool block) {
  auto buffer = std::make_unique<DiagDeframer::Buffer>();
  DiagDeframer d(*buffer);
  d.Reset(hunt);
  DiagDeframer::Event e = DiagDeframer::Event::kMore;
  if (block) {
    size_t used = 0;
    e = d.FeedBlock(wire, used);
  } else {
    for (uint8_t b : wire) {
      e = d.Feed(b);
      if (e != DiagDeframer::Event::kMore && e != DiagDeframer::Event::kEscape) break;
    }
  }
  return {e, Bytes(buffer->begin(), buffer->begin() + static_cast<long>(d.count()))};
}

TEST(Deframer, ResultsOfTheStateMachine) {
  using E = DiagDeframer::Event;
  using H = DiagDeframer::Hunt;
  for (bool block : {false, true}) {
    SCOPED_TRACE(block ? "block" : "bytewise");
    Decoded ok = Decode(Frame({0x02}), H::kNeedFlag, block);
    EXPECT_EQ(ok.event, E::kGood);
    EXPECT_EQ(ok.content.size(), 3u);
    EXPECT_EQ(Decode(FrameBadCheck({0x02}), H::kNeedFlag, block).event, E::kBadCheck);
    EXPECT_EQ(Decode({0x7E, 0x02, 0x7E}, H::kNeedFlag, block).event, E::kShort);
    // Bytes before the first flag: dropped, or the start of the frame.
    Bytes noFlag = Frame({0x26, 0x01}, false);
    EXPECT_EQ(Decode(noFlag, H::kNeedFlag, block).event, E::kMore);
    EXPECT_EQ(Decode(noFlag, H::kAnyByte, block).event, E::kGood);
    Bytes junk = Frame({0x02}, false);
    for (uint8_t b : {0x7E, 0x7E, 0x7E, 0x66, 0x55}) junk.insert(junk.begin(), b);
    Decoded skipped = Decode(junk, H::kNeedFlag, block);
    EXPECT_EQ(skipped.event, E::kGood);
    EXPECT_EQ(skipped.content[0], 0x02);
    // Escapes are undone; the byte after an escape is data even when it is a flag.
    Decoded esc = Decode(Frame({0x7E, 0x7D, 0x10}), H::kNeedFlag, block);
    EXPECT_EQ(esc.event, E::kGood);
    EXPECT_EQ(Hex(Bytes(esc.content.begin(), esc.content.begin() + 3)), "7E 7D 10");
    EXPECT_EQ(Decode({0x7E, 0x01, 0x7D, 0x7E, 0x02, 0x7E}, H::kNeedFlag, block).event, E::kBadCheck);
    // Too long: the 4097th content byte.
    Bytes big(5000, 0x41);
    big.insert(big.begin(), 0x7E);
    Decoded tooLong = Decode(big, H::kNeedFlag, block);
    EXPECT_EQ(tooLong.event, E::kTooLong);
    EXPECT_EQ(tooLong.content.size(), 4096u);
    // Exactly 4096 content bytes (payload 4094 + check value) still fit.
    Decoded full = Decode(Frame(Bytes(4094, 0x41)), H::kNeedFlag, block);
    EXPECT_EQ(full.event, E::kGood);
    EXPECT_EQ(full.content.size(), 4096u);
  }
}

TEST(Deframer, RoundTripOfRandomPayloads) {
  std::mt19937 rng(11);
  for (int round = 0; round < 200; ++round) {
    Bytes payload(1 + rng() % 600);
    for (auto& b : payload) b = static_cast<uint8_t>(rng() % 3 == 0 ? 0x7D + rng() % 2 : rng());
    Bytes wire = Encode(payload);
    wire.insert(wire.begin(), 0x7E);
    for (bool block : {false, true}) {
      Decoded d = Decode(wire, DiagDeframer::Hunt::kNeedFlag, block);
      ASSERT_EQ(d.event, DiagDeframer::Event::kGood);
      ASSERT_EQ(Bytes(d.content.begin(), d.content.end() - 2), payload);
    }
  }
}

}  // namespace
}  // namespace upwend::test
