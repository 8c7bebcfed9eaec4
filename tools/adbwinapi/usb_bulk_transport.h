#pragma once
// A Transport on the bulk pipes of one claimed USB interface, whatever backend moves the bytes:
// commands and replies one transfer each, a download's data gathered into large transfers
// (usb_download_writer.h).
#include <functional>
#include <memory>

#include "tools/adbwinapi/transport.h"
#include "tools/adbwinapi/usb_bulk_io.h"
#include "tools/adbwinapi/usb_descriptors.h"

namespace upwend::adb {

// The largest transfer either direction makes, as the endpoint information reports it.
inline constexpr unsigned long kMaxUsbTransferSize = 1024 * 1024;

// `release` runs once the bulk I/O has ended (every transfer finished): it lets the device go.
std::shared_ptr<Transport> MakeUsbBulkTransport(std::unique_ptr<UsbBulkIo> io, const BulkInterface& pipes,
                                                std::function<void()> release);

}  // namespace upwend::adb
