// ResetModem: resets the modem through its AT port and answers into [Project] ExecuteResetModem
// of the Config.ini beside it: "100" done, "-1" no modem port, "0" not executed, "-2" failed.
// A copy started while another runs leaves the answer to that one.
// Exit codes: 0 done, 1 no modem port, 2 not executed, 3 failed, 4 answer not written or
// another copy runs.
#include <cstdio>
#include <string>

#include "platform/clock.h"
#include "platform/device_backend.h"
#include "tools/helpers/helper_common.h"
#include "tools/helpers/modem_reset.h"

int main() {
  using namespace upwend;
  using namespace upwend::helpers;
  SingleInstance only("ResetModem");
  if (!only.held()) {
    std::fprintf(stderr, "ResetModem: another copy is resetting the modem\n");
    return 4;
  }
  std::string error, detail, answer;
  auto devices = OpenDevices(error);
  answer = devices ? ResetModem(*devices, SystemClock(), detail) : std::string(kNoModemPort);
  if (!devices) detail = error;
  std::fprintf(stderr, "ResetModem: %s: %s\n", answer.c_str(), detail.c_str());
  if (!WriteAnswer("Project", "ExecuteResetModem", answer, error)) {
    std::fprintf(stderr, "ResetModem: %s\n", error.c_str());
    return 4;
  }
  return answer == kResetDone ? 0 : answer == kNoModemPort ? 1 : answer == kResetNotExecuted ? 2 : 3;
}
