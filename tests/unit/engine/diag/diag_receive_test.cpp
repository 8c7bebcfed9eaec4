// The receive procedures on a scripted DIAG port: results, time limits, the placeholder byte
// and the stop request.
#include <gtest/gtest.h>

#include "engine/diag/diag_framing.h"
#include "tests/support/reference_hdlc.h"
#include "support/diag_port_fixture.h"

namespace upwend::test {
namespace {

class ReceiveTest : public DiagPortTest {
protected:
  void SetUp() override {
    transport.config().projectType = 1013;
    OpenPorts();
  }
  Bytes Rx(size_t n) const { return Bytes(framing->rxBuffer().begin(), framing->rxBuffer().begin() + static_cast<long>(n)); }

  std::unique_ptr<DiagFraming> framing = std::make_unique<DiagFraming>(worker, transport);
};

TEST_F(ReceiveTest, AckNakAndBadFrames) {
  diag->Arrive(Frame({0x02}));
  EXPECT_EQ(framing->ReceiveAck(), kRxAck);
  diag->Arrive(Frame({0x03, 0x00, 0x07}));
  EXPECT_EQ(framing->ReceiveAck(), 7);
  diag->Arrive(Frame({0x03, 0x01, 0x02}));
  EXPECT_EQ(framing->ReceiveAckTimed(), 0x0102);
  diag->Arrive(FrameBadCheck({0x02}));
  EXPECT_EQ(framing->ReceiveAck(), kRxBadCheck);
  diag->Arrive({0x7E, 0x02, 0x01, 0x7E});
  EXPECT_EQ(framing->ReceiveAckTimed(), kRxShort);
  // ACK code with extra content, and a NAK of the wrong size: other good frames.
  diag->Arrive(Frame({0x02, 0x00}));
  EXPECT_EQ(framing->ReceiveAck(), kRxOtherFrame);
  diag->Arrive(Frame({0x03, 0x00}));
  EXPECT_EQ(framing->ReceiveAck(), kRxOtherFrame);
  EXPECT_EQ(Elapsed(), 0u);
}

TEST_F(ReceiveTest, LeadingBytesAndFlags) {
  // ReceiveAck drops what comes before the first flag; ReceiveFrame starts a frame with it.
  Bytes noFlag = Frame({0x55, 0x02}, false);
  Bytes stream = noFlag;
  Bytes ack = Frame({0x02});
  stream.insert(stream.end(), ack.begin(), ack.end());
  diag->Arrive(stream);
  EXPECT_EQ(framing->ReceiveAck(), kRxAck);

  Bytes reply = Frame({0x26, 0x55, 0x00, 0x7E}, false);
  diag->Arrive(reply);
  EXPECT_EQ(framing->ReceiveFrame(), 6);  // content count includes the two check bytes
  EXPECT_EQ(Hex(Rx(4)), "26 55 00 7E");

  diag->Arrive({0x7E, 0x7E, 0x7E});
  diag->Arrive(Frame({0x4B, 0x13}, false));
  EXPECT_EQ(framing->ReceiveFrame(), 4);
}

TEST_F(ReceiveTest, FrameWaitStoresTheFlagAndSkipsTheErrorCheck) {
  diag->errorFlags = kCeOverrun;
  diag->Arrive(Frame({0x29, 0x01, 0x00}));
  EXPECT_EQ(framing->ReceiveFrameWait(), 6);
  EXPECT_EQ(framing->rxBuffer()[5], 0x7E);
  EXPECT_TRUE(worker.lines.empty());
  // The other receives report the flags first.
  diag->errorFlags = kCeOverrun;
  diag->Arrive(Frame({0x02}));
  EXPECT_EQ(framing->ReceiveAck(), kRxAck);
  EXPECT_EQ(worker.Texts(), (std::vector<std::string>{"There is a warning in InQue: 2"}));
}

TEST_F(ReceiveTest, OversizedRepliesStayInsideTheBuffer) {
  Bytes big(6000, 0x41);
  big.insert(big.begin(), 0x7E);
  big.push_back(0x7E);
  diag->Arrive(big);
  EXPECT_EQ(framing->ReceiveFrameWait(), kRxTooLong);
  EXPECT_EQ(framing->rxCount(), 4096u);
  EXPECT_EQ(framing->rxBuffer()[4095], 0x41);
  transport.PurgeDiag(kPurgeRxClear);

  // 4094 payload bytes and the check value make 4096 content bytes: the largest good frame;
  // the flag goes into the extra byte.
  diag->Arrive(Frame(Bytes(4094, 0x42)));
  EXPECT_EQ(framing->ReceiveFrameWait(), 4097);
  EXPECT_EQ(framing->rxBuffer()[4096], 0x7E);
  diag->Arrive(Frame(Bytes(4094, 0x42)));
  EXPECT_EQ(framing->ReceiveFrame(), 4096);
  diag->Arrive(Frame(Bytes(4095, 0x42)));
  EXPECT_EQ(framing->ReceiveAckTimed(), kRxTooLong);
  transport.PurgeDiag(kPurgeRxClear);
}

// Bytes are read in large reads and kept for the next receive; the purge before a send drops
// them like the driver's queue, and a raw read gets them first.
TEST_F(ReceiveTest, ReadAheadFeedsLaterReceivesUntilAPurge) {
  Bytes two = Frame({0x26, 0x01});
  Bytes second = Frame({0x26, 0x02}, false);
  two.insert(two.end(), second.begin(), second.end());
  diag->Arrive(two);
  EXPECT_EQ(framing->ReceiveFrame(), 4);
  EXPECT_EQ(diag->readSizes.size(), 1u);
  EXPECT_GT(diag->readSizes[0], two.size());
  EXPECT_EQ(framing->ReceiveFrame(), 4);
  EXPECT_EQ(Hex(Rx(2)), "26 02");
  EXPECT_EQ(diag->readSizes.size(), 1u);

  // A late reply read ahead with the frame before it must not answer the next request.
  Bytes late = Frame({0x02});
  late.insert(late.end(), {0x7E, 0x03, 0x00});
  diag->Arrive(late);
  EXPECT_EQ(framing->ReceiveAck(), kRxAck);
  diag->strictWrites = false;
  framing->BeginFrame();
  framing->AppendByte(0x7C);
  framing->FinishFrame();
  framing->SendFrame();
  diag->Arrive(Frame({0x26, 0x03}, false));
  EXPECT_EQ(framing->ReceiveFrame(), 4);
  EXPECT_EQ(Hex(Rx(2)), "26 03");

  Bytes withTail = Frame({0x02});
  withTail.insert(withTail.end(), {0xA1, 0xA2, 0xA3});
  diag->Arrive(withTail);
  EXPECT_EQ(framing->ReceiveAck(), kRxAck);
  uint8_t raw[8] = {};
  EXPECT_EQ(transport.ReadDiag(raw, 2), 2);
  EXPECT_EQ(transport.ReadDiag(raw + 2, 8), 1);
  EXPECT_EQ(Hex(Bytes(raw, raw + 3)), "A1 A2 A3");
  EXPECT_EQ(Elapsed(), 0u);
}

// Under time-outs that wait for every byte asked for, or when the port refused the time-outs,
// a large read could hold the receive long after the reply: those keep one-byte reads.
TEST_F(ReceiveTest, OneByteReadsWhereALargeReadWouldWait) {
  transport.config().projectType = 6;
  ASSERT_TRUE(transport.OpenDiagPort());
  Bytes f = Frame({0x02});
  f.insert(f.end(), {0x55, 0x66});
  diag->Arrive(f);
  EXPECT_EQ(framing->ReceiveAckTimed(), kRxAck);
  EXPECT_EQ(diag->readSizes, std::vector<uint32_t>(f.size() - 2, 1u));
  EXPECT_EQ(diag->Pending(), 2u);

  transport.config().projectType = 1013;
  diag->failTimeouts = true;
  ASSERT_TRUE(transport.OpenDiagPort());  // raises; the reads below go on regardless
  diag->readSizes.clear();
  diag->Arrive({0x55, 0x66});
  EXPECT_TRUE(transport.FillDiagReadAhead());
  EXPECT_EQ(diag->readSizes, std::vector<uint32_t>{1u});
  transport.PurgeDiag(kPurgeRxClear);
}

TEST_F(ReceiveTest, SilentPortTimeLimits) {
  EXPECT_EQ(framing->ReceiveAckTimed(), kRxAckTimeout);
  EXPECT_GE(Elapsed(), 5000u);
  EXPECT_LE(Elapsed(), 6000u);
  start = clock.NowMs();
  EXPECT_EQ(framing->ReceiveFrame(), kRxFrameTimeout);
  EXPECT_GE(Elapsed(), 5000u);
  EXPECT_LE(Elapsed(), 6000u);
  EXPECT_TRUE(worker.lines.empty());
}

TEST_F(ReceiveTest, UntimedReceivesEndOnlyWithTheStop) {
  worker.stopAtMs = 60000;
  EXPECT_EQ(framing->ReceiveAck(), kRxStopped);
  EXPECT_GE(Elapsed(), 60000u);
  EXPECT_LE(Elapsed(), 61000u);
  worker.stopAtMs = 0;
  EXPECT_EQ(framing->ReceiveFrameWait(), kRxStopped);
}

TEST_F(ReceiveTest, StopDuringTimedReceive) {
  worker.stopAtMs = 1500;
  EXPECT_EQ(framing->ReceiveAckTimed(), kRxStopped);
  EXPECT_LT(Elapsed(), 5000u);
}

TEST_F(ReceiveTest, LateReplyBeforeTheFrameIsStillReceived) {
  // The first byte wait ends empty after 2 s; its placeholder must not start a frame.
  diag->Arrive(Frame({0x26, 0x01}, false), 2500);
  EXPECT_EQ(framing->ReceiveFrame(), 4);
  EXPECT_EQ(Hex(Rx(2)), "26 01");
}

TEST_F(ReceiveTest, GapInsideAFrameSpoilsIt) {
  Bytes f = Frame({0x02, 0x10, 0x20});
  diag->Arrive(Bytes(f.begin(), f.begin() + 2));
  diag->Arrive(Bytes(f.begin() + 2, f.end()), 2500);
  EXPECT_EQ(framing->ReceiveAckTimed(), kRxBadCheck);
  EXPECT_EQ(framing->rxBuffer()[1], kRxPlaceholder);
}

TEST_F(ReceiveTest, EscapedByteGetsTheLongerWait) {
  Bytes f = Frame({0x7D, 0x01});  // 7E 7D 5D ...
  ASSERT_EQ(f[1], 0x7D);
  diag->Arrive(Bytes(f.begin(), f.begin() + 2));
  diag->Arrive(Bytes(f.begin() + 2, f.end()), 3000);
  EXPECT_EQ(framing->ReceiveFrame(), 4);
  EXPECT_EQ(Hex(Rx(2)), "7D 01");
}

TEST_F(ReceiveTest, SlowTimeoutProjectsStillHonourTheLimits) {
  transport.config().projectType = 6;
  ASSERT_TRUE(transport.OpenDiagPort());
  start = clock.NowMs();
  diag->Arrive(Frame({0x02}));
  EXPECT_EQ(framing->ReceiveAckTimed(), kRxAck);
  EXPECT_EQ(framing->ReceiveAckTimed(), kRxAckTimeout);
  EXPECT_LE(Elapsed(), 9000u);
}

TEST_F(ReceiveTest, ExchangeResendsTheSameFrameUntilTheReplyPasses) {
  const Bytes request = {0x26, 0x55, 0x00};
  const Bytes wire = Frame(request, false);
  diag->ExpectWrite(wire, Frame({0x13, 0x26}), 0);  // bad command reply
  diag->ExpectWrite(wire, Frame({0x26, 0x55, 0x00, 0x99}), 100);
  int misses = 0;
  ExchangeResult r = framing->Exchange(
      request, {ReplyReader::kFrame, 5, 0, 250},
      [](const Reply& reply) { return reply.result > 0 && reply.bytes.size() >= 1 && reply.bytes[0] == 0x26; },
      [&](const Reply&, int attempt) { misses = attempt; });
  EXPECT_TRUE(r.passed);
  EXPECT_EQ(r.attempts, 2);
  EXPECT_EQ(misses, 1);
  EXPECT_EQ(r.last.result, 6);
  EXPECT_EQ(transport.lastWriteCount(), wire.size());
  // Error-flag check and a purge of all four queues before each send.
  int purges = 0;
  for (const auto& entry : diag->log) purges += entry == "purge 15";
  EXPECT_EQ(purges, 2);
  EXPECT_EQ(clock.NowMs() - start, 350u);
}

TEST_F(ReceiveTest, ExchangeWithRawReadsAndLateReplyPurged) {
  const Bytes request = {0x29, 0x01, 0x00};
  const Bytes wire = Frame(request, false);
  // The first reply comes too late for its read and is discarded by the next send's purge.
  diag->ExpectWrite(wire, {0x29, 0x01, 0x00, 0xAA}, 1500);
  diag->ExpectWrite(wire, {0x29, 0x01, 0x00, 0xBB}, 10);
  ExchangeResult r = framing->Exchange(
      request, {ReplyReader::kRawRead, 10, 6, 1000},
      [](const Reply& reply) { return reply.bytes.size() >= 3 && reply.bytes[0] == 0x29; });
  EXPECT_TRUE(r.passed);
  EXPECT_EQ(r.attempts, 2);
  EXPECT_EQ(Hex(Bytes(r.last.bytes.begin(), r.last.bytes.end())), "29 01 00 BB");
}

TEST_F(ReceiveTest, ExchangeGivesUpAfterItsAttemptsOrAtTheStop) {
  const Bytes request = {0x7C};
  diag->strictWrites = false;
  ExchangeResult r = framing->Exchange(request, {ReplyReader::kAckTimed, 3, 0, 0}, [](const Reply&) { return false; });
  EXPECT_FALSE(r.passed);
  EXPECT_EQ(r.attempts, 3);
  EXPECT_EQ(diag->written.size(), 3u);

  worker.RequestStop();
  r = framing->Exchange(request, {ReplyReader::kAck, 10, 0, 0}, [](const Reply&) { return false; });
  EXPECT_EQ(r.attempts, 1);
  EXPECT_EQ(r.last.result, kRxStopped);
}

}  // namespace
}  // namespace upwend::test
