#include "tests/unit/engine/worker/worker_doubles.h"

#include <algorithm>

namespace upwend::testing {

bool Journal::Has(const std::string& e) const { return Find(e) >= 0; }

int Journal::Find(const std::string& e, int from) const {
  for (size_t i = static_cast<size_t>(std::max(from, 0)); i < entries.size(); ++i)
    if (entries[i] == e) return static_cast<int>(i);
  return -1;
}

int Journal::Count(const std::string& e) const {
  return static_cast<int>(std::count(entries.begin(), entries.end(), e));
}

void Doubles::During(const std::string& call) {
  journal.Add(call);
  auto it = script.during.find(call);
  if (it != script.during.end()) it->second();
}

namespace {

// Fake entry points: the connection value is the address of a static.
int gConnection = 0;
QlibHandle FakeConnect(unsigned, unsigned long) { return &gConnection; }
unsigned char gPhoneConnected = 1;
unsigned char FakeIsConnected(QlibHandle) { return gPhoneConnected; }
unsigned char FakeNvRead(QlibHandle, unsigned short, unsigned char*, int, unsigned short*) { return 1; }
unsigned char FakeNvWrite(QlibHandle, unsigned short, unsigned char*, int, unsigned short*) { return 1; }
unsigned char FakeEfsRead(QlibHandle, const char*, const char*) { return 1; }
unsigned char FakeEfsWrite(QlibHandle, const char*, const char*) { return 1; }
std::vector<std::string>* gDisconnectJournal = nullptr;
void FakeDisconnect(QlibHandle) {
  if (gDisconnectJournal) gDisconnectJournal->push_back("QLIB_DisconnectServer");
}

class Ports final : public PortLayer {
public:
  explicit Ports(Doubles& d) : d_(d) {}
  bool OpenAtPort() override {
    d_.During("OpenAtPort");
    d_.atOpen = d_.script.openAt;
    return d_.atOpen;
  }
  bool ReopenAtPortQuietly() override {
    d_.During("ReopenAtPortQuietly");
    if (d_.script.atReopenFailures > 0) {
      --d_.script.atReopenFailures;
      return false;
    }
    d_.atOpen = true;
    return true;
  }
  bool OpenDiagPort() override {
    d_.During("OpenDiagPort");
    if (d_.script.diagOpenFailures > 0) {
      --d_.script.diagOpenFailures;
      return false;
    }
    d_.diagOpen = true;
    return true;
  }
  void CloseDiagPort(const std::string& warning) override {
    d_.journal.Add("CloseDiagPort " + warning);
    d_.diagOpen = false;
  }
  void CloseAtPort(const std::string& warning) override {
    d_.journal.Add("CloseAtPort " + warning);
    d_.atOpen = false;
  }
  void CloseAtPortOnce() override {
    d_.journal.Add("CloseAtPortOnce");
    d_.atOpen = false;
  }
  bool DiagOpen() const override { return d_.diagOpen; }
  bool AtOpen() const override { return d_.atOpen; }
  void ResetForRun() override {
    d_.journal.Add("ResetForRun");
    d_.diagOpen = d_.atOpen = false;
  }
  void ClearDiagErrors() override {}

private:
  Doubles& d_;
};

class Diag final : public DiagLayer {
public:
  explicit Diag(Doubles& d) : d_(d) {}
  int SendStreamReset() override {
    d_.During("SendStreamReset");
    return d_.script.resetResult;
  }
  int SendStreamPowerOff() override {
    d_.During("SendStreamPowerOff");
    return d_.script.resetResult;
  }
  void ResetAndReconnect() override { d_.During("ResetAndReconnect"); }

private:
  Doubles& d_;
};

class At final : public AtLayer {
public:
  explicit At(Doubles& d) : d_(d) {}
  bool SendAtQuery(const std::string& command, std::string& value) override {
    d_.During("SendAtQuery " + command.substr(0, command.find('\r')));
    auto it = d_.script.atReplies.find(command.substr(0, command.find('\r')));
    if (it == d_.script.atReplies.end()) return false;
    value = it->second;
    return true;
  }
  bool SendAtReboot(const std::string& command) override {
    d_.During("SendAtReboot");
    return true;
  }
  void RunStartAtList() override { d_.During("RunStartAtList"); }
  void RunEndAtList() override { d_.During("RunEndAtList"); }
  int QueryPlatform() override {
    d_.During("QueryPlatform");
    return d_.script.platform;
  }
  void ShowDeviceVersion() override { d_.During("ShowDeviceVersion"); }
  bool FindComPort() override {
    d_.During("FindComPort");
    return true;
  }

private:
  Doubles& d_;
};

class Identity final : public IdentityLayer {
public:
  explicit Identity(Doubles& d) : d_(d) {}
  bool BackupIdentity() override {
    d_.During("BackupIdentity");
    return d_.script.identityOk;
  }
  void WriteAtBackupFile() override { d_.During("WriteAtBackupFile"); }
  bool RestoreIdentity() override {
    d_.During("RestoreIdentity");
    return true;
  }
  bool ReadsImei() const override { return true; }
  bool ImeiRead() const override { return d_.script.imeiRead; }
  bool SnRead() const override { return d_.script.snRead; }
  bool TestInfoRead() const override { return d_.script.testInfoRead; }
  bool MeidRead() const override { return d_.script.meidRead; }
  std::string Sn() const override { return d_.script.sn; }
  std::string Imei() const override { return d_.script.imei; }
  std::string Meid() const override { return d_.script.meid; }
  void SetBackupFile(const std::string& atbakFile) override { d_.journal.Add("at.bak " + atbakFile); }

private:
  Doubles& d_;
};

class Nv final : public NvLayer {
public:
  explicit Nv(Doubles& d) : d_(d) {}
  void BuildNvBackupList() override { d_.During("BuildNvBackupList"); }
  void SetBackupFile(const std::string& bakFile) override { d_.journal.Add("nv.bak " + bakFile); }
  void BackupNvToFile() override { d_.During("BackupNvToFile"); }
  void BackupNvToFileAlt() override { d_.During("BackupNvToFileAlt"); }
  void RestoreNvFromFile() override { d_.During("RestoreNvFromFile"); }
  void RestoreNvFromFileAlt() override { d_.During("RestoreNvFromFileAlt"); }
  void WriteNvConfig() override { d_.During("WriteNvConfig"); }
  void BackupNvQmsl(QlibHandle, const std::string& efsFolder) override {
    d_.During("BackupNvQmsl");
    store_ = true;
  }
  void RestoreNvQmsl(QlibHandle) override { d_.During("RestoreNvQmsl"); }
  bool HasQmslStore() const override { return store_; }
  void FreeQmslStore() override {
    d_.journal.Add("FreeQmslStore");
    store_ = false;
  }

private:
  Doubles& d_;
  bool store_ = false;
};

class Efs final : public EfsLayer {
public:
  explicit Efs(Doubles& d) : d_(d) {}
  void BackupUserData(const std::string&) override { d_.During("BackupUserData"); }
  void ApplyPartOfEfs() override { d_.During("ApplyPartOfEfs"); }
  void RestoreUserData(const std::string&) override { d_.During("RestoreUserData"); }

private:
  Doubles& d_;
};

class Fastboot final : public FastbootLayer {
public:
  explicit Fastboot(Doubles& d) : d_(d) {}
  void RunFastbootPass() override { d_.During("RunFastbootPass"); }

private:
  Doubles& d_;
};

class Qmsl final : public QmslLoader {
public:
  explicit Qmsl(Doubles& d) : d_(d) {}
  bool Load(const std::string& path, QmslEntryPoints& entry) override {
    d_.journal.Add("LoadLibrary " + path);
    if (!d_.script.qmslLoads) return false;
    gPhoneConnected = d_.script.phoneConnected ? 1 : 0;
    gDisconnectJournal = &d_.journal.entries;
    entry = QmslEntryPoints{FakeConnect, FakeIsConnected, FakeNvRead, FakeEfsRead, FakeNvWrite, FakeEfsWrite, FakeDisconnect};
    if (!d_.script.qmslComplete) entry.efsWrite = nullptr;
    return true;
  }

private:
  Doubles& d_;
};

}  // namespace

WorkerLayers Doubles::MakeLayers() {
  WorkerLayers l;
  l.ports = std::make_unique<Ports>(*this);
  l.diag = std::make_unique<Diag>(*this);
  l.at = std::make_unique<At>(*this);
  l.identity = std::make_unique<Identity>(*this);
  l.nv = std::make_unique<Nv>(*this);
  l.efs = std::make_unique<Efs>(*this);
  l.fastboot = std::make_unique<Fastboot>(*this);
  l.qmsl = std::make_unique<Qmsl>(*this);
  return l;
}

void FakeWindow::OnStatusText(int commStatus, const std::string& text, int index, int messageType) {
  d_.journal.Add(text);
  if (messageType == kMsgFailure) d_.journal.Add("type2 " + text);
}

void FakeWindow::OnError(const std::string& text, int index) {
  errors.push_back(text);
  d_.journal.Add(text);
}

void FakeWindow::SetGauge(int index, uint64_t position, uint64_t maximum) { gauge.push_back(position); }

int FakeWindow::MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
  d_.journal.Add("[" + caption + "] " + text);
  return 1;
}

int FakeWindow::FindAdbInterface(int index, std::string& path) {
  d_.journal.Add("FindAdbInterface");
  if (!d_.script.findAdb) return -1;
  path = "tcp:127.0.0.1:1";
  return 0;
}

bool FakeWindow::CheckDiagPortSame(int portNumber) { return d_.script.diagSame; }

}  // namespace upwend::testing
