#include "tools/helpers/scsi_command.h"

#include <fmt/format.h>

namespace upwend::helpers {

namespace {

constexpr uint32_t kCbwSignature = 0x43425355;  // "USBC" little-endian
constexpr uint32_t kCswSignature = 0x53425355;  // "USBS"
constexpr size_t kCbLengthOffset = 14;
constexpr size_t kCbOffset = 15;

uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<ScsiCommand> ParseScsiCommand(const std::string& text, std::string& error) {
  std::string digits;
  for (char c : text) {
    if (c == ' ' || c == '\t') continue;
    if (HexDigit(c) < 0) {
      error = fmt::format("SCSICMD is not hexadecimal (\"{}\")", c == '\0' ? std::string("\\0") : std::string(1, c));
      return std::nullopt;
    }
    digits += c;
  }
  if (digits.empty() || digits.size() % 2 != 0) {
    error = digits.empty() ? "SCSICMD is empty" : "SCSICMD has an odd number of hex digits";
    return std::nullopt;
  }
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < digits.size(); i += 2)
    bytes.push_back(static_cast<uint8_t>(HexDigit(digits[i]) * 16 + HexDigit(digits[i + 1])));

  ScsiCommand command;
  if (bytes.size() == kCbwSize && Le32(bytes.data()) == kCbwSignature) {
    size_t length = bytes[kCbLengthOffset] & 0x1F;
    if (length < 1 || length > kMaxCdb) {
      error = fmt::format("SCSICMD is a command block wrapper with a command length of {}", length);
      return std::nullopt;
    }
    command.tag = Le32(bytes.data() + 4);
    command.cdb.assign(bytes.begin() + kCbOffset, bytes.begin() + static_cast<long>(kCbOffset + length));
    return command;
  }
  if (bytes.size() > kMaxCdb) {
    error = fmt::format("SCSICMD is {} bytes: longer than a command block (16) and no command block wrapper", bytes.size());
    return std::nullopt;
  }
  command.cdb = std::move(bytes);
  return command;
}

std::array<uint8_t, kCbwSize> BuildCbw(const ScsiCommand& command) {
  std::array<uint8_t, kCbwSize> cbw{};
  PutLe32(cbw.data(), kCbwSignature);
  PutLe32(cbw.data() + 4, command.tag);
  // Transfer length 0, flags 0 (no data), LUN 0.
  cbw[kCbLengthOffset] = static_cast<uint8_t>(command.cdb.size());
  for (size_t i = 0; i < command.cdb.size() && i < kMaxCdb; ++i) cbw[kCbOffset + i] = command.cdb[i];
  return cbw;
}

std::optional<uint8_t> CswStatus(const uint8_t* data, size_t size, uint32_t tag) {
  if (size != kCswSize || Le32(data) != kCswSignature || Le32(data + 4) != tag) return std::nullopt;
  return data[12];
}

}  // namespace upwend::helpers
