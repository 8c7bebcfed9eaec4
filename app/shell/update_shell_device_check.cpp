// The update shell's port discovery, device watcher and device-change handling: the glue
// between the window state (UI thread) and discovery and the device check (any thread).
#include <fmt/format.h>

#include "app/discovery/device_version.h"
#include "app/discovery/device_watcher.h"
#include "app/discovery/port_discovery.h"
#include "app/shell/dialogs.h"
#include "app/shell/update_shell.h"
#include "engine/worker/project_rules.h"
#include "platform/clock.h"
#include "platform/device_backend.h"
#include "platform/ini_file.h"
#include "platform/ui_thread.h"

namespace upwend {

namespace {

constexpr uint64_t kWatchRestartMs = 500;
constexpr uint64_t kDriverAnswerWaitMs = 3000;

void FillBox(ComboBoxState& box, const std::vector<std::string>& items) {
  box.items = items;
  box.itemIndex = items.empty() ? -1 : 0;
  box.text = items.empty() ? std::string() : items.front();
}

}  // namespace

// The device check's view of the window from the watcher's thread: every change is carried out
// on the UI thread while the watcher waits; once the watcher is being ended nothing more is.
class UpdateShell::CheckHost final : public DeviceCheckHost {
public:
  CheckHost(UpdateShell& shell, const std::atomic<bool>& stop) : shell_(shell), stop_(stop) {}

  DeviceCheckSettings Settings() override {
    OnUi([&] {
      settings_ = shell_.CurrentCheckSettings();
      discovery_ = shell_.CurrentDiscoverySettings();
    });
    return settings_;
  }
  SelectedPorts Selected() override {
    SelectedPorts selected;
    OnUi([&] { selected = SelectedNow(); });
    return selected;
  }
  void ShiftDevice() override {
    OnUi([&] { shell_.ShiftDevice(); });
  }
  SelectedPorts DiscoverPorts() override {
    DiscoveredPorts found = shell_.discovery_->Discover(discovery_, &stop_);
    SelectedPorts selected;
    OnUi([&] {
      shell_.ShowPorts(found);
      selected = SelectedNow();
    });
    return selected;
  }
  DeviceIdentity Identity() override { return shell_.discovery_->Identity(); }
  bool DiskModeSwitched() override { return shell_.discovery_->DiskModeSwitched(); }
  void ClearUninstallAnswer() override {
    OnUi([&] { shell_.ClearUninstallAnswer(); });
  }
  bool InstallDriver() override {
    OnUi([&] { shell_.StartDriverInstall(); });
    shell_.services_.clock.SleepMs(kDriverAnswerWaitMs);
    bool ok = false;
    OnUi([&] { ok = shell_.DriverInstallAnswer(); });
    return ok;
  }
  void Log(const std::string& text) override { shell_.LogFromAnyThread(text); }
  void Show(const std::function<void(WindowState&)>& change) override {
    OnUi([&] {
      change(shell_.state());
      shell_.NoteStatusLabel();
    });
  }
  void RefreshStartPictures() override {
    OnUi([&] { shell_.RefreshStartPictures(); });
  }
  void Warn(const std::string& text) override {
    OnUi([&] { shell_.services_.dialogs.MessageBox(text, "Warning", kMbOk); });
  }

private:
  void OnUi(std::function<void()> task) { InvokeUnlessStopped(shell_.services_.ui, stop_, std::move(task)); }
  SelectedPorts SelectedNow() const {
    const WindowState& st = shell_.state();
    return SelectedPorts{st.PortCBox.text, st.SerialPortCBox.text, st.PortCBox.items.size()};
  }

  UpdateShell& shell_;
  const std::atomic<bool>& stop_;
  DeviceCheckSettings settings_;
  DiscoverySettings discovery_;
};

DiscoverySettings UpdateShell::CurrentDiscoverySettings() const {
  return DiscoverySettings{config().options.bEnprg9x15, config().name};
}

DeviceCheckSettings UpdateShell::CurrentCheckSettings() const {
  const ProductConfig& c = config();
  DeviceCheckSettings s;
  s.projectType = c.projectType;
  s.version = c.softwareVersion;
  s.name = c.name;
  s.secondVersion = c.TwoPackages() ? c.secondSoftwareVersion : std::string();
  s.bCheckProjectCode = c.bCheckProjectCode;
  s.bCheckMainboardType = c.bCheckMainboardType;
  s.bCheckDataCardMemory = c.bCheckDataCardMemory;
  s.bCheckRouterMemory = c.bCheckRouterMemory;
  s.flashSize = c.memoryFlashSize;
  return s;
}

void UpdateShell::ShowPorts(const DiscoveredPorts& ports) {
  WindowState& st = state();
  FillBox(st.PortCBox, ports.diag);
  FillBox(st.SerialPortCBox, ports.at);
  FillBox(st.AppPortCBox, ports.app);
}

bool UpdateShell::CheckForComPorts() {
  WindowState& st = state();
  FillBox(st.PortCBox, {});
  FillBox(st.SerialPortCBox, {});
  FillBox(st.AppPortCBox, {});
  DiscoveredPorts found = discovery_->Discover(CurrentDiscoverySettings());
  ShowPorts(found);
  return found.foundDiag;
}

bool UpdateShell::HasDiagPort() {
  FillBox(state().PortCBox, {});
  FillBox(state().AppPortCBox, {});
  std::vector<std::string> diag;
  std::vector<std::string> app;
  return discovery_->ScanComPorts(CurrentDiscoverySettings(), diag, app);
}

void UpdateShell::LogFromAnyThread(const std::string& text) {
  if (services_.ui.IsUiThread()) {
    runControl_->LogMessage(text, kMsgPlain);
  } else {
    services_.ui.Post([this, text] { runControl_->LogMessage(text, kMsgPlain); });
  }
}

void UpdateShell::NoteStatusLabel() {
  const std::string& text = state().Label_status.text;
  if (text == lastStatus_) return;
  lastStatus_ = text;
  if (options_.statusChanged) options_.statusChanged(text);
}

bool UpdateShell::WaitsForReady() const { return watchStarted_; }

void UpdateShell::EndDeviceWatch() { watcher_->End(); }

bool UpdateShell::DeviceWatchRunning() const { return watcher_->Running(); }

void UpdateShell::StartDeviceWatch() {
  watcher_->End();
  services_.clock.SleepMs(kWatchRestartMs);
  watchStarted_ = true;
  watcher_->Start([this](const std::atomic<bool>& stop) {
    CheckHost host(*this, stop);
    DevicePass pass = CheckDevice(host);
    return pass.endWatcher || stop.load();
  });
}

void UpdateShell::OnDeviceChange(const DeviceEvent& event) {
  const ProductConfig& c = config();
  bool restarts = project::RestartsDeviceWatch(c.projectType) || c.bCheckProjectCode;
  if (restarts && event.kind == DeviceEventKind::RemoveComplete && event.type == DeviceType::Port &&
      !runControl_->running()) {
    StartDeviceWatch();
  }
}

bool UpdateShell::DeviceVersionIsCurrent() {
  const std::string& revision = discovery_->Identity().revision;
  if (upwend::DeviceVersionIsCurrent(revision, config().softwareVersion)) return true;
  // Start may end the program on this without a box; say why, for whoever reads the console.
  Diag(revision.empty() ? std::string("the device's software version could not be read, so it is not current")
                        : fmt::format("the device's software version {} is not current against this build's {}",
                                      revision, config().softwareVersion));
  return false;
}

bool UpdateShell::ReleaseKindDiffers() {
  return upwend::ReleaseKindDiffers(discovery_->Identity().revision, config().softwareVersion);
}

bool UpdateShell::SelectPackageForDevice() {
  const ProductConfig& c = config();
  PackageChoice choice{discovery_->Identity().pairCode, c.packet, c.name, c.secondName};
  return upwend::SelectPackageForDevice(
      choice, [this] { SwitchToSecondPackage(); },
      [this](const std::string& text) { services_.dialogs.MessageBox(text, "Warning", kMbOk); });
}

void UpdateShell::SwitchToSecondPackage() {
  const std::string folder = secondWorkingFolder();
  // What start-up learned about the package pair is the window's, not the file's: reading the
  // second package's file must not forget it (a later device check chooses by it again).
  const std::string secondName = config().secondName;
  const std::string secondVersion = config().secondSoftwareVersion;
  LoadConfig(folder + "/Config.ini");
  config().secondName = secondName;
  config().secondSoftwareVersion = secondVersion;
  state().caption = config().caption;
  state().Label_title.text = config().caption;
  state().ImageFolderEdit = folder;
  SetImageFolder(folder);
  BuildSettingsSummary();
}

void UpdateShell::ShiftDevice() { helpers_->ShiftDevice1Click(); }

void UpdateShell::ClearUninstallAnswer() { helpers_->ClearUninstallFlag(); }

void UpdateShell::StartDriverInstall() { helpers_->StartInstallDriver(); }

bool UpdateShell::DriverInstallAnswer() { return helpers_->InstallDriverAnswer(); }

}  // namespace upwend
