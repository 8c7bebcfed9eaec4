// DoShiftDevice: sends the switching command of [SHIFTDEVICE] SCSICMD to every disk whose name
// contains SCSIDEVICE, so that a device showing itself as a disk comes back in its modem mode.
// Exit codes: 0 sent, 1 no such disk, 2 bad or missing configuration, 3 not sent or refused.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/ini_file.h"
#include "tools/helpers/helper_common.h"
#include "tools/helpers/mass_storage.h"
#include "tools/helpers/scsi_command.h"

namespace {

int Say(int code, const std::string& text) {
  std::fprintf(stderr, "DoShiftDevice: %s\n", text.c_str());
  return code;
}

}  // namespace

int main() {
  using namespace upwend;
  using namespace upwend::helpers;
  const std::string config = OwnConfig();
  auto ini = IniFile::Load(config);
  if (!ini) return Say(2, ini.error());
  auto cmdText = ini->Find("SHIFTDEVICE", "SCSICMD");
  std::string match = ini->ReadString("SHIFTDEVICE", "SCSIDEVICE", "");
  if (!cmdText) return Say(2, "no [SHIFTDEVICE] SCSICMD in " + config);
  if (match.empty()) return Say(2, "no [SHIFTDEVICE] SCSIDEVICE in " + config);
  std::string error;
  auto command = ParseScsiCommand(*cmdText, error);
  if (!command) return Say(2, error);

  const char* devices = std::getenv("UPWEND_DEVICES");
  std::string backend = devices != nullptr ? devices : "";
  std::vector<Disk> disks =
      backend.rfind("sim:", 0) == 0 ? FindBusDisks(backend.substr(4), match) : FindUsbDisks(match);
  if (disks.empty()) return Say(1, "no disk named \"" + match + "\"");
  int code = 0;
  for (const auto& disk : disks) {
    std::string detail;
    SendResult r = SendCommand(disk, *command, detail);
    Say(0, (r == SendResult::Sent ? "sent to " : r == SendResult::Refused ? "refused by " : "not sent to ") + disk.name +
               (detail.empty() ? "" : " (" + detail + ")"));
    if (r != SendResult::Sent) code = 3;
  }
  return code;
}
