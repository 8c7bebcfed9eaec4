// Port names, USB device paths and USB name tables come from users, products and devices:
// none of their parsers may crash, and what they accept must round-trip.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/port_names.h"
#include "platform/usb_device_path.h"
#include "platform/usb_names.h"

using namespace upwend;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);

  if (auto n = ParsePortName(text)) {
    if (StripPortPrefix(PortDeviceName(*n)) != StripPortPrefix(text)) std::abort();
    if (auto tty = TtyNameForPortNumber(*n); tty && PortNumberForTty(*tty) != n) std::abort();
  }
  if (auto n = PortNumberForTty(text); n && !TtyNameForPortNumber(*n)) std::abort();

  if (auto a = ParseUsbDevicePath(text)) {
    std::string again = a->interfaceNumber
                            ? AdbInterfacePath(a->vendorId, a->productId, a->busNumber, a->deviceAddress,
                                               *a->interfaceNumber, a->composite)
                            : UsbDevicePath(a->vendorId, a->productId, a->busNumber, a->deviceAddress);
    auto b = ParseUsbDevicePath(again);
    if (!b || b->busNumber != a->busNumber || b->deviceAddress != a->deviceAddress || b->vendorId != a->vendorId)
      std::abort();
  }

  std::vector<std::string> errors;
  auto entries = ParseUsbNameTable(text, errors);
  UsbNameTable table = UsbNameTable::BuiltIn();
  table.AddLayer(entries);
  for (const auto& e : entries) {
    const UsbNameEntry* found = table.Find(e.vendorId, e.productId, e.interfaceNumber.value_or(0));
    if (found == nullptr || found->name.empty()) std::abort();
  }
  return 0;
}
