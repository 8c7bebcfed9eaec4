#pragma once
// ResetModem's work: find the modem (AT) port of the device, reset the modem with AT+CFUN=1,1,
// and wait for it to come back. The answers are the ones the tool reads from ExecuteResetModem.
#include <string>

namespace upwend {
class Clock;
class DeviceBackend;
}  // namespace upwend

namespace upwend::helpers {

inline constexpr const char* kResetDone = "100";
inline constexpr const char* kNoModemPort = "-1";
inline constexpr const char* kResetNotExecuted = "0";
inline constexpr const char* kResetFailed = "-2";

struct ModemPort {
  std::string portName;  // "COM6"
  std::string node;      // "/dev/ttyUSB2"
};

// The first port of the serial port map (COM1, COM2 and DIAG ports left out) that answers "AT"
// with OK; an empty portName when none does.
ModemPort FindModemPort(DeviceBackend& devices, Clock& clock);

// One AT command on a serial node: the reply text until "OK" or "ERROR" or `timeoutMs`.
std::string AtExchange(const std::string& node, const std::string& command, Clock& clock, uint64_t timeoutMs);

// The whole reset; returns the answer to write ("100", "-1", "0" or "-2").
std::string ResetModem(DeviceBackend& devices, Clock& clock, std::string& detail);

}  // namespace upwend::helpers
