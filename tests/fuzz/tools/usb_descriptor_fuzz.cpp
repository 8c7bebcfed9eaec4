// Any bytes as a configuration descriptor: parsed or refused, never read past the end.
#include <cstddef>
#include <cstdint>
#include <span>

#include "tools/adbwinapi/usb_descriptors.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto config = upwend::adb::ParseConfigDescriptor(std::span<const uint8_t>(data, size));
  if (config) {
    for (int i = 0; i < 4; ++i) (void)upwend::adb::SelectBulkInterface(*config, static_cast<uint8_t>(i));
  }
  return 0;
}
