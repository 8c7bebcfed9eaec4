#pragma once
// The simulator's device bus: a folder in which each simulated device publishes what a PC would
// see of it (COM-port entries, the serial port map, ADB and USB boot entries, device-change
// events). Each device owns one file "<id>.bus", replaced atomically (written beside, then
// renamed) with a rising generation number. The format is documented in docs/sim-bus.md.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/device_backend.h"

namespace upwend {

struct BusEvent {
  uint64_t seq = 0;  // rising per file; readers deliver the events they have not seen yet
  DeviceEvent event;
};

// A device in its disk (mass-storage) mode, before it is switched to its modem mode. Only the
// mode-switch program looks for it: Windows lists it in no class the tool asks about.
struct BusDisk {
  std::string name;      // vendor and model as the disk reports them, e.g. "Simulated Mass Storage"
  std::string endpoint;  // "unix:PATH": the socket that takes bulk-only transport commands
};

struct BusSnapshot {
  std::string session;  // changes whenever the writer restarts, so readers restart counting
  uint64_t generation = 0;
  // Where the device sits and what it calls itself, as --device names a device; every mode of
  // one simulated device keeps them. Empty path: a writer that does not say (the file's name
  // stands in for it).
  std::string usbPath;
  std::string serial;
  std::vector<ComPortInfo> comPorts;
  std::vector<SerialMapEntry> serialMap;
  std::vector<AdbInterfaceInfo> adbInterfaces;
  std::vector<UsbBootInfo> usbBootDevices;
  std::vector<BusDisk> disks;
  std::vector<BusEvent> events;  // the most recent ones, oldest first
};

// Text form of a snapshot; ParseBusSnapshot accepts exactly what FormatBusSnapshot writes and
// refuses anything incomplete (a missing "end" line) or malformed.
std::string FormatBusSnapshot(const BusSnapshot& snapshot);
std::optional<BusSnapshot> ParseBusSnapshot(const std::string& text, std::string& error);

// Writes the snapshot to `path` atomically: a temporary file in the same folder, then rename.
bool PublishBusSnapshot(const std::string& path, const BusSnapshot& snapshot, std::string& error);

// The "sim" device backend over a bus folder: lists the union of every "*.bus" file in it and
// delivers their new events through Watch(). With a selector, only the chosen device's file.
class DeviceSelector;
std::unique_ptr<DeviceBackend> CreateSimBusBackend(const std::string& busDir,
                                                   std::shared_ptr<DeviceSelector> selector = nullptr);

}  // namespace upwend
