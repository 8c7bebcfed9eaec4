#pragma once
// What each system gives CreateFolderPath, which is shared (file_io.cpp).
#include <string>

namespace upwend {

// A path of which no folder is to be made: a root, a drive or a network share's prefix.
bool IsPathRoot(const std::string& path);
// Makes one folder whose parent exists; true when it is there afterwards (made by another
// meanwhile included).
bool MakeFolder(const std::string& path);

}  // namespace upwend
