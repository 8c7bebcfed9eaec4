// The streaming-download reset and power-off commands and the reset-and-reconnect procedure.
#include <gtest/gtest.h>

#include "engine/diag/diag_framing.h"
#include "tests/support/reference_hdlc.h"
#include "support/diag_port_fixture.h"
#include "support/fake_window.h"

namespace upwend::test {
namespace {

const Bytes kResetWire = {0x7E, 0x0B, 0xAB, 0x4E, 0x7E};
const Bytes kPowerOffWire = {0x7E, 0x11, 0x70, 0xF1, 0x7E};

class CommandTest : public DiagPortTest {
protected:
  void SetUp() override { OpenPorts(true); }

  FakeWindow window;
  std::unique_ptr<DiagFraming> framing = std::make_unique<DiagFraming>(worker, transport, &window);
};

TEST_F(CommandTest, PowerOffConfirmed) {
  diag->ExpectWrite(kPowerOffWire, Frame({0x12}), 300);
  EXPECT_EQ(framing->SendStreamPowerOff(), 0);
  EXPECT_EQ(worker.Texts(), (std::vector<std::string>{"Send poweroff command"}));
}

TEST_F(CommandTest, PowerOffUnconfirmedAfterFiveWaits) {
  diag->ExpectWrite(kPowerOffWire, Frame({0x02}));
  EXPECT_EQ(framing->SendStreamPowerOff(), 1);
  EXPECT_GE(Elapsed(), 4 * 5000u);
  EXPECT_LE(Elapsed(), 5 * 6100u);
}

TEST_F(CommandTest, StaleReplyInTheBufferDoesNotConfirm) {
  // A reply starting with 0x12 from earlier is still in the receive buffer; this time the
  // device stays silent.
  diag->Arrive(Frame({0x12, 0x00}));
  ASSERT_EQ(framing->ReceiveFrame(), 4);
  diag->ExpectWrite(kPowerOffWire);
  EXPECT_EQ(framing->SendStreamPowerOff(), 1);
  diag->ExpectWrite(kResetWire, FrameBadCheck({0x0C}));
  EXPECT_EQ(framing->SendStreamReset(), 1);
}

TEST_F(CommandTest, ResetAcknowledged) {
  window.changeSeen = window.arrivalSeen = true;
  diag->ExpectWrite(kResetWire, Frame({0x0C}), 50);
  EXPECT_EQ(framing->SendStreamReset(), 0);
  EXPECT_EQ(window.clears, 1);
  EXPECT_FALSE(window.changeSeen);
  EXPECT_EQ(worker.Texts(), (std::vector<std::string>{"Send reset command"}));
  diag->ExpectWrite(kResetWire, Frame({0x02}));
  EXPECT_EQ(framing->SendStreamReset(), 1);
}

TEST_F(CommandTest, ReconnectOnTheSamePorts) {
  window.portText = "COM3";
  window.serialPortText = "COM4";
  diag->ExpectWrite(kResetWire);
  // The device re-enumerates 2.5 s after the reset.
  window.onPoll = [&] {
    if (Elapsed() >= 2500) window.changeSeen = window.arrivalSeen = true;
  };
  EXPECT_TRUE(framing->ResetAndReconnect({}, false));
  EXPECT_EQ(worker.Texts(), (std::vector<std::string>{
                                "Reset or power off command......",
                                "Receive device change after reset",
                                "Receive device Arrival after reset",
                                "Port has not changed",
                                "COM3 Diagnostic ready",
                                "COM4 Modem ready",
                                "Opened......",
                                "Initial port successful after reset.",
                                "Reset or poweroff successfully!",
                            }));
  EXPECT_EQ(window.checkedPort, 3);
  EXPECT_EQ(Elapsed(), 3000u + 3000u);
  EXPECT_TRUE(transport.DiagOpen());
  EXPECT_TRUE(transport.AtOpen());
  EXPECT_EQ(diag->opens, 2);
  EXPECT_EQ(at->opens, 2);
}

TEST_F(CommandTest, ReconnectFindsNewPorts) {
  window.diagPortSame = false;
  diag->ExpectWrite(kResetWire);
  window.changeSeen = window.arrivalSeen = false;
  bus.Line("\\\\.\\COM11");
  bus.Line("\\\\.\\COM12");
  int calls = 0;
  auto find = [&] {
    ++calls;
    if (calls == 1) return false;
    window.portText = calls >= 3 ? "COM11" : "";
    window.serialPortText = "COM12";
    transport.config().comPort = calls >= 3 ? 11 : transport.config().comPort;
    transport.config().serialComPort = 12;
    return true;
  };
  EXPECT_TRUE(framing->ResetAndReconnect(find, false));
  EXPECT_EQ(calls, 3);
  EXPECT_EQ(worker.Count("Port has changed"), 1);
  EXPECT_EQ(worker.Count("COM11 Diagnostic ready"), 1);
  EXPECT_EQ(worker.Count("COM12 Modem ready"), 1);
  // No device-change notice: 10 s and 60 s of waiting before the ports are looked at.
  EXPECT_EQ(Elapsed(), 10000u + 60000u + 3000u);
  EXPECT_EQ(bus.Line("\\\\.\\COM11").opens, 1);

  // The AMSS-only variant settles for the AT port alone.
  FakeWorker w2{clock};
  DiagFraming f2{w2, transport, &window};
  calls = 0;
  window.portText = "";
  auto findAtOnly = [&] {
    ++calls;
    window.serialPortText = "COM12";
    return true;
  };
  bus.Line("\\\\.\\COM11").ExpectWrite(kResetWire);
  window.changeSeen = true;
  f2.ResetAndReconnect(findAtOnly, true);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(w2.Count("Diagnostic commport0......empty"), 1);
}

TEST_F(CommandTest, ReconnectGivesUpAfterFiveAttempts) {
  window.changeSeen = window.arrivalSeen = false;
  window.onPoll = [&] { window.changeSeen = window.arrivalSeen = true; };
  window.serialPortText = "COM4";
  diag->ExpectWrite(kResetWire);
  diag->failOpens = 100;
  EXPECT_FALSE(framing->ResetAndReconnect({}, false));
  EXPECT_EQ(worker.Count("Reset or poweroff......wait"), 5);
  for (const auto& l : worker.lines) {
    if (l.text == "Reset or poweroff......wait") {
      EXPECT_EQ(l.status, 5);
    }
  }
  EXPECT_EQ(worker.raised, (std::vector<std::string>{"Fail to initial port after rest"}));
  // The AT port opened in the first attempt is not opened again.
  EXPECT_EQ(at->opens, 2);
  EXPECT_TRUE(transport.AtOpen());
  diag->failOpens = 0;
}

TEST_F(CommandTest, ReconnectClosesThePortsWithItsWarnings) {
  window.changeSeen = window.arrivalSeen = true;
  window.serialPortText = "COM4";
  diag->ExpectWrite(kResetWire);
  diag->failCloses = 2;
  at->failCloses = 1;
  EXPECT_TRUE(framing->ResetAndReconnect({}, false));
  EXPECT_EQ(worker.Count("Warning-39"), 2);
  EXPECT_EQ(worker.Count("Warning-40"), 1);
}

}  // namespace
}  // namespace upwend::test
