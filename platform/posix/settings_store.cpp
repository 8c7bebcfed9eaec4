#include "platform/settings_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/file_io.h"
#include "platform/ini_file.h"
#include "platform/paths.h"

namespace upwend {

namespace {

// Holds an exclusive lock on the store's lock file for one read-modify-write.
class StoreLock {
public:
  explicit StoreLock(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
    if (fd_ >= 0) {
      while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
      }
    }
  }
  ~StoreLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  StoreLock(const StoreLock&) = delete;
  StoreLock& operator=(const StoreLock&) = delete;
  bool ok() const { return fd_ >= 0; }

private:
  int fd_;
};

class IniSettingsKey final : public SettingsKey {
public:
  IniSettingsKey(std::string file, std::string section, IniFile snapshot)
      : file_(std::move(file)), section_(std::move(section)), snapshot_(std::move(snapshot)) {}

  bool ValueExists(const std::string& name) const override { return snapshot_.Find(section_, name).has_value(); }

  std::optional<std::string> ReadString(const std::string& name) const override {
    return snapshot_.Find(section_, name);
  }

  std::optional<int64_t> ReadInteger(const std::string& name) const override {
    auto v = snapshot_.Find(section_, name);
    if (!v) return std::nullopt;
    return ParseIniInteger(*v);
  }

  bool WriteString(const std::string& name, const std::string& value) override {
    return Update([&](IniFile& ini) { ini.WriteString(section_, name, value); });
  }

  bool WriteInteger(const std::string& name, int64_t value) override {
    return Update([&](IniFile& ini) { ini.WriteInteger(section_, name, value); });
  }

  // Re-reads the file under the lock so values another process wrote meanwhile survive.
  template <typename F>
  bool Update(F change) {
    StoreLock lock(file_ + ".lock");
    if (!lock.ok()) return false;
    auto current = IniFile::Load(file_);
    if (!current) return false;
    current->set_newline("\n");
    change(*current);
    if (!current->Save(file_)) return false;
    snapshot_ = std::move(*current);
    return true;
  }

private:
  std::string file_;
  std::string section_;
  IniFile snapshot_;
};

}  // namespace

std::unique_ptr<SettingsKey> OpenSettingsKey(RegistryRoot root, const std::string& keyPath, bool create,
                                             const std::string& configDir) {
  std::string dir = configDir.empty() ? CurrentPaths().configDir : configDir;
  if (!CreateFolderPath(dir)) return nullptr;
  std::string file = dir + (root == RegistryRoot::CurrentUser ? "/HKEY_CURRENT_USER.ini" : "/HKEY_LOCAL_MACHINE.ini");
  std::string section = keyPath;
  while (!section.empty() && (section.front() == '\\' || section.front() == '/')) section.erase(section.begin());
  auto ini = IniFile::Load(file);
  if (!ini) return nullptr;
  // Opening a key for use needs write access, as the tool opens its key for reading and writing.
  if (::access(dir.c_str(), W_OK) != 0) return nullptr;
  bool exists = ini->HasSection(section);
  if (!exists && !create) return nullptr;
  auto key = std::make_unique<IniSettingsKey>(file, section, std::move(*ini));
  // An empty section marks the key as existing, as a created registry key does.
  if (!exists && !key->Update([&](IniFile& f) {
        if (!f.HasSection(section)) {
          f.WriteString(section, SettingsKey::kDefaultValue, "");
          f.DeleteKey(section, SettingsKey::kDefaultValue);
        }
      })) {
    return nullptr;
  }
  return key;
}

}  // namespace upwend
