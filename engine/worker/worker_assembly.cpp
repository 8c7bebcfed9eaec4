#include "engine/worker/worker_assembly.h"

#include "engine/fastboot/adb_binding.h"
#include "engine/at/at_channel.h"
#include "engine/diag/diag_control.h"
#include "engine/diag/diag_framing.h"
#include "engine/efs/efs_files.h"
#include "engine/fastboot/fastboot_pass.h"
#include "engine/identity/identity_backup.h"
#include "engine/nv/nv_items.h"
#include "engine/nv/qmsl_loader.h"
#include "engine/worker/project_rules.h"

namespace upwend {

namespace {

class TransportPorts final : public PortLayer {
public:
  explicit TransportPorts(DiagTransport& transport) : t_(transport) {}
  bool OpenAtPort() override { return t_.OpenAtPort(); }
  bool ReopenAtPortQuietly() override { return t_.ReopenAtPortQuietly(); }
  bool OpenDiagPort() override { return t_.OpenDiagPort(); }
  void CloseDiagPort(const std::string& warning) override { t_.CloseDiagPort(warning); }
  void CloseAtPort(const std::string& warning) override { t_.CloseAtPort(warning); }
  void CloseAtPortOnce() override { t_.CloseAtPortOnce(); }
  bool DiagOpen() const override { return t_.DiagOpen(); }
  bool AtOpen() const override { return t_.AtOpen(); }
  void ResetForRun() override { t_.ResetForRun(); }
  void ClearDiagErrors() override { t_.ClearDiagErrors(); }

private:
  DiagTransport& t_;
};

class FramingCommands final : public DiagLayer {
public:
  FramingCommands(DiagFraming& framing, AtChannel& at, std::function<bool()> amssOnlyVariant)
      : framing_(framing), at_(at), amssOnlyVariant_(std::move(amssOnlyVariant)) {}
  int SendStreamReset() override { return framing_.SendStreamReset(); }
  int SendStreamPowerOff() override { return framing_.SendStreamPowerOff(); }
  void ResetAndReconnect() override {
    framing_.ResetAndReconnect([this] { return at_.FindComPort(); }, amssOnlyVariant_());
  }

private:
  DiagFraming& framing_;
  AtChannel& at_;
  std::function<bool()> amssOnlyVariant_;
};

class DiagControlLayer final : public DiagControl {
public:
  explicit DiagControlLayer(DiagControlRequests& requests) : r_(requests) {}
  int SendDiagOffline() override { return r_.SendDiagOffline(); }
  int SendDiagReset() override { return r_.SendDiagReset(); }
  int QueryPlatform() override { return r_.QueryPlatform(); }

private:
  DiagControlRequests& r_;
};

class AtForward final : public AtLayer {
public:
  explicit AtForward(AtChannel& at) : at_(at) {}
  bool SendAtQuery(const std::string& c, std::string& v) override { return at_.SendAtQuery(c, v); }
  bool SendAtReboot(const std::string& c) override { return at_.SendAtReboot(c); }
  void RunStartAtList() override { at_.RunStartAtList(); }
  void RunEndAtList() override { at_.RunEndAtList(); }
  int QueryPlatform() override { return at_.QueryPlatform(); }
  void ShowDeviceVersion() override { at_.ShowDeviceVersion(); }
  bool FindComPort() override { return at_.FindComPort(); }

private:
  AtChannel& at_;
};

}  // namespace

std::unique_ptr<TCommsThread> CreateUpdateWorker(RunParameters params, WindowLink& window, Clock& clock,
                                                 SerialPortFactory serialPorts, const ExtraLayerFactories& extra) {
  auto worker = std::make_unique<TCommsThread>(std::move(params), window, clock);
  TCommsThread& w = *worker;
  RunParameters& p = w.params();

  auto transport = std::make_shared<DiagTransport>(w, std::move(serialPorts));
  transport->config().projectType = p.projectType;
  transport->config().fastSpeedDownload = p.bFastSpeedDownload;
  transport->config().blockSize = p.m_nBlockSize;
  // The worker's port numbers live in its run parameters (port re-discovery changes them
  // there); the transport takes them at every open.
  transport->config().portNumbers = [&p](int& comPort, int& serialComPort) {
    comPort = p.ComPort;
    serialComPort = p.SerialComPort;
  };
  auto framing = std::make_shared<DiagFraming>(w, *transport, &window);
  auto requests = std::make_shared<DiagControlRequests>(w, *transport, *framing);
  auto control = std::make_shared<DiagControlLayer>(*requests);
  auto store = std::make_shared<IdentityStore>();
  DiagTransport* t = transport.get();
  auto at = std::make_shared<AtChannel>(w, p, [t] { return t->atPort(); }, *control, *store, window);
  auto adb = std::make_shared<AdbBinding>();
  std::string adbError;
  adb->Load(p.TempFiles + "/" + kAdbWinApiFile, adbError);  // a library that fails makes the connect step fail

  WorkerLayers layers;
  layers.parts = {transport, framing, requests, control, store, at, adb};
  layers.ports = std::make_unique<TransportPorts>(*transport);
  layers.diag = std::make_unique<FramingCommands>(*framing, *at, [&w, &window] {
    const RunParameters& r = w.params();
    const DownloadOptions& o = r.options;
    return o.bAMSSFile && !o.bEFS && !o.bRawAppsEFS && !o.pcSuite && project::HasCustomerVariants(r.projectType) &&
           window.VariantFlag();
  });
  layers.at = std::make_unique<AtForward>(*at);
  layers.identity = std::make_unique<IdentityBackup>(w, p, *store, *at, [t] { return t->AtOpen(); });
  layers.nv = std::make_unique<NvItems>(w, p, *framing, w.Qmsl());
  layers.efs = extra.efs ? extra.efs(w, *framing) : std::make_unique<EfsFiles>(w, p, *framing, transport.get());
  layers.fastboot = std::make_unique<FastbootPass>(w, p, *adb, [&window](int index, std::string& path) {
    return window.FindAdbInterface(index, path);
  });
  layers.qmsl = std::make_unique<DynamicQmslLoader>();
  w.SetLayers(std::move(layers));
  return worker;
}

}  // namespace upwend
