#include "app/discovery/device_check.h"

#include <cctype>

#include "app/shell/window_state.h"
#include "engine/worker/project_rules.h"

namespace upwend {

namespace {

constexpr const char* kNotReady = "Not Ready";
constexpr const char* kReady = "Ready";
constexpr const char* kNotReadyJapanese = "準備中";
constexpr const char* kReadyJapanese = "準備完了";
constexpr const char* kJapaneseFont = "MS PGothic";
constexpr int kShiftJisCharset = 128;

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string Tail4(const std::string& text) { return text.size() <= 4 ? text : text.substr(text.size() - 4); }

// Characters 8 to 10, counting from 1.
std::string Middle(const std::string& text) { return text.size() <= 7 ? std::string() : text.substr(7, 3); }

void SetJapanese(LabelState& label, const char* text) {
  label.text = text;
  label.fontName = kJapaneseFont;
  label.charset = kShiftJisCharset;
}

// The refusals of the configured checks; empty when the device passes.
std::string ConfiguredCheckRefusal(const DeviceCheckSettings& s, const DeviceIdentity& id) {
  if (s.bCheckProjectCode) {
    std::string version = Upper(s.version);
    size_t dot = version.find('.');
    if (dot == std::string::npos) return "Can't get project code from config verison!";
    if (id.softwareVersion.find('.') == std::string::npos) return "Can't get project code from model verison!";
    std::string code = version.substr(0, dot);
    if (id.softwareVersion.compare(0, code.size(), code) != 0) return "Could not update other irrelevant model device!";
  }
  if (s.bCheckMainboardType) {
    std::string version = Upper(s.version);
    std::string device = Upper(id.softwareVersion);
    if (Middle(version) == ".3." && Middle(device) != Middle(version)) {
      return "Can't update other irrelevant mobile devices!";
    }
    if (s.name == "NP31" || s.name == "NP30") {
      std::string second = Upper(s.secondVersion);
      std::string alternative = second.empty() ? std::string("NONE") : Tail4(second);
      if (Tail4(device) != Tail4(version) && Tail4(device) != alternative) {
        return "Could not update other irrelevant mobile devices.";
      }
    } else if (Tail4(device) != Tail4(version)) {
      return "Can't update other irrelevant mobile devices.";
    }
  }
  // The device's flash chip is never queried, so the memory checks have only the configuration.
  if (s.bCheckDataCardMemory && s.flashSize != "512M") return "Memory size is not matched!";
  if (s.bCheckRouterMemory) return "Can not check memory size!";
  return {};
}

DevicePass ShowNoDevice(DeviceCheckHost& host, int pt) {
  if (project::InstallsDriver(pt)) host.ClearUninstallAnswer();
  host.Show([pt](WindowState& st) {
    if (project::UsesJapaneseLayout(pt)) {
      SetJapanese(st.Label_status, kNotReadyJapanese);
    } else {
      st.Label_status.text = kNotReady;
      if (project::ShowsDeviceVersion(pt)) st.Label_version.text = "Versinon:";
      st.Label21.enabled = false;
    }
    st.StartButton.enabled = false;
  });
  host.RefreshStartPictures();
  return {};
}

DevicePass Refuse(DeviceCheckHost& host, const std::string& text, bool setVersionLabel = false) {
  host.Show([setVersionLabel](WindowState& st) {
    if (setVersionLabel) st.Label_version.text = "Version:";
    st.Label_status.text = kNotReady;
    st.StartButton.enabled = false;
  });
  host.Warn(text);
  return DevicePass{false, true};
}

void ShowReady(DeviceCheckHost& host, const char* versionLabel, int projectType) {
  host.Show([versionLabel, projectType](WindowState& st) {
    if (project::UsesJapaneseLayout(projectType)) {
      SetJapanese(st.Label_status, kReadyJapanese);
    } else {
      st.Label_status.text = kReady;
    }
    st.Label_version.text = versionLabel;
    st.StartButton.enabled = true;
  });
}

// The refusals of a product that shows the device's version; empty when the device passes.
std::string VersionRefusal(const DeviceCheckSettings& s, const DeviceIdentity& id, const SelectedPorts& ports) {
  const int pt = s.projectType;
  if (id.softwareVersion == s.version) return "Can't update the software because it is the latest";
  if (project::IsTitledDataCard(pt) && id.softwareVersion.find("SWVD004") == std::string::npos) {
    return "Can't update other irrelevant Data Cards";
  }
  if (project::IsTitledMobileDevice(pt) && id.softwareVersion.find("SWVE005") == std::string::npos) {
    return "Can't update other irrelevant mobile devices";
  }
  if (ports.diagCount >= 2) return "Two or more devices were found";
  return {};
}

// The device passed: the window shows it ready as the product does.
DevicePass ShowPassed(DeviceCheckHost& host, const DeviceCheckSettings& s, const DeviceIdentity& id,
                      const SelectedPorts& ports) {
  const int pt = s.projectType;
  if (project::ShowsDeviceVersion(pt)) {
    if (std::string refusal = VersionRefusal(s, id, ports); !refusal.empty()) return Refuse(host, refusal, true);
    std::string label = "Version:" + id.softwareVersion;
    host.Show([label](WindowState& st) {
      st.Label_status.text = kReady;
      st.Label_version.text = label;
      st.StartButton.enabled = true;
    });
  } else if (project::ReadyWithoutVersion(pt)) {
    ShowReady(host, "", pt);
  } else if (project::EndsWatchWhenReady(pt) || host.DiskModeSwitched()) {
    ShowReady(host, "", pt);
    host.RefreshStartPictures();
    return DevicePass{true, true};
  } else {
    ShowReady(host, project::IsMdm9x15(pt) ? "Version:" : "", pt);
    if (project::EndsWatchAfterVersion(pt)) {
      host.RefreshStartPictures();
      return DevicePass{true, true};
    }
    // The operator product's start timer has done its job once the device is ready.
    if (project::IsOperatorProduct(pt)) host.Show([](WindowState& st) { st.Timer1Enabled = false; });
  }
  host.RefreshStartPictures();
  return {};
}

}  // namespace

DevicePass CheckDevice(DeviceCheckHost& host) {
  const DeviceCheckSettings s = host.Settings();
  const int pt = s.projectType;

  SelectedPorts before = host.Selected();
  if (before.diag.empty() && before.at.empty()) host.ShiftDevice();
  SelectedPorts ports = host.DiscoverPorts();
  if (ports.diag.empty() || ports.at.empty()) return ShowNoDevice(host, pt);

  host.Log("Diag Port:" + ports.diag);
  host.Log("AT Port:" + ports.at);
  host.Show([](WindowState& st) { st.Label21.enabled = true; });

  const DeviceIdentity id = host.Identity();
  if (std::string refusal = ConfiguredCheckRefusal(s, id); !refusal.empty()) return Refuse(host, refusal);
  if (project::InstallsDriver(pt) && !host.InstallDriver()) return DevicePass{false, false};
  return ShowPassed(host, s, id, ports);
}

}  // namespace upwend
