#pragma once
// What each system gives CreateUsbBootPort, which is shared (usb_boot_pipe.cpp).
#include <memory>

#include "platform/usb_boot_pipe.h"

namespace upwend {

// The system's port; its pipes' writes time out after `writeTimeoutMs` real milliseconds.
std::unique_ptr<UsbBootPort> CreateSystemUsbBootPort(unsigned writeTimeoutMs);

}  // namespace upwend
