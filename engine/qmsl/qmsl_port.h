#pragma once
// How the library finds the device node of "COM<n>": UPWEND_COM<n> when set (tests, odd set-ups),
// else the device backend the tool uses (UPWEND_DEVICES: "sysfs" or "sim:DIR").
#include <optional>
#include <string>

namespace upwend {

std::optional<std::string> ResolveQmslPort(const std::string& portName);

}  // namespace upwend
