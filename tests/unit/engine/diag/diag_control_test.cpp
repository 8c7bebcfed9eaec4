// The DIAG control requests (mode change, platform query) against a scripted DIAG port.
#include "engine/diag/diag_control.h"

#include <gtest/gtest.h>

#include "engine/diag/diag_framing.h"
#include "tests/support/reference_hdlc.h"
#include "support/diag_port_fixture.h"

namespace upwend::test {
namespace {

class ControlTest : public DiagPortTest {
protected:
  std::unique_ptr<DiagFraming> framing = std::make_unique<DiagFraming>(worker, transport);
  DiagControlRequests channel{worker, transport, *framing};
};

TEST_F(ControlTest, OfflineRequestRetriesAndReportsWhatCame) {
  const Bytes request = Frame({0x29, 0x01, 0x00}, false);
  diag->ExpectWrite(request, {0x29, 0x05, 0x00, 0xAB});
  diag->ExpectWrite(request, {0x29, 0x01, 0x00, 0x11, 0x22, 0x7E});
  EXPECT_EQ(channel.SendDiagOffline(), 0);
  EXPECT_EQ(worker.Texts(), (std::vector<std::string>{"Offline cmd rec: 29 05 00 AB 00 00 00 00 00 00"}));

  worker.lines.clear();
  diag->strictWrites = false;
  start = clock.NowMs();
  EXPECT_EQ(channel.SendDiagReset(), -1);
  EXPECT_EQ(diag->written.size(), 2u + 10u);
  EXPECT_TRUE(worker.lines.empty());  // only the offline request reports its replies
  EXPECT_EQ(Elapsed(), 10u * (1000u + 1000u));
}

TEST_F(ControlTest, EarlierReplyInTheScratchDoesNotAcknowledge) {
  const Bytes request = Frame({0x29, 0x02, 0x00}, false);
  diag->ExpectWrite(request, {0x29, 0x02, 0x00});
  EXPECT_EQ(channel.SendDiagReset(), 0);
  diag->strictWrites = false;
  diag->ExpectWrite(request, {0x29, 0x02}, 0);  // two bytes only, the third position is stale
  EXPECT_EQ(channel.SendDiagReset(), -1);
}

TEST_F(ControlTest, PlatformQuery) {
  const Bytes request = Frame({0x7C}, false);
  diag->ExpectWrite(request, Frame({0x7C, 0x01}));
  diag->ExpectWrite(request, Frame({0x7C, 0x02, 0, 0, 0, 0, 0, 0, 0x2A, 0x00}));
  EXPECT_EQ(channel.QueryPlatform(), 0x2A);
  // Too short to hold the platform byte, or a corrupt frame: -1.
  diag->ExpectWrite(request, Frame({0x7C, 0x02, 0, 0, 0, 0, 0, 0}));
  diag->strictWrites = false;
  EXPECT_EQ(channel.QueryPlatform(), -1);
  diag->strictWrites = true;
  diag->ExpectWrite(request, FrameBadCheck({0x7C, 0x02, 0, 0, 0, 0, 0, 0, 0x2A}));
  diag->ExpectWrite(request);
  diag->ExpectWrite(request);
  EXPECT_EQ(channel.QueryPlatform(), -1);
}

TEST_F(ControlTest, StopEndsThePlatformQuery) {
  diag->ExpectWrite(Frame({0x7C}, false), Frame({0x7C, 0x02, 0, 0, 0, 0, 0, 0, 0x2A, 0x00}));
  worker.RequestStop();
  EXPECT_EQ(channel.QueryPlatform(), -1);
  EXPECT_EQ(diag->written.size(), 1u);  // no further attempts once stopped
  diag->Purge(kPurgeRxClear);
}

}  // namespace
}  // namespace upwend::test
