#pragma once
// The system calls the WinUSB backend makes, as a table: the system's own functions in the
// library, a fake device in the tests (Wine has no USB device to open).
#include <windows.h>
#include <winusb.h>

#include <string>
#include <vector>

namespace upwend::adb {

struct WinUsbFunctions {
  // The device-interface paths of the ADB class that are present now (SetupAPI).
  std::vector<std::string> (*listAdbInterfaces)();
  decltype(&::CreateFileA) createFile;
  decltype(&::CloseHandle) closeHandle;
  decltype(&::CancelIoEx) cancelIo;
  decltype(&::WinUsb_Initialize) initialize;
  decltype(&::WinUsb_Free) free;
  decltype(&::WinUsb_QueryInterfaceSettings) queryInterfaceSettings;
  decltype(&::WinUsb_QueryPipe) queryPipe;
  decltype(&::WinUsb_SetCurrentAlternateSetting) setAlternateSetting;
  decltype(&::WinUsb_SetPipePolicy) setPipePolicy;
  decltype(&::WinUsb_WritePipe) writePipe;
  decltype(&::WinUsb_ReadPipe) readPipe;
  decltype(&::WinUsb_GetOverlappedResult) getOverlappedResult;
  decltype(&::WinUsb_AbortPipe) abortPipe;
  decltype(&::WinUsb_ResetPipe) resetPipe;
};

const WinUsbFunctions& SystemWinUsb();

}  // namespace upwend::adb
