// Settings are registry keys. A store moved for tests (a `configDir` given, or UPWEND_HOME set)
// keeps its keys below HKEY_CURRENT_USER\Software\upwend-scopes\<digest of the folder>\<root>,
// so tests never touch the user's real keys nor each other's, and need no administrator for
// HKEY_LOCAL_MACHINE.
#include <windows.h>

#include <cstdlib>
#include <vector>

#include "platform/ini_file.h"
#include "platform/payload_archive.h"
#include "platform/settings_store.h"

namespace upwend {

namespace {

constexpr const char* kScopesKey = "Software\\upwend-scopes\\";

std::string ValueName(const std::string& name) { return name == SettingsKey::kDefaultValue ? std::string() : name; }

class RegistryKey final : public SettingsKey {
public:
  explicit RegistryKey(HKEY key) : key_(key) {}
  ~RegistryKey() override { ::RegCloseKey(key_); }

  bool ValueExists(const std::string& name) const override {
    return ::RegQueryValueExA(key_, ValueName(name).c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  }

  std::optional<std::string> ReadString(const std::string& name) const override {
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!Query(name, type, data)) return std::nullopt;
    if (type == REG_DWORD && data.size() == 4) {
      return std::to_string(*reinterpret_cast<const uint32_t*>(data.data()));
    }
    if (type == REG_QWORD && data.size() == 8) {
      return std::to_string(*reinterpret_cast<const int64_t*>(data.data()));
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
    std::string text(reinterpret_cast<const char*>(data.data()), data.size());
    while (!text.empty() && text.back() == '\0') text.pop_back();
    return text;
  }

  std::optional<int64_t> ReadInteger(const std::string& name) const override {
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!Query(name, type, data)) return std::nullopt;
    if (type == REG_DWORD && data.size() == 4) return *reinterpret_cast<const uint32_t*>(data.data());
    if (type == REG_QWORD && data.size() == 8) return *reinterpret_cast<const int64_t*>(data.data());
    auto text = ReadString(name);
    return text ? ParseIniInteger(TrimBlanks(*text)) : std::nullopt;
  }

  bool WriteString(const std::string& name, const std::string& value) override {
    return ::RegSetValueExA(key_, ValueName(name).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
  }

  bool WriteInteger(const std::string& name, int64_t value) override {
    if (value >= 0 && value <= 0xFFFFFFFFll) {
      DWORD v = static_cast<DWORD>(value);
      return ::RegSetValueExA(key_, ValueName(name).c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v),
                              sizeof v) == ERROR_SUCCESS;
    }
    return ::RegSetValueExA(key_, ValueName(name).c_str(), 0, REG_QWORD, reinterpret_cast<const BYTE*>(&value),
                            sizeof value) == ERROR_SUCCESS;
  }

private:
  bool Query(const std::string& name, DWORD& type, std::vector<BYTE>& data) const {
    for (int attempt = 0; attempt < 3; ++attempt) {
      DWORD size = 0;
      if (::RegQueryValueExA(key_, ValueName(name).c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return false;
      data.resize(size);
      LONG rc = ::RegQueryValueExA(key_, ValueName(name).c_str(), nullptr, &type, data.data(), &size);
      if (rc == ERROR_SUCCESS) {
        data.resize(size);
        return true;
      }
      if (rc != ERROR_MORE_DATA) return false;  // grown meanwhile: ask again
    }
    return false;
  }

  HKEY key_;
};

// The key path below its root, without the leading "\" and with "/" read as "\".
std::string SubKey(const std::string& keyPath) {
  std::string out = keyPath;
  for (char& c : out) {
    if (c == '/') c = '\\';
  }
  while (!out.empty() && out.front() == '\\') out.erase(out.begin());
  return out;
}

}  // namespace

std::unique_ptr<SettingsKey> OpenSettingsKey(RegistryRoot root, const std::string& keyPath, bool create,
                                             const std::string& configDir) {
  std::string scope = configDir;
  if (scope.empty()) {
    const char* home = std::getenv("UPWEND_HOME");
    scope = home ? home : "";
  }
  HKEY base = root == RegistryRoot::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
  std::string path = SubKey(keyPath);
  if (!scope.empty()) {
    base = HKEY_CURRENT_USER;
    path = kScopesKey + std::to_string(Crc32(scope)) +
           (root == RegistryRoot::CurrentUser ? "\\HKEY_CURRENT_USER\\" : "\\HKEY_LOCAL_MACHINE\\") + path;
  }
  HKEY key = nullptr;
  // Opening a key for use needs write access, as the tool opens its key for reading and writing.
  const REGSAM access = KEY_READ | KEY_WRITE;
  LONG rc = create ? ::RegCreateKeyExA(base, path.c_str(), 0, nullptr, 0, access, nullptr, &key, nullptr)
                   : ::RegOpenKeyExA(base, path.c_str(), 0, access, &key);
  if (rc != ERROR_SUCCESS) return nullptr;
  return std::make_unique<RegistryKey>(key);
}

}  // namespace upwend
