#pragma once
// Named mutexes that mark running programs. A NamedMutex is held from creation until it is
// destroyed (or the process ends); creating one whose name another holder (this process or
// another) already holds reports that it already existed. POSIX: a lock file per name in
// ToolPaths::runtimeDir, locked with flock(); the kernel drops the lock when the process ends,
// so a crashed program never leaves a stale mutex behind. Windows: a named kernel mutex in the
// session's namespace, which the system closes when the process ends.
#include <cstdint>
#include <memory>
#include <string>

namespace upwend {

class NamedMutex {
public:
  ~NamedMutex();
  NamedMutex(const NamedMutex&) = delete;
  NamedMutex& operator=(const NamedMutex&) = delete;

  // Creates (or opens) the mutex. `alreadyExisted` is set when another holder has it; the
  // returned object then holds nothing. nullptr when the lock folder or file cannot be used.
  // `runtimeDir` empty means CurrentPaths().runtimeDir.
  static std::unique_ptr<NamedMutex> Create(const std::string& name, bool& alreadyExisted,
                                            const std::string& runtimeDir = {});

  bool held() const { return handle_ != kNoHandle; }
  const std::string& name() const { return name_; }

private:
  static constexpr intptr_t kNoHandle = -1;
  // A descriptor on POSIX, a HANDLE on Windows.
  NamedMutex(std::string name, intptr_t handle) : name_(std::move(name)), handle_(handle) {}
  std::string name_;
  intptr_t handle_;
};

// Keeps a mutex until the process ends: the system releases it with the process, so no window or
// dialog that closes early can give the instance lock away.
void HoldUntilExit(std::unique_ptr<NamedMutex> mutex);

}  // namespace upwend
