#include "tools/helpers/udev_rules.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/file_io.h"

namespace upwend::helpers {

std::string UdevRulesText() {
  return "# Written by InstallDriver (upwend): the modem's serial ports, its fastboot interface and the\n"
         "# USB boot device belong to the logged-in user, and ModemManager leaves the modem alone.\n"
         "ACTION==\"remove\", GOTO=\"upwend_end\"\n"
         "SUBSYSTEM==\"usb\", ENV{DEVTYPE}==\"usb_device\", ATTR{idVendor}==\"05c6\", TAG+=\"uaccess\", "
         "ENV{ID_MM_DEVICE_IGNORE}=\"1\"\n"
         "SUBSYSTEM==\"tty\", ATTRS{idVendor}==\"05c6\", TAG+=\"uaccess\", ENV{ID_MM_DEVICE_IGNORE}=\"1\"\n"
         "SUBSYSTEM==\"usb\", ENV{DEVTYPE}==\"usb_device\", ATTR{idVendor}==\"18d1\", ATTR{idProduct}==\"d00d\", "
         "TAG+=\"uaccess\"\n"
         "SUBSYSTEM==\"usb\", ENV{DEVTYPE}==\"usb_device\", ATTR{idVendor}==\"0451\", ATTR{idProduct}==\"d00e\", "
         "TAG+=\"uaccess\"\n"
         "LABEL=\"upwend_end\"\n";
}

std::string UdevRulesDir() {
  const char* dir = std::getenv("UPWEND_UDEV_RULES_DIR");
  return dir != nullptr && *dir != '\0' ? dir : "/etc/udev/rules.d";
}

RulesState CheckRules(const std::string& dir) {
  std::ifstream in(dir + "/" + kRulesFileName, std::ios::binary);
  if (!in) return RulesState::Missing;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str() == UdevRulesText() ? RulesState::Installed : RulesState::Outdated;
}

bool InstallRules(const std::string& dir, std::string& error) {
  auto written = WriteWholeFileAtomic(dir + "/" + kRulesFileName, UdevRulesText());
  if (!written) error = written.error();
  return static_cast<bool>(written);
}

}  // namespace upwend::helpers
