#include "app/shell/update_shell.h"

#include "app/shell/dialogs.h"
#include "app/shell/variant_texts.h"
#include "app/discovery/at_query_reply.h"
#include "app/discovery/device_version.h"
#include "app/discovery/device_watcher.h"
#include "app/discovery/port_discovery.h"
#include "app/helpers/download_support.h"
#include "app/helpers/xload_switch.h"
#include "engine/worker/comms_thread.h"
#include "platform/clock.h"
#include "platform/device_backend.h"
#include "platform/ini_file.h"
#include "platform/serial_port.h"
#include "platform/settings_store.h"
#include "platform/ui_thread.h"
#include "platform/usb_boot_pipe.h"

namespace upwend {

namespace {

class EngineWorker final : public RunWorker {
public:
  explicit EngineWorker(std::unique_ptr<TCommsThread> thread) : thread_(std::move(thread)) {}
  ~EngineWorker() override { Join(); }
  void Resume(std::function<void()> onTerminate) override { thread_->Resume(std::move(onTerminate)); }
  void RequestStop() override { thread_->RequestStop(); }
  void Join() override { thread_->Join(); }

private:
  std::unique_ptr<TCommsThread> thread_;
};

}  // namespace

RunWorkerFactory EngineWorkerFactory(Clock& clock, std::function<PortResolver()> resolver, ExtraLayerFactories extra) {
  return [&clock, resolver = std::move(resolver), extra = std::move(extra)](RunParameters params,
                                                                          WindowLink& link) -> std::shared_ptr<RunWorker> {
    PortResolver resolve = resolver();
    SerialPortFactory ports = [&clock, resolve] { return CreateSerialPort(clock, resolve); };
    return std::make_shared<EngineWorker>(CreateUpdateWorker(std::move(params), link, clock, ports, extra));
  };
}

UpdateShell::UpdateShell(FormServices services, ShellOptions options)
    : TVorezUzeUiForm(services), services_(services), options_(std::move(options)) {
  devices_ = CreateDeviceBackend(options_.devices, deviceError_);
  if (!devices_) Diag(deviceError_);
  DeviceBackend* backend = devices_.get();
  auto resolver = [backend]() -> PortResolver {
    return [backend](const std::string& portName) -> std::optional<std::string> {
      return backend ? backend->DeviceNodeForPort(portName) : std::nullopt;
    };
  };
  Clock& clock = services_.clock;
  discovery_ = std::make_unique<PortDiscovery>(
      clock, backend, [&clock, resolver] { return CreateSerialPort(clock, resolver()); },
      [this](const std::string& text) { LogFromAnyThread(text); });
  watcher_ = std::make_unique<DeviceWatcher>(clock);
  ProgramStarter starter = options_.startProgram ? options_.startProgram : HiddenProgramStarter();
  std::string tempDir = services_.paths.tempDir;
  helpers_ = std::make_unique<HelperPrograms>(
      clock, std::move(starter), HelperFolders{[this] { return imageFolder(); }, [tempDir] { return tempDir; }});
  runControl_ = std::make_unique<RunControl>(
      *this, services_.dialogs, services_.ui, services_.clock, services_.paths.logDir,
      [configDir = services_.paths.configDir] {
        return OpenSettingsKey(RegistryRoot::CurrentUser, kSettingsKeyPath, true, configDir);
      },
      EngineWorkerFactory(services_.clock, resolver, options_.extraLayers), MakeRunHooks());
  runControl_->SetProgramsFolder(services_.paths.programsDir);
  // Said once, here: otherwise every run would silently go without its log.
  if (std::string problem = runControl_->runLog().FolderProblem(); !problem.empty()) {
    Diag("warning: the run log folder " + services_.paths.logDir + " cannot be written (" + problem +
         "): runs will keep no log file");
  }
  // The window procedure: notifications arrive on the backend's thread.
  if (devices_) {
    devices_->Watch([this](const DeviceEvent& event) {
      runControl_->NoteDeviceChange();
      if (event.kind == DeviceEventKind::Arrival) runControl_->NoteDeviceArrival();
      services_.ui.Post([this, event] { OnDeviceChange(event); });
    });
  }
}

UpdateShell::~UpdateShell() {
  if (timer1_ != 0) services_.ui.StopTimer(timer1_);
  xload_.reset();  // its thread posts run log lines until it has ended
  if (devices_) devices_->Unwatch();
  watcher_->End();
  runControl_.reset();  // stops and joins a worker that still runs
}

RunHooks UpdateShell::MakeRunHooks() {
  RunHooks h;
  h.discoverPorts = [this] { DiscoverPorts(); };
  h.findComPorts = [this]() -> std::function<void()> {
    DiscoveredPorts found = discovery_->Discover(CurrentDiscoverySettings());
    return [this, found] { ShowPorts(found); };
  };
  h.processEvents = options_.processEvents;
  h.endDeviceWatch = [this] { EndDeviceWatch(); };
  h.probeHandleOpen = [this] { return discovery_->ProbeHandleOpen(); };
  h.closeProbeHandle = [this] { return discovery_->CloseProbeHandleOnce(); };
  h.deviceVersionIsCurrent = [this] { return DeviceVersionIsCurrent(); };
  h.selectPackageForDevice = [this] { return SelectPackageForDevice(); };
  h.findAdbInterface = [this](int index, std::string& path) { return discovery_->FindAdbInterface(index, path); };
  h.checkDiagPortSame = [this](int port) { return discovery_->CheckDiagPortSame(CurrentDiscoverySettings(), port); };
  h.diskModeSwitched = [this] { return discovery_->DiskModeSwitched(); };
  h.queryDeviceVersion = [this](SerialPort* port) {
    std::string version;
    if (port == nullptr || !QueryAtPort(services_.clock, *port, kAtCgmr, version)) return std::string();
    return version;
  };
  h.shiftDevice = [this] { helpers_->ShiftDevice1Click(); };
  h.runResetModem = [this](const std::function<void(const std::string&)>& raise) {
    return helpers_->RunResetModem(raise);
  };
  h.logLine = options_.logLine;
  h.gaugeChanged = options_.gaugeChanged;
  h.sentBytes = options_.sentBytes;
  h.runFinished = [this](bool passed) {
    if (options_.runFinished) options_.runFinished(passed);
    if (closing_) services_.ui.Quit(kExitOk);
  };
  std::string configDir = services_.paths.configDir;
  h.rememberDeviceBackupFolder = [configDir](const std::string& folder) {
    if (auto key = OpenSettingsKey(RegistryRoot::CurrentUser, kSettingsKeyPath, true, configDir))
      key->WriteString("Device Backup Folder", folder);
  };
  h.lastDeviceBackupFolder = [configDir]() -> std::string {
    auto key = OpenSettingsKey(RegistryRoot::CurrentUser, kSettingsKeyPath, false, configDir);
    return key ? key->ReadString("Device Backup Folder").value_or("") : std::string();
  };
  return h;
}

void UpdateShell::PressStartAfterGuide() {
  startPressedByGuide_ = true;
  services_.ui.Post([this] {
    runControl_->StartClick();
    if (!runControl_->running() && options_.guideStartRefused) options_.guideStartRefused();
  });
}

void UpdateShell::ApplyLayoutAdjustments() {
  TVorezUzeUiForm::ApplyLayoutAdjustments();
  if (state().Timer1Enabled && timer1_ == 0) {
    timer1_ = services_.ui.StartTimer(kTimer1IntervalMs, [this] { Timer1Timer(); });
  }
}

void UpdateShell::Timer1Timer() {
  auto stop = [this] {
    if (timer1_ != 0) services_.ui.StopTimer(timer1_);
    timer1_ = 0;
    state().Timer1Enabled = false;
  };
  if (!state().Timer1Enabled) {
    stop();  // Start switched it off
    return;
  }
  if (state().StartButton.enabled) return;
  stop();
  EndDeviceWatch();
  services_.dialogs.MessageBox(kNoDeviceJapanese, VariantProductTitle(config()), kMbOk);
  AskQuit();
}

void UpdateShell::CloseRequested() {
  if (runControl_->running()) {
    closing_ = true;
    runControl_->StopClick();
    return;
  }
  services_.ui.Quit(kExitOk);
}

void UpdateShell::StartXloadModeSwitch() {
  if (!xload_) {
    usbBoot_ = CreateUsbBootPort(services_.clock);
    auto appendRunLog = [this](const std::string& text) {
      services_.ui.Post([this, text] { runControl_->AppendRunLog(text); });
    };
    std::string configDir = services_.paths.configDir;
    xload_ = std::make_unique<XloadSwitch>(XloadServices{
        services_.clock, devices_.get(), *usbBoot_, appendRunLog,
        [configDir, appendRunLog](bool on) { SetDownloadSupport(on, configDir, appendRunLog); }});
  }
  xload_->StartXloadSwitch(imageFolder());
}

}  // namespace upwend
