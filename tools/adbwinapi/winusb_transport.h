#pragma once
// The WinUSB transport of the Windows build's AdbWinUsbApi.dll, on a table of system calls so
// that the tests can stand in for the device.
#include "tools/adbwinapi/transport.h"
#include "tools/adbwinapi/winusb_functions.h"

namespace upwend::adb {

Expected<std::shared_ptr<Transport>, OsError> OpenWinUsbTransport(const UsbPath& path, const WinUsbFunctions& api);

}  // namespace upwend::adb
