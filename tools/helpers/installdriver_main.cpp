// InstallDriver: on Linux there is no driver to install. It checks what the user needs instead
// (the udev rules, installed when it runs with the rights to), checks that the device's serial
// nodes can be opened, and then answers [Uninstall] UninstallUDisk = 1 in the Config.ini beside it.
// Exit codes: 0 usable (answered), 1 no device ports, 2 ports not usable, 3 answer not written.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/device_backend.h"
#include "tools/helpers/helper_common.h"
#include "tools/helpers/udev_rules.h"

namespace {

void Say(const std::string& text) { std::fprintf(stderr, "InstallDriver: %s\n", text.c_str()); }

void CheckAndInstallRules() {
  using namespace upwend::helpers;
  std::string dir = UdevRulesDir();
  RulesState state = CheckRules(dir);
  if (state == RulesState::Installed) return;
  std::string error;
  if (InstallRules(dir, error)) {
    Say("installed " + dir + "/" + kRulesFileName + " (re-plug the device or run: udevadm control --reload; udevadm trigger)");
    return;
  }
  Say(std::string(state == RulesState::Missing ? "missing: " : "outdated: ") + dir + "/" + kRulesFileName + " (" +
      error + "); as root, run this program once, or write it with:\n" + UdevRulesText());
}

}  // namespace

int main() {
  using namespace upwend;
  using namespace upwend::helpers;
  CheckAndInstallRules();
  std::string error;
  auto devices = OpenDevices(error);
  if (!devices) {
    Say(error);
    return 1;
  }
  // Every serial node of the device, modem ports included.
  std::vector<std::string> unusable;
  int ports = 0;
  for (const auto& entry : devices->SerialPortMap()) {
    auto node = devices->DeviceNodeForPort(entry.portName);
    if (!node) continue;
    ++ports;
    int fd = ::open(node->c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) unusable.push_back(entry.portName + " " + *node);
    else ::close(fd);
  }
  if (ports == 0) {
    Say("no serial port of the device is present");
    return 1;
  }
  for (const auto& u : unusable) Say("cannot open " + u + " for reading and writing");
  if (!unusable.empty()) return 2;
  if (!WriteAnswer("Uninstall", "UninstallUDisk", "1", error)) {
    Say(error);
    return 3;
  }
  return 0;
}
