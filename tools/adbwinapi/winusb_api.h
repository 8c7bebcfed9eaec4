#pragma once
// C interface of AdbWinUsbApi.dll, the companion library that reaches real USB devices (through
// libusb, or WinUSB in the Windows build). AdbWinApi.dll loads it from its own folder the first time a "usb:" path is opened, so
// the TCP backend works without it and without the USB stack.
#include <stddef.h>

#include "abi/adb_api.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct AdbWinUsbDevice AdbWinUsbDevice;

typedef struct AdbWinUsbInfo {
  AdbUsbInterfaceDescriptor descriptor;
  AdbEndpointInformation readEndpoint;
  AdbEndpointInformation writeEndpoint;
} AdbWinUsbInfo;

// Each returns 0 on success, else an errno value with a sentence in errorText (always
// zero-terminated, cut to errorTextSize). `done` receives the bytes moved, also on failure.
typedef int(ADBWIN_CALL* AdbWinUsbOpenFn)(const char* path, AdbWinUsbDevice** device, AdbWinUsbInfo* info,
                                          char* errorText, size_t errorTextSize);
typedef int(ADBWIN_CALL* AdbWinUsbWriteFn)(AdbWinUsbDevice* device, const void* data, size_t size, size_t* done,
                                           unsigned long timeoutMs, char* errorText, size_t errorTextSize);
typedef int(ADBWIN_CALL* AdbWinUsbReadFn)(AdbWinUsbDevice* device, void* data, size_t capacity, size_t* done,
                                          unsigned long timeoutMs, char* errorText, size_t errorTextSize);
typedef void(ADBWIN_CALL* AdbWinUsbCloseFn)(AdbWinUsbDevice* device);

ADBWIN_EXPORT int ADBWIN_CALL AdbWinUsbOpen(const char* path, AdbWinUsbDevice** device, AdbWinUsbInfo* info,
                                            char* errorText, size_t errorTextSize);
ADBWIN_EXPORT int ADBWIN_CALL AdbWinUsbWrite(AdbWinUsbDevice* device, const void* data, size_t size, size_t* done,
                                             unsigned long timeoutMs, char* errorText, size_t errorTextSize);
ADBWIN_EXPORT int ADBWIN_CALL AdbWinUsbRead(AdbWinUsbDevice* device, void* data, size_t capacity, size_t* done,
                                            unsigned long timeoutMs, char* errorText, size_t errorTextSize);
ADBWIN_EXPORT void ADBWIN_CALL AdbWinUsbClose(AdbWinUsbDevice* device);

#ifdef __cplusplus
}
#endif
