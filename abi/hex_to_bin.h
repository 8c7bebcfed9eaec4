#pragma once
// The C entry point of HexToBin.dll, as the tool looks it up by name ("HexToBin").
#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define HEXTOBIN_CALL __cdecl
#define HEXTOBIN_EXPORT __declspec(dllexport)
#else
#define HEXTOBIN_CALL
#define HEXTOBIN_EXPORT __attribute__((visibility("default")))
#endif

// Converts the Intel hex file at hexPath (8-bit, zero-terminated) into a binary image at
// binPath. Returns non-zero when the BIN file has been written, zero otherwise; a failed
// conversion leaves no BIN file behind (an existing one is left as it was).
typedef int(HEXTOBIN_CALL* HexToBinFn)(const char* hexPath, const char* binPath);
HEXTOBIN_EXPORT int HEXTOBIN_CALL HexToBin(const char* hexPath, const char* binPath);

// Why the calling thread's last HexToBin call failed ("" after a success). Not needed by the
// tool; for logs and tests.
typedef const char*(HEXTOBIN_CALL* HexToBinLastErrorFn)(void);
HEXTOBIN_EXPORT const char* HEXTOBIN_CALL HexToBinLastError(void);

#ifdef __cplusplus
}
#endif
