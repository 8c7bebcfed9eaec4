#pragma once
// How the tool's "COM" port names map to Linux tty device nodes. The relation is pure arithmetic,
// so it works in both directions without a table or any saved state, also for a device that
// has just gone away (a removal event still names the right port):
//
//   COM1   .. COM99   <->  ttyS0   .. ttyS98    (COMn = ttyS(n-1))
//   COM100 .. COM199  <->  ttyUSB0 .. ttyUSB99  (COMn = ttyUSB(n-100))
//   COM200 .. COM299  <->  ttyACM0 .. ttyACM99  (COMn = ttyACM(n-200))
//
// Other names (COM0, COM300 and up, other tty drivers) have no counterpart. Port names are
// case-insensitive and may carry the "\\.\" prefix; "COM05" (leading zero) is not a port name.
#include <optional>
#include <string>
#include <string_view>

#include "platform/serial_port.h"

namespace upwend {

constexpr int kFirstUartPort = 1;
constexpr int kFirstUsbSerialPort = 100;
constexpr int kFirstAcmPort = 200;
constexpr int kPortsPerDriver = 100;

// The number of a port name ("COM12", "com12", "\\.\COM12"); nullopt when it is not one.
std::optional<int> ParsePortName(const std::string& name);

// "COM" + n, with the "\\.\" prefix when n is 10 or more.
std::string PortDeviceName(int portNumber);
// The port name without the "\\.\" prefix; empty when the text is not of that form.
std::string StripPortPrefix(const std::string& deviceName);

// Port fields (the port boxes, saved settings) are read more loosely than port names: the
// number is taken from the first `width` characters after the field's "COM".
enum class PortDigits {
  kLeading,  // the digits before the first other character
  kAll,      // every one of those characters must be a digit
};
// The number in the first `width` characters of `afterCom`; nullopt when none of them is read as
// a digit, or (kAll) when one of them is not a digit.
std::optional<int> PortFieldDigits(std::string_view afterCom, size_t width, PortDigits rule);

// "ttyUSB0" for 100; nullopt outside the mapped ranges.
std::optional<std::string> TtyNameForPortNumber(int portNumber);
// 100 for "ttyUSB0" or "/dev/ttyUSB0"; nullopt for names outside the mapped ranges.
std::optional<int> PortNumberForTty(const std::string& ttyNameOrPath);

// devRoot + "/ttyUSB0" for "COM100" (whether or not the node exists); nullopt when unmapped.
std::optional<std::string> DeviceNodeForPortName(const std::string& portName,
                                                 const std::string& devRoot = "/dev");

// For logs: "COM100 = /dev/ttyUSB0", or "COM300 = (no device node)".
std::string DescribePortName(const std::string& portName, const std::string& devRoot = "/dev");

// A resolver for CreatePosixSerialPort that applies the rule above below devRoot.
PortResolver ArithmeticPortResolver(const std::string& devRoot = "/dev");

}  // namespace upwend
