#pragma once
// Scripted doubles of the worker's layers and window. Every call lands in one journal, so a test
// can check the order of reports and calls across layers.
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/worker/comms_thread.h"

namespace upwend::testing {

struct Journal {
  std::vector<std::string> entries;
  void Add(const std::string& e) { entries.push_back(e); }
  bool Has(const std::string& e) const;
  // Index of the first entry equal to e at or after `from`, or -1.
  int Find(const std::string& e, int from = 0) const;
  int Count(const std::string& e) const;
};

// What the scripted device does; tests change fields before running.
struct Script {
  bool qmslLoads = true;
  bool qmslComplete = true;
  bool phoneConnected = true;
  bool openAt = true;
  int diagOpenFailures = 0;  // OpenDiagPort fails this many times first
  int atReopenFailures = 0;
  bool identityOk = true;
  bool imeiRead = true, snRead = true, testInfoRead = true, meidRead = false;
  std::string sn = "A1", imei = "12345", meid;
  std::map<std::string, std::string> atReplies;  // command -> value; absent = fails
  int platform = -1;
  int resetResult = 0;
  std::string resetModemFailure;  // raised by the reset-modem program; empty: it answers "100"
  bool findAdb = true;
  bool deviceChange = true, deviceArrival = true;
  bool diagSame = true;
  std::string portText = "COM5", serialPortText = "COM6";
  // Runs inside the named call (e.g. "RunFastbootPass"), for stops mid-step.
  std::map<std::string, std::function<void()>> during;
  // Runs when the window is asked to re-discover its ports (a device that came back renumbered).
  std::function<void()> discovery;
};

struct Doubles {
  Journal journal;
  Script script;
  bool diagOpen = false;
  bool atOpen = false;

  void During(const std::string& call);
  WorkerLayers MakeLayers();
};

class FakeWindow final : public WindowLink {
public:
  explicit FakeWindow(Doubles& d) : d_(d) {}
  void OnStatusText(int commStatus, const std::string& text, int index, int messageType) override;
  void OnError(const std::string& text, int index) override;
  void SetGauge(int index, uint64_t position, uint64_t maximum) override;
  int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;
  int FindAdbInterface(int index, std::string& path) override;
  bool CheckDiagPortSame(int portNumber) override;
  std::string PortText() override { return d_.script.portText; }
  std::string SerialPortText() override { return d_.script.serialPortText; }
  void ShiftDevice1Click() override { d_.journal.Add("ShiftDevice1Click"); }
  bool VariantFlag() override { return false; }
  bool DeviceChangeSeen() override { return d_.script.deviceChange; }
  bool DeviceArrivalSeen() override { return d_.script.deviceArrival; }
  void ClearDeviceFlags() override { d_.journal.Add("ClearDeviceFlags"); }
  void CheckForComPorts() override {
    d_.journal.Add("CheckForComPorts");
    if (d_.script.discovery) d_.script.discovery();
  }
  bool DiskModeSwitched() override { return false; }
  void ShowDeviceVersion(SerialPort*) override { d_.journal.Add("ShowDeviceVersion"); }
  void RememberDeviceBackupFolder(const std::string& folder) override { d_.journal.Add("Remember " + folder); }
  bool RunResetModem(const std::function<void(const std::string&)>& raise) override {
    d_.journal.Add("RunResetModem");
    if (d_.script.resetModemFailure.empty()) return true;
    raise(d_.script.resetModemFailure);
    return false;
  }

  std::vector<std::string> errors;
  std::vector<uint64_t> gauge;

private:
  Doubles& d_;
};

}  // namespace upwend::testing
