#include "tools/adbwinapi/usb_descriptors.h"

#include <fmt/format.h>

namespace upwend::adb {

namespace {

constexpr uint8_t kConfigType = 0x02;
constexpr uint8_t kInterfaceType = 0x04;
constexpr uint8_t kEndpointType = 0x05;
constexpr size_t kConfigLength = 9;
constexpr size_t kInterfaceLength = 9;
constexpr size_t kEndpointLength = 7;
constexpr uint8_t kTransferTypeMask = 0x03;
constexpr uint8_t kBulk = 0x02;
constexpr uint8_t kDirectionIn = 0x80;
constexpr uint16_t kPacketSizeMask = 0x07FF;

bool IsBulk(const UsbEndpoint& e) { return (e.attributes & kTransferTypeMask) == kBulk; }

}  // namespace

Expected<UsbConfiguration, std::string> ParseConfigDescriptor(std::span<const uint8_t> bytes) {
  if (bytes.size() < kConfigLength || bytes[0] < kConfigLength || bytes[1] != kConfigType) {
    return Unexpected("not a configuration descriptor");
  }
  size_t total = static_cast<size_t>(bytes[2] | bytes[3] << 8);
  if (total < kConfigLength || total > bytes.size()) {
    return Unexpected(fmt::format("configuration descriptor claims {} bytes, {} present", total, bytes.size()));
  }
  UsbConfiguration config;
  config.configurationValue = bytes[5];
  size_t pos = bytes[0];
  while (pos < total) {
    if (total - pos < 2) return Unexpected(fmt::format("truncated descriptor at byte {}", pos));
    size_t length = bytes[pos];
    uint8_t type = bytes[pos + 1];
    if (length < 2 || length > total - pos) {
      return Unexpected(fmt::format("descriptor at byte {} has a bad length {}", pos, length));
    }
    const uint8_t* d = bytes.data() + pos;
    if (type == kInterfaceType) {
      if (length < kInterfaceLength) return Unexpected(fmt::format("short interface descriptor at byte {}", pos));
      UsbAltSetting alt;
      alt.descriptor = {d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7], d[8]};
      config.altSettings.push_back(alt);
    } else if (type == kEndpointType) {
      if (length < kEndpointLength) return Unexpected(fmt::format("short endpoint descriptor at byte {}", pos));
      if (config.altSettings.empty()) return Unexpected(fmt::format("endpoint before any interface at byte {}", pos));
      config.altSettings.back().endpoints.push_back(
          {d[2], d[3], static_cast<uint16_t>((d[4] | d[5] << 8) & kPacketSizeMask), d[6]});
    }
    // Other descriptors (association, class-specific, companion) say nothing about the pipes.
    pos += length;
  }
  return config;
}

Expected<BulkInterface, std::string> SelectBulkInterface(const UsbConfiguration& config, uint8_t interfaceNumber) {
  bool found = false;
  for (const UsbAltSetting& alt : config.altSettings) {
    if (alt.descriptor.bInterfaceNumber != interfaceNumber) continue;
    found = true;
    const UsbEndpoint* in = nullptr;
    const UsbEndpoint* out = nullptr;
    for (const UsbEndpoint& e : alt.endpoints) {
      if (!IsBulk(e)) continue;
      if ((e.address & kDirectionIn) != 0) {
        if (in == nullptr) in = &e;
      } else if (out == nullptr) {
        out = &e;
      }
    }
    if (in != nullptr && out != nullptr) return BulkInterface{alt.descriptor, *in, *out};
  }
  if (!found) return Unexpected(fmt::format("the device has no interface {}", interfaceNumber));
  return Unexpected(fmt::format("interface {} has no bulk IN and OUT endpoint pair", interfaceNumber));
}

AdbEndpointInformation EndpointInformation(const UsbEndpoint& endpoint, uint8_t settingIndex,
                                           unsigned long maxTransferSize) {
  return {endpoint.maxPacketSize, maxTransferSize, AdbEndpointTypeBulk, endpoint.address, endpoint.interval,
          settingIndex};
}

}  // namespace upwend::adb
