#pragma once
// The tool's side of HexToBin.dll: a flash programmer in Intel hex becomes a BIN image before
// the images are checked. The library is loaded from the working folder for each conversion and
// freed after it, so a library written out by start-up is always the one used.
#include <string>

namespace upwend {

class Dialogs;

inline constexpr const char* kHexToBinLibrary = "HexToBin.dll";
inline constexpr const char* kHexToBinEntry = "HexToBin";
inline constexpr const char* kMsgHexOpenFailed = "Read hex file failed(INVALID_HANDLE)!";
inline constexpr const char* kMsgHexReadFailed = "Read hex file failed!";
inline constexpr const char* kMsgHexLibraryFailed = "Load library failed [HexToBin.dll]!";
inline constexpr const char* kMsgHexConversionFailed = "switch hex to bin failed!";
inline constexpr const char* kCaptionError = "ERROR";

// Converts hexPath into binPath through workingFolder/HexToBin.dll. Every failure shows its
// message box (caption "ERROR") and returns false; true when the library wrote the BIN file.
// A library without the "HexToBin" entry point counts as a failed conversion.
bool ConvertHexToBin(const std::string& hexPath, const std::string& binPath, const std::string& workingFolder,
                     Dialogs& dialogs);

}  // namespace upwend
