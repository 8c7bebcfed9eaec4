#include "app/images/hex_conversion.h"

#include <cstdio>

#include <cerrno>

#include "app/shell/dialogs.h"
#include "platform/dynamic_library.h"
#include "platform/file_io.h"
#include "abi/hex_to_bin.h"

namespace upwend {

namespace {

// The library only needs the file to be readable; reading the start of it catches a folder or
// an unreadable file before the library is loaded.
constexpr size_t kProbeBytes = 13;

}  // namespace

bool ConvertHexToBin(const std::string& hexPath, const std::string& binPath, const std::string& workingFolder,
                     Dialogs& dialogs) {
  switch (ProbeFileStart(hexPath, kProbeBytes)) {
    case FileStartProbe::kOpenFailed:
      dialogs.MessageBox(kMsgHexOpenFailed, kCaptionError, kMbOk);
      return false;
    case FileStartProbe::kReadFailed:
      dialogs.MessageBox(kMsgHexReadFailed, kCaptionError, kMbOk);
      return false;
    case FileStartProbe::kOk:
      break;
  }
  std::string error;
  auto library = DynamicLibrary::Load(workingFolder + "/" + kHexToBinLibrary, error);
  if (!library) {
    // The box's text is fixed; the loader's own reason (a noexec mount, a missing file) goes beside it.
    std::fprintf(stderr, "upwend: %s: %s\n", kHexToBinLibrary, error.c_str());
    dialogs.MessageBox(kMsgHexLibraryFailed, kCaptionError, kMbOk | kMbIconWarning);
    return false;
  }
  auto convert = library->Function<HexToBinFn>(kHexToBinEntry);
  if (convert == nullptr || convert(hexPath.c_str(), binPath.c_str()) == 0) {
    dialogs.MessageBox(kMsgHexConversionFailed, kCaptionError, kMbOk | kMbIconWarning);
    return false;
  }
  return true;
}

}  // namespace upwend
