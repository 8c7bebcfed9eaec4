// The worker put together with its real layers: what one layer learns during a run reaches the
// others through the run parameters.
#include <gtest/gtest.h>

#include "engine/worker/worker_assembly.h"
#include "platform/manual_clock.h"
#include "tests/support/reference_hdlc.h"
#include "tests/support/scripted_port.h"
#include "tests/unit/engine/worker/worker_doubles.h"

namespace upwend {
namespace {

const test::Bytes kResetWire = {0x7E, 0x0B, 0xAB, 0x4E, 0x7E};

// The device comes back from its reset on new port numbers. Discovery updates only the run
// parameters (through FindComPort); the reconnect must open the new ports, not the old ones.
TEST(WorkerAssemblyTest, ReconnectOpensThePortsDiscoveryFound) {
  ManualClock clock;
  test::ScriptedBus bus(clock);
  testing::Doubles d;
  d.script.portText = "COM3";
  d.script.serialPortText = "COM4";
  d.script.diagSame = false;
  d.script.discovery = [&] {
    d.script.portText = "COM11";
    d.script.serialPortText = "COM12";
  };
  testing::FakeWindow window(d);
  RunParameters p;
  p.ComPort = 3;
  p.SerialComPort = 4;
  p.projectType = 19;
  auto worker = CreateUpdateWorker(p, window, clock, bus.Factory(), {});
  test::ScriptedLine& oldDiag = bus.Line("COM3");
  test::ScriptedLine& oldAt = bus.Line("COM4");
  test::ScriptedLine& newDiag = bus.Line("\\\\.\\COM11");
  test::ScriptedLine& newAt = bus.Line("\\\\.\\COM12");

  WorkerLayers& layers = worker->layers();
  ASSERT_TRUE(layers.ports->OpenDiagPort());
  ASSERT_TRUE(layers.ports->OpenAtPort());
  oldDiag.ExpectWrite(kResetWire);
  layers.diag->ResetAndReconnect();

  EXPECT_EQ(worker->params().ComPort, 11);
  EXPECT_EQ(worker->params().SerialComPort, 12);
  EXPECT_EQ(oldDiag.opens, 1);
  EXPECT_EQ(oldAt.opens, 1);
  EXPECT_EQ(newDiag.opens, 1);
  EXPECT_EQ(newAt.opens, 1);
  EXPECT_TRUE(d.journal.Has("Reset or poweroff successfully!"));
  EXPECT_EQ(worker->ErrorCode(), 0) << worker->LastReportText();
  bus.Verify();
}

}  // namespace
}  // namespace upwend
