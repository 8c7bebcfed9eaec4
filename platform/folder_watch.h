#pragma once
// Hears about changes in one folder (files created, replaced, renamed into it or deleted), for
// readers that would otherwise poll it: inotify on Linux, change notifications on Windows.
// A folder that does not exist yet is watched from the moment it appears.
#include <memory>
#include <string>

namespace upwend {

class FolderWatch {
public:
  virtual ~FolderWatch() = default;
  // Waits up to `realMs` (real milliseconds) for a change; true when one was seen. Without a
  // way to watch (or before the folder exists) it just waits and returns false.
  virtual bool WaitForChange(int realMs) = 0;
};

std::unique_ptr<FolderWatch> WatchFolder(const std::string& folder);

}  // namespace upwend
