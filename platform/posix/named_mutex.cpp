#include "platform/named_mutex.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_io.h"
#include "platform/paths.h"

namespace upwend {

namespace {

// Mutex names may hold any characters; the lock file name keeps letters, digits and a few
// marks and spells every other byte in hex, so no name can reach outside the lock folder.
std::string LockFileName(const std::string& name) {
  static const char* kHex = "0123456789abcdef";
  std::string out;
  for (unsigned char c : name) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
    if (plain) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out + ".lock";
}

}  // namespace

NamedMutex::~NamedMutex() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

std::unique_ptr<NamedMutex> NamedMutex::Create(const std::string& name, bool& alreadyExisted,
                                               const std::string& runtimeDir) {
  alreadyExisted = false;
  std::string dir = runtimeDir.empty() ? CurrentPaths().runtimeDir : runtimeDir;
  if (!CreateFolderPath(dir)) return nullptr;
  std::string path = dir + "/" + LockFileName(name);
  // O_CLOEXEC: a helper program started later must not inherit (and so keep) the lock.
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return nullptr;
  int rc;
  while ((rc = ::flock(fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
  }
  if (rc != 0) {
    int err = errno;
    ::close(fd);
    if (err != EWOULDBLOCK) return nullptr;
    alreadyExisted = true;
    return std::unique_ptr<NamedMutex>(new NamedMutex(name, kNoHandle));
  }
  return std::unique_ptr<NamedMutex>(new NamedMutex(name, fd));
}

}  // namespace upwend
