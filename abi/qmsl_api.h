#pragma once
// The C interface of the QMSL-compatible library (QMSL_MSVC10R.dll), loaded by path from the
// working folder and looked up by name. Both the library and the worker's binding use these
// declarations, so the two cannot drift apart.
#include <cstdint>

extern "C" {

typedef void* QlibHandle;

// Opens the DIAG port "COM<comPort>" and waits up to waitMs for the device to answer.
// Returns a connection (never null when the port could be opened) or null.
typedef QlibHandle (*QLIB_ConnectServerWithWait_t)(unsigned int comPort, unsigned long waitMs);
// Low byte not 0 when the device answers on the connection.
typedef unsigned char (*QLIB_IsPhoneConnected_t)(QlibHandle connection);
// NV item read/write; *status gets the device's NV status (0 OK); the result is not 0 when the
// exchange completed.
typedef unsigned char (*QLIB_DIAG_NV_READ_F_t)(QlibHandle connection, unsigned short itemId, unsigned char* data,
                                              int size, unsigned short* status);
typedef unsigned char (*QLIB_DIAG_NV_WRITE_F_t)(QlibHandle connection, unsigned short itemId, unsigned char* data,
                                               int size, unsigned short* status);
// Copies a device file to a local path / a local file to a device path; not 0 on success.
typedef unsigned char (*QLIB_EfsRead_t)(QlibHandle connection, const char* devicePath, const char* localPath);
typedef unsigned char (*QLIB_EfsWrite_t)(QlibHandle connection, const char* localPath, const char* devicePath);
typedef void (*QLIB_DisconnectServer_t)(QlibHandle connection);

}  // extern "C"

namespace upwend {

constexpr const char* kQmslLibraryFile = "QMSL_MSVC10R.dll";

// The seven entry points the worker looks up, in lookup order.
struct QmslEntryPoints {
  QLIB_ConnectServerWithWait_t connectServerWithWait = nullptr;
  QLIB_IsPhoneConnected_t isPhoneConnected = nullptr;
  QLIB_DIAG_NV_READ_F_t nvRead = nullptr;
  QLIB_EfsRead_t efsRead = nullptr;
  QLIB_DIAG_NV_WRITE_F_t nvWrite = nullptr;
  QLIB_EfsWrite_t efsWrite = nullptr;
  QLIB_DisconnectServer_t disconnectServer = nullptr;

  bool Complete() const {
    return connectServerWithWait && isPhoneConnected && nvRead && efsRead && nvWrite && efsWrite && disconnectServer;
  }
};

}  // namespace upwend
