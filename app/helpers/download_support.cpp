#include "app/helpers/download_support.h"

#include "platform/settings_store.h"

namespace upwend {

void SetDownloadSupport(bool on, const std::string& configDir, const std::function<void(const std::string&)>& appendRunLog) {
  // There is one registry view here: the 32-on-64-bit question of Windows does not arise.
  auto key = OpenSettingsKey(RegistryRoot::LocalMachine, kDownloadSupportKey, false, configDir);
  if (!key) key = OpenSettingsKey(RegistryRoot::LocalMachine, kDownloadSupportKey, true, configDir);
  if (!key) {
    appendRunLog("Failed to create key. Do you run it in administrator's right?");
    return;
  }
  if (!key->WriteString(kDownloadSupportValue, on ? "OK" : "NOK")) appendRunLog("Failed to modify reg information.");
}

}  // namespace upwend
