#pragma once
// Registry keys as the tool uses them, kept in INI files below ToolPaths::configDir: one file per
// root ("HKEY_CURRENT_USER.ini", "HKEY_LOCAL_MACHINE.ini"), one section per key path (without
// its leading "\"), one line per value; the key's default value is the entry "@".
// Every write goes to disk at once (under a lock file, so two processes never lose each other's
// values). A store that cannot be opened gives nullptr and the caller goes on without it.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace upwend {

enum class RegistryRoot { CurrentUser, LocalMachine };

class SettingsKey {
public:
  virtual ~SettingsKey() = default;
  virtual bool ValueExists(const std::string& name) const = 0;
  virtual std::optional<std::string> ReadString(const std::string& name) const = 0;
  // nullopt when missing or not a number.
  virtual std::optional<int64_t> ReadInteger(const std::string& name) const = 0;
  virtual bool WriteString(const std::string& name, const std::string& value) = 0;
  virtual bool WriteInteger(const std::string& name, int64_t value) = 0;
  // The name of the key's default value.
  static constexpr const char* kDefaultValue = "@";
};

// Opens `keyPath` (e.g. "\Software\Hovrel7\Upwend_QCOMM") below `root`, creating the key when
// `create` is set. nullptr when the settings folder or file cannot be used, or the key is
// missing and `create` is not set. `configDir` empty means CurrentPaths().configDir.
std::unique_ptr<SettingsKey> OpenSettingsKey(RegistryRoot root, const std::string& keyPath, bool create,
                                             const std::string& configDir = {});

}  // namespace upwend
