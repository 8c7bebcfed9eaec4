#pragma once
// The disks DoShiftDevice can address: USB mass-storage interfaces (bulk-only transport) found
// through libusb, or the simulator's disks on its device bus.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/helpers/scsi_command.h"

namespace upwend::helpers {

struct Disk {
  std::string name;      // "manufacturer product" (USB) or the simulator's vendor and model
  std::string endpoint;  // "unix:@NAME" (simulator) or "usb:BUS:ADDR:IFACE:OUT:IN"
};

// Disks on the simulator bus folder whose name contains `match` (ASCII case ignored).
std::vector<Disk> FindBusDisks(const std::string& busDir, const std::string& match);
// USB mass-storage interfaces (class 08, subclass 06, protocol 50) whose device strings contain
// `match`.
std::vector<Disk> FindUsbDisks(const std::string& match);

enum class SendResult {
  Sent,     // the command went out (and the device passed it, or went away answering it)
  Refused,  // the device answered with a failed status
  Failed,   // the command could not be sent
};

SendResult SendCommand(const Disk& disk, const ScsiCommand& command, std::string& detail);

}  // namespace upwend::helpers
