#include "platform/folder_watch.h"

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace upwend {

namespace {

class InotifyWatch final : public FolderWatch {
public:
  explicit InotifyWatch(std::string folder)
      : folder_(std::move(folder)), fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}
  ~InotifyWatch() override {
    if (fd_ >= 0) ::close(fd_);
  }

  bool WaitForChange(int realMs) override {
    if (fd_ >= 0 && wd_ < 0) {
      wd_ = inotify_add_watch(fd_, folder_.c_str(), IN_MOVED_TO | IN_CLOSE_WRITE | IN_CREATE | IN_DELETE);
    }
    if (fd_ < 0 || wd_ < 0) {
      ::usleep(static_cast<useconds_t>(realMs) * 1000);
      return false;
    }
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, realMs) <= 0) return false;
    char buf[4096];
    while (::read(fd_, buf, sizeof buf) > 0) {
    }
    return true;
  }

private:
  std::string folder_;
  int fd_;
  int wd_ = -1;
};

}  // namespace

std::unique_ptr<FolderWatch> WatchFolder(const std::string& folder) { return std::make_unique<InotifyWatch>(folder); }

}  // namespace upwend
