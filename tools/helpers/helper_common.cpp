#include "tools/helpers/helper_common.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>

#include "platform/device_backend.h"
#include "platform/ini_file.h"

namespace upwend::helpers {

std::string OwnFolder() {
  std::error_code ec;
  auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec || !self.has_parent_path()) return ".";
  return self.parent_path().string();
}

std::string OwnConfig() { return OwnFolder() + "/Config.ini"; }

bool WriteAnswer(const std::string& section, const std::string& key, const std::string& value, std::string& error) {
  std::string path = OwnConfig();
  auto ini = IniFile::Load(path);
  if (!ini) {
    error = ini.error();
    return false;
  }
  ini->WriteString(section, key, value);
  auto saved = ini->Save(path);
  if (!saved) error = saved.error();
  return static_cast<bool>(saved);
}

std::unique_ptr<DeviceBackend> OpenDevices(std::string& error) { return CreateDeviceBackend("", error); }

SingleInstance::SingleInstance(const std::string& name) {
  std::string path = OwnFolder() + "/." + name + ".lock";
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  // A folder where no lock can be made does not stop the program.
  held_ = fd_ < 0 || ::flock(fd_, LOCK_EX | LOCK_NB) == 0;
}

SingleInstance::~SingleInstance() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace upwend::helpers
