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
    alignas(inotify_event) char buf[4096];
    ssize_t n;
    while ((n = ::read(fd_, buf, sizeof buf)) > 0) {
      for (ssize_t at = 0; at < n;) {
        const auto* e = reinterpret_cast<const inotify_event*>(buf + at);
        if (e->mask & IN_IGNORED) wd_ = -1;  // the folder went away: watch it again when it is back
        at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
      }
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
