#pragma once
// The machine-wide "DownloadSupport" value that tells whoever serves the USB boot device that
// the tool feeds it xload.bin. It lives in the settings store's machine root (the system
// settings file beside the user's); failures go only to the run log.
#include <functional>
#include <string>

namespace upwend {

inline constexpr const char* kDownloadSupportKey = "SOFTWARE\\zorovoverovo";
inline constexpr const char* kDownloadSupportValue = "DownloadSupport";

// Writes "OK" (on) or "NOK" (off). `configDir` empty: the default settings folder.
void SetDownloadSupport(bool on, const std::string& configDir, const std::function<void(const std::string&)>& appendRunLog);

}  // namespace upwend
