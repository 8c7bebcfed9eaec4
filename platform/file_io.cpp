#include "platform/file_io.h"

#include "platform/system_file_io.h"

namespace upwend {

Expected<void, std::string> CreateFolderPath(const std::string& path) {
  std::string native = NativePath(path);
  std::string current;
  size_t pos = 0;
  while (pos < native.size()) {
    size_t sep = native.find_first_of("\\/", pos);
    size_t end = sep == std::string::npos ? native.size() : sep + 1;
    current += native.substr(pos, end - pos);
    pos = end;
    if (IsPathRoot(current) || FolderExists(current)) continue;
    if (!MakeFolder(current)) return Unexpected("Could not create folder!" + current);
  }
  return {};
}

}  // namespace upwend
