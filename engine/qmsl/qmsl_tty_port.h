#pragma once
// The serial port the QMSL library opens its DIAG port with: termios on the device node that
// the port name resolves to. Only what a DIAG exchange needs is emulated: the read that returns
// what has arrived (waiting up to the constant time-out for a first byte) and bounded writes.
#include <memory>
#include <optional>
#include <string>

#include "platform/serial_port.h"

namespace upwend {

class Clock;

// "COM5" -> the device node in UPWEND_COM5; the "\\.\" prefix is accepted and dropped.
std::optional<std::string> ResolveQmslPortFromEnvironment(const std::string& portName);

std::unique_ptr<SerialPort> CreateQmslTtyPort(Clock& clock, PortResolver resolver);

}  // namespace upwend
