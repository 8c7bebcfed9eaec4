#pragma once
// The fixture of the tests that drive a layer above the DIAG transport: the transport on a
// scripted bus with its DIAG port (COM3) open. The worker's log starts empty once the ports are
// open, and Elapsed() counts the clock from then.
#include <gtest/gtest.h>

#include <cstdint>

#include "engine/diag/diag_transport.h"
#include "platform/manual_clock.h"
#include "tests/support/scripted_port.h"
#include "tests/unit/engine/diag/support/fake_worker.h"

namespace upwend::test {

class DiagPortTest : public ::testing::Test {
protected:
  void SetUp() override { OpenPorts(); }
  void TearDown() override { bus.Verify(); }

  // Opens COM3 as the DIAG port and, with `atPort`, COM4 as the AT port.
  void OpenPorts(bool atPort = false) {
    transport.config().comPort = 3;
    diag = &bus.Line("COM3");
    ASSERT_TRUE(transport.OpenDiagPort());
    if (atPort) {
      transport.config().serialComPort = 4;
      at = &bus.Line("COM4");
      ASSERT_TRUE(transport.OpenAtPort());
    }
    worker.lines.clear();
    start = clock.NowMs();
  }
  uint64_t Elapsed() const { return clock.NowMs() - start; }

  ManualClock clock;
  FakeWorker worker{clock};
  ScriptedBus bus{clock};
  DiagTransport transport{worker, bus.Factory()};
  ScriptedLine* diag = nullptr;
  ScriptedLine* at = nullptr;
  uint64_t start = 0;
};

}  // namespace upwend::test
