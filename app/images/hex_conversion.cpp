#include "app/images/hex_conversion.h"

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "app/shell/dialogs.h"
#include "platform/dynamic_library.h"
#include "abi/hex_to_bin.h"

namespace upwend {

namespace {

// The library only needs the file to be readable; reading the start of it catches a folder or
// an unreadable file before the library is loaded.
constexpr size_t kProbeBytes = 13;

enum class Probe { Ok, OpenFailed, ReadFailed };

Probe ProbeHexFile(const std::string& path) {
  // Non-blocking, so a pipe or device that happens to carry a hex name cannot hang the window.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return Probe::OpenFailed;
  struct stat st {};
  ssize_t got = -1;
  // Only a regular file is handed to the library, which reads it to its end.
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    char head[kProbeBytes];
    do {
      got = ::read(fd, head, sizeof head);
    } while (got < 0 && errno == EINTR);
  }
  ::close(fd);
  return got < 0 ? Probe::ReadFailed : Probe::Ok;
}

}  // namespace

bool ConvertHexToBin(const std::string& hexPath, const std::string& binPath, const std::string& workingFolder,
                     Dialogs& dialogs) {
  switch (ProbeHexFile(hexPath)) {
    case Probe::OpenFailed:
      dialogs.MessageBox(kMsgHexOpenFailed, kCaptionError, kMbOk);
      return false;
    case Probe::ReadFailed:
      dialogs.MessageBox(kMsgHexReadFailed, kCaptionError, kMbOk);
      return false;
    case Probe::Ok:
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
