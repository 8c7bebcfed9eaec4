#include <gtest/gtest.h>

#include <string>

#include "sim/at_engine.h"
#include "test_support.h"

namespace upwend::sim {
namespace {

class AtEngineTest : public testing::DeviceStateTest {
protected:
  AtEngineTest() : DeviceStateTest("at", 7) {}

  // Everything the device sends back for `input` (echo included), and the last action.
  std::string Send(const std::string& input, DeviceAction* action = nullptr) {
    std::string out;
    for (auto& o : engine_.Feed(reinterpret_cast<const uint8_t*>(input.data()), input.size())) {
      out += o.bytes;
      if (action && o.action != DeviceAction::None) *action = o.action;
    }
    return out;
  }

  AtEngine engine_{state_, faults_};
};

TEST(AtLineTest, SplitsCommandForms) {
  AtCommand c = ParseAtLine("at+cuit87?");
  EXPECT_EQ(c.form, AtCommand::Form::Query);
  EXPECT_EQ(c.name, "+CUIT87");
  c = ParseAtLine("AT+VXTSN=1,5,\"ab=c?\"");
  EXPECT_EQ(c.form, AtCommand::Form::Set);
  EXPECT_EQ(c.name, "+VXTSN");
  EXPECT_EQ(c.argument, "1,5,\"ab=c?\"");
  EXPECT_EQ(ParseAtLine("AT+TESTINF2=?").form, AtCommand::Form::Test);
  EXPECT_EQ(ParseAtLine("  AT  ").form, AtCommand::Form::Bare);
  EXPECT_EQ(ParseAtLine("ATI").form, AtCommand::Form::Exec);
  for (const char* bad : {"", "A", "XYZ", "AT=", "AT?", "AT+X?junk"}) {
    EXPECT_EQ(ParseAtLine(bad).form, AtCommand::Form::Invalid) << bad;
  }
}

TEST_F(AtEngineTest, IdentificationRepliesAreShapedLikeTheModems) {
  std::string ati = Send("ATI\r\n");
  EXPECT_EQ(ati.rfind("ATI\r", 0), 0u) << "echo first";
  EXPECT_NE(ati.find("\r\nRevision: VXT_MDM9607_v2.0.3\r\nIMEI: " + state_.Identity("IMEI") + "\r\n"), std::string::npos);
  EXPECT_NE(ati.find("\r\nOK\r\n"), std::string::npos);
  EXPECT_NE(Send("AT+VXTSW\r\n\r\n").find("\r\n+VXTSW: SWVD004.3.0012\r\n\r\nOK\r\n"), std::string::npos);
  EXPECT_NE(Send("at+vxtinf=0,2\r\n\r\n").find("+VXTINF: SWYF001\r\n\r\nOK"), std::string::npos);
  // The tool takes the version from "SWV" up to the line break before OK.
  EXPECT_NE(Send("AT+CGMR\r\n\r\n").find("\r\nSWV2.0.3_MDM9607\r\n\r\nOK\r\n"), std::string::npos);
}

TEST_F(AtEngineTest, IdentityValuesAreReadAndWrittenBack) {
  std::string sn = state_.Identity("SN");
  ASSERT_FALSE(sn.empty());
  EXPECT_NE(Send("AT+VXTSN=0,5\r\n\r\n").find("\r\n+VXTSN: " + sn + "\r\n\r\nOK\r\n"), std::string::npos);
  EXPECT_NE(Send("AT+VXTSN=1,5,\"NEWSN1\"\r\n").find("\r\nOK\r\n"), std::string::npos);
  EXPECT_EQ(state_.Identity("SN"), "NEWSN1");
  Send("AT+VXTSN=1,10,\"\"\r\n");
  EXPECT_EQ(state_.Identity("BLUETOOTH"), "");
  // The station results are kept apart and reported inside the test information.
  Send("AT+TESTINF2=\"RF:PASS,UIT87:FAIL\"\r\n");
  Send("AT+CUIT87=FAIL\r\n");
  EXPECT_NE(Send("AT+TESTINF2=?\r\n\r\n").find("+TESTINF2: RF:PASS,UIT87:FAIL,UIT89:PASS\r\n"), std::string::npos);
  Send("AT+CUIT87=FAIL\r\n");
  EXPECT_NE(Send("AT+CUIT87?\r\n").find("+CUIT87: FAIL\r\n"), std::string::npos);
  Send("AT+GMI=\"MAKER\"\r\n");
  EXPECT_NE(Send("AT+GMI\r\n\r\n").find("+GMI: MAKER\r\n"), std::string::npos);

  // Values survive a restart of the device.
  StateStore again;
  std::string error;
  ASSERT_TRUE(again.Open(dir_.Path(), 99, error));
  EXPECT_EQ(again.Identity("SN"), "NEWSN1");
  EXPECT_EQ(again.Identity("UIT87"), "FAIL");

  for (const char* bad : {"AT+VXTSN=0,4\r\n", "AT+VXTSN=0,13\r\n", "AT+VXTSN=2,5\r\n", "AT+VXTSN=1,5\r\n"}) {
    EXPECT_NE(Send(bad).find("\r\nERROR\r\n"), std::string::npos) << bad;
  }
}

TEST_F(AtEngineTest, EveryCommandOfTheToolIsAnsweredOkAndOthersError) {
  for (const char* ok : {"AT", "AT+PMU", "AT+CFUN=5", "AT+CFUN=1", "AT+DISK=8,\"D1\"", "AT+DISK=8,\"D2\"",
                         "AT+GPIOPRJT?", "AT+DIAG=1", "AT+CDROM=1", "AT+VXTRESET", "AT+NWLSET=0",
                         "AT+WIFICAL?", "AT+WIFICAL=\"X\"", "AT+CLLEN?", "AT+CLLEN=2", "AT+VXREQ?", "AT+VXREQ=1",
                         "AT+CUIT89?", "AT+syscmd=sys_mode_set D1"}) {
    std::string reply = Send(std::string(ok) + "\r\n\r\n");
    EXPECT_NE(reply.find("OK\r\n"), std::string::npos) << ok;
    EXPECT_EQ(reply.find("ERROR"), std::string::npos) << ok;
  }
  for (const char* bad : {"AT+NOPE", "AT+CFUN=9", "AT+DISK=8,\"D3\"", "AT+syscmd=rm -rf", "hello"}) {
    EXPECT_NE(Send(std::string(bad) + "\r").find("\r\nERROR\r\n"), std::string::npos) << bad;
  }
  DeviceAction action = DeviceAction::None;
  EXPECT_NE(Send("at+syscmd=sys_reboot bootloader\r\n\r\n", &action).find("OK"), std::string::npos);
  EXPECT_EQ(action, DeviceAction::RebootBootloader);
}

TEST_F(AtEngineTest, LinesMayArriveInPiecesAndOverlongLinesAreRefused) {
  std::string out;
  for (char c : std::string("AT+VXTSN=0,7\r\n")) out += Send(std::string(1, c));
  EXPECT_NE(out.find("+VXTSN: " + state_.Identity("IMEI")), std::string::npos);

  std::string huge(64 * 1024, 'A');
  std::string reply = Send("AT" + huge + "\r\n");
  EXPECT_LT(reply.size(), AtEngine::kMaxLine + 64) << "echo is bounded";
  EXPECT_NE(reply.find("\r\nERROR\r\n"), std::string::npos);
  EXPECT_NE(Send("AT\r\n").find("\r\nOK\r\n"), std::string::npos) << "the next line is served normally";
}

TEST_F(AtEngineTest, FaultsTurnRepliesIntoErrorOrSilenceOnlyForTheNamedCommand) {
  std::string error;
  ASSERT_TRUE(faults_.Add("at-error:AT+CUIT87?", error)) << error;
  ASSERT_TRUE(faults_.Add("at-silent:AT+VXTSN=0,5@1", error)) << error;
  EXPECT_NE(Send("AT+CUIT87?\r\n").find("\r\nERROR\r\n"), std::string::npos);
  EXPECT_NE(Send("at+cuit87?\r\n").find("\r\nERROR\r\n"), std::string::npos) << "case does not matter";
  EXPECT_NE(Send("AT+CUIT87=PASS\r\n").find("\r\nOK\r\n"), std::string::npos) << "the write is not named";
  EXPECT_EQ(Send("AT+VXTSN=0,5\r\n"), "AT+VXTSN=0,5\r\n") << "silent: only the echo";
  EXPECT_NE(Send("AT+VXTSN=0,5\r\n").find("OK"), std::string::npos) << "@1: only the first time";

  ASSERT_TRUE(faults_.Add("latency:250", error));
  auto outputs = engine_.Feed(reinterpret_cast<const uint8_t*>("AT\r"), 3);
  ASSERT_EQ(outputs.size(), 2u);
  EXPECT_EQ(outputs[0].delayMs, 0u) << "the echo is immediate";
  EXPECT_EQ(outputs[1].delayMs, 250u);
}

}  // namespace
}  // namespace upwend::sim
