#include "tools/adbwinapi/winusb_functions.h"

#include "platform/win32/device_backends.h"

namespace upwend::adb {

namespace {

std::vector<std::string> ListAdbInterfaces() {
  std::vector<std::string> paths;
  for (auto& info : CreateSetupApiBackend()->ListAdbInterfaces()) paths.push_back(std::move(info.devicePath));
  return paths;
}

}  // namespace

const WinUsbFunctions& SystemWinUsb() {
  static const WinUsbFunctions functions{&ListAdbInterfaces,
                                         &::CreateFileA,
                                         &::CloseHandle,
                                         &::CancelIoEx,
                                         &::WinUsb_Initialize,
                                         &::WinUsb_Free,
                                         &::WinUsb_QueryInterfaceSettings,
                                         &::WinUsb_QueryPipe,
                                         &::WinUsb_SetCurrentAlternateSetting,
                                         &::WinUsb_SetPipePolicy,
                                         &::WinUsb_WritePipe,
                                         &::WinUsb_ReadPipe,
                                         &::WinUsb_GetOverlappedResult,
                                         &::WinUsb_AbortPipe,
                                         &::WinUsb_ResetPipe};
  return functions;
}

}  // namespace upwend::adb
