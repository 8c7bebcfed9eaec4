#pragma once
// What the three helper programs share: the folder they were started from (their Config.ini
// lives there), answering through that file, the device backend the tool uses, and one copy at
// a time.
#include <memory>
#include <string>

namespace upwend {

class DeviceBackend;

namespace helpers {

// The folder of the running program, without a trailing "/"; "." when it cannot be told.
std::string OwnFolder();
// OwnFolder() + "/Config.ini".
std::string OwnConfig();

// Writes one key of the Config.ini beside the program (atomically); false with `error`.
bool WriteAnswer(const std::string& section, const std::string& key, const std::string& value, std::string& error);

// The backend named by UPWEND_DEVICES ("sim:DIR"), else the real one.
std::unique_ptr<DeviceBackend> OpenDevices(std::string& error);

// Holds a lock named after the program in its folder for as long as it lives; `held()` is
// false when another copy holds it.
class SingleInstance {
public:
  explicit SingleInstance(const std::string& name);
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;
  bool held() const { return held_; }

private:
  int fd_ = -1;
  bool held_ = false;
};

}  // namespace helpers
}  // namespace upwend
