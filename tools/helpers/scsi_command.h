#pragma once
// The switching command of DoShiftDevice: SCSICMD of section SHIFTDEVICE, and the bulk-only
// transport wrappers it travels in (USB Mass Storage Class, Bulk-Only Transport 1.0).
//
// SCSICMD is hexadecimal text (blanks ignored, either letter case), one of:
//  - a whole command block wrapper: 31 bytes starting "USBC" (55534243); its command block
//    (bCBWCBLength bytes from offset 15) is the command;
//  - a bare command block (CDB) of 1 to 16 bytes.
// The command is always sent in a wrapper of our own: tag as given (or 1), no data phase, LUN 0.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace upwend::helpers {

inline constexpr size_t kCbwSize = 31;
inline constexpr size_t kCswSize = 13;
inline constexpr size_t kMaxCdb = 16;

struct ScsiCommand {
  std::vector<uint8_t> cdb;  // 1 to 16 bytes
  uint32_t tag = 1;
};

// nullopt with `error` for text that is not hex, empty, or neither form above.
std::optional<ScsiCommand> ParseScsiCommand(const std::string& text, std::string& error);

std::array<uint8_t, kCbwSize> BuildCbw(const ScsiCommand& command);

// The status of a command status wrapper for `tag`: 0 passed, 1 failed, 2 phase error; nullopt
// when the bytes are no status wrapper for that tag.
std::optional<uint8_t> CswStatus(const uint8_t* data, size_t size, uint32_t tag);

}  // namespace upwend::helpers
