#pragma once
// Reading a raw USB configuration descriptor (the bytes GET_DESCRIPTOR returns) and choosing the
// bulk endpoint pair of one interface, as the libusb backend does before it claims it.
#include <cstdint>
#include "platform/expected.h"
#include <span>
#include <string>
#include <vector>

#include "abi/adb_api.h"

namespace upwend::adb {

struct UsbEndpoint {
  uint8_t address = 0;     // bit 7 set: IN (device to host)
  uint8_t attributes = 0;  // bits 0-1: transfer type
  uint16_t maxPacketSize = 0;
  uint8_t interval = 0;
};

struct UsbAltSetting {
  AdbUsbInterfaceDescriptor descriptor{};
  std::vector<UsbEndpoint> endpoints;
};

struct UsbConfiguration {
  uint8_t configurationValue = 0;
  std::vector<UsbAltSetting> altSettings;  // every interface's alternate settings, in order
};

struct BulkInterface {
  AdbUsbInterfaceDescriptor descriptor{};
  UsbEndpoint in;
  UsbEndpoint out;
};

Expected<UsbConfiguration, std::string> ParseConfigDescriptor(std::span<const uint8_t> bytes);

// The first alternate setting of `interfaceNumber` that has a bulk IN and a bulk OUT endpoint.
Expected<BulkInterface, std::string> SelectBulkInterface(const UsbConfiguration& config, uint8_t interfaceNumber);

AdbEndpointInformation EndpointInformation(const UsbEndpoint& endpoint, uint8_t settingIndex,
                                           unsigned long maxTransferSize);

}  // namespace upwend::adb
