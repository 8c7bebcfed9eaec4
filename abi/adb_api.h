#pragma once
// C interface of AdbWinApi.dll: the Adb* entry points, their types and function pointer types,
// shaped like the public ADB USB API so the worker's binding looks them up by name as it would
// on Windows. Device paths are wide strings; see docs/adb-device-paths.md for their forms.
//
// Failures return false (or a null handle) and leave the reason in errno (POSIX builds) and in
// AdbGetLastErrorText(): EBADF for an unknown or closed handle, EINVAL for a bad argument or
// device path, ENODEV for a device that is not there, ETIMEDOUT when a time-out ran out,
// EPIPE/ECONNRESET for a lost connection, EPROTO for a reply that breaks the framing, ENOBUFS
// for a buffer that is too small, ENOSYS for the entry points this library does not provide.
//
// Time-outs are real milliseconds, 0 meaning no limit. The caller scales them for a time scale.
#include <stdbool.h>
#include <stdint.h>
#include <wchar.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define ADBWIN_CALL __cdecl
#define ADBWIN_EXPORT __declspec(dllexport)
#else
#define ADBWIN_CALL
#define ADBWIN_EXPORT __attribute__((visibility("default")))
#endif

typedef void* ADBAPIHANDLE;

// Interface class GUID, laid out as the Windows GUID.
typedef struct AdbGuid {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
} AdbGuid;

// The standard 9-byte USB interface descriptor (USB 2.0, 9.6.5), as usb100.h lays it out.
#pragma pack(push, 1)
typedef struct AdbUsbInterfaceDescriptor {
  uint8_t bLength;
  uint8_t bDescriptorType;
  uint8_t bInterfaceNumber;
  uint8_t bAlternateSetting;
  uint8_t bNumEndpoints;
  uint8_t bInterfaceClass;
  uint8_t bInterfaceSubClass;
  uint8_t bInterfaceProtocol;
  uint8_t iInterface;
} AdbUsbInterfaceDescriptor;
#pragma pack(pop)

typedef enum AdbEndpointType {
  AdbEndpointTypeInvalid = 0,
  AdbEndpointTypeControl,
  AdbEndpointTypeIsochronous,
  AdbEndpointTypeBulk,
  AdbEndpointTypeInterrupt,
} AdbEndpointType;

typedef struct AdbEndpointInformation {
  unsigned long max_packet_size;
  unsigned long max_transfer_size;
  AdbEndpointType endpoint_type;
  unsigned char endpoint_address;
  unsigned char polling_interval;
  unsigned char setting_index;
} AdbEndpointInformation;

typedef enum AdbOpenAccessType {
  AdbOpenAccessTypeReadWrite = 0,
  AdbOpenAccessTypeRead,
  AdbOpenAccessTypeWrite,
  AdbOpenAccessTypeQueryInfo,
} AdbOpenAccessType;

typedef enum AdbOpenSharingMode {
  AdbOpenSharingModeReadWrite = 0,
  AdbOpenSharingModeRead,
  AdbOpenSharingModeWrite,
  AdbOpenSharingModeExclusive,
} AdbOpenSharingMode;

// The entry points the tool calls.
typedef ADBAPIHANDLE(ADBWIN_CALL* AdbCreateInterfaceByNameFn)(const wchar_t* interface_name);
typedef bool(ADBWIN_CALL* AdbGetInterfaceNameFn)(ADBAPIHANDLE adb_interface, void* buffer,
                                                 unsigned long* buffer_char_size, bool ansi);
typedef bool(ADBWIN_CALL* AdbGetUsbInterfaceDescriptorFn)(ADBAPIHANDLE adb_interface, AdbUsbInterfaceDescriptor* desc);
typedef bool(ADBWIN_CALL* AdbGetDefaultBulkReadEndpointInformationFn)(ADBAPIHANDLE adb_interface,
                                                                      AdbEndpointInformation* info);
typedef bool(ADBWIN_CALL* AdbGetDefaultBulkWriteEndpointInformationFn)(ADBAPIHANDLE adb_interface,
                                                                       AdbEndpointInformation* info);
typedef ADBAPIHANDLE(ADBWIN_CALL* AdbOpenDefaultBulkReadEndpointFn)(ADBAPIHANDLE adb_interface,
                                                                    AdbOpenAccessType access_type,
                                                                    AdbOpenSharingMode sharing_mode);
typedef ADBAPIHANDLE(ADBWIN_CALL* AdbOpenDefaultBulkWriteEndpointFn)(ADBAPIHANDLE adb_interface,
                                                                     AdbOpenAccessType access_type,
                                                                     AdbOpenSharingMode sharing_mode);
typedef bool(ADBWIN_CALL* AdbWriteEndpointSyncFn)(ADBAPIHANDLE adb_endpoint, void* buffer, unsigned long bytes_to_write,
                                                  unsigned long* bytes_written, unsigned long time_out);
typedef bool(ADBWIN_CALL* AdbReadEndpointSyncFn)(ADBAPIHANDLE adb_endpoint, void* buffer, unsigned long bytes_to_read,
                                                 unsigned long* bytes_read, unsigned long time_out);
typedef bool(ADBWIN_CALL* AdbCloseHandleFn)(ADBAPIHANDLE adb_handle);

// Resolved by the tool but never called; they fail with ENOSYS.
typedef ADBAPIHANDLE(ADBWIN_CALL* AdbCreateInterfaceFn)(AdbGuid class_id, unsigned short vendor_id,
                                                        unsigned short product_id, unsigned char interface_id);
typedef bool(ADBWIN_CALL* AdbQueryInformationEndpointFn)(ADBAPIHANDLE adb_endpoint, AdbEndpointInformation* info);
typedef bool(ADBWIN_CALL* AdbGetEndpointInformationFn)(ADBAPIHANDLE adb_interface, unsigned char endpoint_index,
                                                       AdbEndpointInformation* info);
typedef ADBAPIHANDLE(ADBWIN_CALL* AdbWriteEndpointAsyncFn)(ADBAPIHANDLE adb_endpoint, void* buffer,
                                                           unsigned long bytes_to_write, unsigned long* bytes_written,
                                                           unsigned long time_out, void* event_handle);
typedef ADBAPIHANDLE(ADBWIN_CALL* AdbReadEndpointAsyncFn)(ADBAPIHANDLE adb_endpoint, void* buffer,
                                                          unsigned long bytes_to_read, unsigned long* bytes_read,
                                                          unsigned long time_out, void* event_handle);
typedef bool(ADBWIN_CALL* AdbGetOvelappedIoResultFn)(ADBAPIHANDLE adb_io_completion, void* overlapped,
                                                     unsigned long* bytes_transferred, bool wait);

// Not part of the Windows library: the reason for the calling thread's last failure, for logs.
typedef const char*(ADBWIN_CALL* AdbGetLastErrorTextFn)(void);
// Not part of the Windows library: where the next bytes written to `adb_endpoint` would be
// gathered before they go out, and how many fit there (*size). A caller may place the bytes
// there itself (read a file straight into it) and then write them with AdbWriteEndpointSync from
// that very address, in blocks and in order: those writes are not copied. Any other buffer is
// copied as always. NULL with *size 0 when the endpoint gathers nothing now (outside a download's
// data, or a transport that sends every write as it comes); the area stays valid until the next
// write or read on the endpoint's interface.
typedef void*(ADBWIN_CALL* AdbGetWriteEndpointBufferFn)(ADBAPIHANDLE adb_endpoint, unsigned long* size);

ADBWIN_EXPORT ADBAPIHANDLE ADBWIN_CALL AdbCreateInterfaceByName(const wchar_t* interface_name);
ADBWIN_EXPORT bool ADBWIN_CALL AdbGetInterfaceName(ADBAPIHANDLE adb_interface, void* buffer,
                                                   unsigned long* buffer_char_size, bool ansi);
ADBWIN_EXPORT bool ADBWIN_CALL AdbGetUsbInterfaceDescriptor(ADBAPIHANDLE adb_interface, AdbUsbInterfaceDescriptor* desc);
ADBWIN_EXPORT bool ADBWIN_CALL AdbGetDefaultBulkReadEndpointInformation(ADBAPIHANDLE adb_interface,
                                                                        AdbEndpointInformation* info);
ADBWIN_EXPORT bool ADBWIN_CALL AdbGetDefaultBulkWriteEndpointInformation(ADBAPIHANDLE adb_interface,
                                                                         AdbEndpointInformation* info);
ADBWIN_EXPORT ADBAPIHANDLE ADBWIN_CALL AdbOpenDefaultBulkReadEndpoint(ADBAPIHANDLE adb_interface,
                                                                      AdbOpenAccessType access_type,
                                                                      AdbOpenSharingMode sharing_mode);
ADBWIN_EXPORT ADBAPIHANDLE ADBWIN_CALL AdbOpenDefaultBulkWriteEndpoint(ADBAPIHANDLE adb_interface,
                                                                       AdbOpenAccessType access_type,
                                                                       AdbOpenSharingMode sharing_mode);
ADBWIN_EXPORT bool ADBWIN_CALL AdbWriteEndpointSync(ADBAPIHANDLE adb_endpoint, void* buffer,
                                                    unsigned long bytes_to_write, unsigned long* bytes_written,
                                                    unsigned long time_out);
ADBWIN_EXPORT bool ADBWIN_CALL AdbReadEndpointSync(ADBAPIHANDLE adb_endpoint, void* buffer, unsigned long bytes_to_read,
                                                   unsigned long* bytes_read, unsigned long time_out);
ADBWIN_EXPORT bool ADBWIN_CALL AdbCloseHandle(ADBAPIHANDLE adb_handle);

ADBWIN_EXPORT ADBAPIHANDLE ADBWIN_CALL AdbCreateInterface(AdbGuid class_id, unsigned short vendor_id,
                                                          unsigned short product_id, unsigned char interface_id);
ADBWIN_EXPORT bool ADBWIN_CALL AdbQueryInformationEndpoint(ADBAPIHANDLE adb_endpoint, AdbEndpointInformation* info);
ADBWIN_EXPORT bool ADBWIN_CALL AdbGetEndpointInformation(ADBAPIHANDLE adb_interface, unsigned char endpoint_index,
                                                         AdbEndpointInformation* info);
ADBWIN_EXPORT ADBAPIHANDLE ADBWIN_CALL AdbWriteEndpointAsync(ADBAPIHANDLE adb_endpoint, void* buffer,
                                                             unsigned long bytes_to_write, unsigned long* bytes_written,
                                                             unsigned long time_out, void* event_handle);
ADBWIN_EXPORT ADBAPIHANDLE ADBWIN_CALL AdbReadEndpointAsync(ADBAPIHANDLE adb_endpoint, void* buffer,
                                                            unsigned long bytes_to_read, unsigned long* bytes_read,
                                                            unsigned long time_out, void* event_handle);
ADBWIN_EXPORT bool ADBWIN_CALL AdbGetOvelappedIoResult(ADBAPIHANDLE adb_io_completion, void* overlapped,
                                                       unsigned long* bytes_transferred, bool wait);

ADBWIN_EXPORT const char* ADBWIN_CALL AdbGetLastErrorText(void);
ADBWIN_EXPORT void* ADBWIN_CALL AdbGetWriteEndpointBuffer(ADBAPIHANDLE adb_endpoint, unsigned long* size);

#ifdef __cplusplus
}
#endif
