#include <windows.h>

#include "platform/folder_watch.h"

namespace upwend {

namespace {

class ChangeNotification final : public FolderWatch {
public:
  explicit ChangeNotification(std::string folder) : folder_(std::move(folder)) {}
  ~ChangeNotification() override {
    if (handle_ != INVALID_HANDLE_VALUE) ::FindCloseChangeNotification(handle_);
  }

  bool WaitForChange(int realMs) override {
    if (handle_ == INVALID_HANDLE_VALUE) {
      handle_ = ::FindFirstChangeNotificationA(folder_.c_str(), FALSE,
                                               FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE);
    }
    if (handle_ == INVALID_HANDLE_VALUE) {
      ::Sleep(static_cast<DWORD>(realMs));
      return false;
    }
    if (::WaitForSingleObject(handle_, static_cast<DWORD>(realMs)) != WAIT_OBJECT_0) return false;
    if (!::FindNextChangeNotification(handle_)) {
      ::FindCloseChangeNotification(handle_);
      handle_ = INVALID_HANDLE_VALUE;  // the folder went away: watch it again when it is back
    }
    return true;
  }

private:
  std::string folder_;
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

}  // namespace

std::unique_ptr<FolderWatch> WatchFolder(const std::string& folder) {
  return std::make_unique<ChangeNotification>(folder);
}

}  // namespace upwend
