#pragma once
// What a Linux user needs in place of the device's Windows drivers: udev rules that give the
// logged-in user the modem's serial nodes, its fastboot interface and the USB boot device, and
// that tell ModemManager to leave the device alone while it is updated.
#include <string>
#include <vector>

namespace upwend::helpers {

inline constexpr const char* kRulesFileName = "70-upwend.rules";

// The rules file's text.
std::string UdevRulesText();

// The rules folder: UPWEND_UDEV_RULES_DIR, else /etc/udev/rules.d.
std::string UdevRulesDir();

enum class RulesState { Installed, Missing, Outdated };
RulesState CheckRules(const std::string& dir);
// Writes the rules (atomically); false with `error` when the folder cannot be written.
bool InstallRules(const std::string& dir, std::string& error);

}  // namespace upwend::helpers
