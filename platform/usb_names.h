#pragma once
// Names for the interfaces of USB devices, keyed by vendor ID, product ID and interface number,
// and the role each interface plays: a serial port of the COM-port class, a modem (AT) port that
// appears only in the serial port map, or a USB boot device. Windows takes these from the
// driver's INF; on Linux this table stands in for it. Built-in entries cover the usual Qualcomm
// compositions; a product adds its own in a text file (see docs/devices-linux.md):
//
//   # VID  PID   MI  ROLE   NAME
//   05C6   9025  00  port   Qualcomm HS-USB Diagnostics 9025
//   05C6   9025  02  modem  Qualcomm HS-USB Modem 9025
//   0451   D00E  *   boot   USB boot device
//
// MI is the interface number in hex, or "*" for every interface of the device.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace upwend {

enum class UsbRole { Port, Modem, Boot };

struct UsbNameEntry {
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  std::optional<uint8_t> interfaceNumber;  // nullopt: every interface
  UsbRole role = UsbRole::Port;
  std::string name;
};

// Entries in precedence order: earlier layers (a product's files) win over later ones (the
// built-in entries); within a layer an exact interface number wins over "*".
class UsbNameTable {
public:
  // The built-in entries only.
  static UsbNameTable BuiltIn();
  // Puts entries in front of the ones already there.
  void AddLayer(std::vector<UsbNameEntry> entries);
  const UsbNameEntry* Find(uint16_t vendorId, uint16_t productId, uint8_t interfaceNumber) const;
  // True when any entry names the device (any interface) as a USB boot device.
  bool IsBootDevice(uint16_t vendorId, uint16_t productId) const;
  // True when any entry is for a device of this vendor.
  bool KnowsVendor(uint16_t vendorId) const;

private:
  std::vector<std::vector<UsbNameEntry>> layers_;
};

// Parses the text form above. Bad lines are skipped and described in `errors`
// ("line 3: bad product ID"), so one typo does not lose the rest of the table.
std::vector<UsbNameEntry> ParseUsbNameTable(const std::string& text, std::vector<std::string>& errors);
// Reads and parses a file; a missing file gives no entries and no error.
std::vector<UsbNameEntry> LoadUsbNameFile(const std::string& path, std::vector<std::string>& errors);

}  // namespace upwend
