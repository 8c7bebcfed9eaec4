#pragma once
// The protocol layers the update worker drives, each behind a small interface so that the
// sequence can be tested against scripted doubles and the real classes plug in unchanged.
// Every layer reaches back to the worker only through WorkerContext.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/at/device_window.h"
#include "abi/qmsl_api.h"

namespace upwend {

// The worker's two serial ports.
class PortLayer {
public:
  virtual ~PortLayer() = default;
  virtual bool OpenAtPort() = 0;
  virtual bool ReopenAtPortQuietly() = 0;
  virtual bool OpenDiagPort() = 0;
  // CloseWithRetries on the handle, reporting `warning` after each failed attempt.
  virtual void CloseDiagPort(const std::string& warning) = 0;
  virtual void CloseAtPort(const std::string& warning) = 0;
  // One close attempt of the AT port.
  virtual void CloseAtPortOnce() = 0;
  virtual bool DiagOpen() const = 0;
  virtual bool AtOpen() const = 0;
  // Start of a run: clear the last read/write counts and mark both handles not open.
  virtual void ResetForRun() = 0;
  // Fetch and clear the DIAG port's error flags (after every raised error).
  virtual void ClearDiagErrors() = 0;
};

// The streaming-download commands on the DIAG port.
class DiagLayer {
public:
  virtual ~DiagLayer() = default;
  virtual int SendStreamReset() = 0;
  virtual int SendStreamPowerOff() = 0;
  virtual void ResetAndReconnect() = 0;
};

class AtLayer {
public:
  virtual ~AtLayer() = default;
  virtual bool SendAtQuery(const std::string& command, std::string& value) = 0;
  virtual bool SendAtReboot(const std::string& command) = 0;
  virtual void RunStartAtList() = 0;
  virtual void RunEndAtList() = 0;
  // The device's platform code, or -1.
  virtual int QueryPlatform() = 0;
  virtual void ShowDeviceVersion() = 0;
  virtual bool FindComPort() = 0;
};

class IdentityLayer {
public:
  virtual ~IdentityLayer() = default;
  virtual bool BackupIdentity() = 0;
  virtual void WriteAtBackupFile() = 0;
  virtual bool RestoreIdentity() = 0;
  // Whether this configuration reads the IMEI at all.
  virtual bool ReadsImei() const = 0;
  virtual bool ImeiRead() const = 0;
  virtual bool SnRead() const = 0;
  virtual bool TestInfoRead() const = 0;
  virtual bool MeidRead() const = 0;
  virtual std::string Sn() const = 0;
  virtual std::string Imei() const = 0;
  virtual std::string Meid() const = 0;
  // Where at.bak goes; set once the device backup folder is named.
  virtual void SetBackupFile(const std::string& atbakFile) = 0;
};

class NvLayer {
public:
  virtual ~NvLayer() = default;
  virtual void BuildNvBackupList() = 0;
  virtual void SetBackupFile(const std::string& bakFile) = 0;
  virtual void BackupNvToFile() = 0;
  virtual void BackupNvToFileAlt() = 0;
  virtual void RestoreNvFromFile() = 0;
  virtual void RestoreNvFromFileAlt() = 0;
  virtual void WriteNvConfig() = 0;
  virtual void BackupNvQmsl(QlibHandle connection, const std::string& efsFolder) = 0;
  virtual void RestoreNvQmsl(QlibHandle connection) = 0;
  virtual bool HasQmslStore() const = 0;
  virtual void FreeQmslStore() = 0;
};

class EfsLayer {
public:
  virtual ~EfsLayer() = default;
  // The device folder listing, then the copy of the user data files into the backup folder.
  virtual void BackupUserData(const std::string& deviceBackupFolder) = 0;
  virtual void ApplyPartOfEfs() = 0;
  virtual void RestoreUserData(const std::string& deviceBackupFolder) = 0;
};

class FastbootLayer {
public:
  virtual ~FastbootLayer() = default;
  virtual void RunFastbootPass() = 0;
};

// The QMSL library: loaded by full path, seven entry points looked up by name.
class QmslLoader {
public:
  virtual ~QmslLoader() = default;
  // Loads the library; false when it cannot be loaded. `entry` gets what was found.
  virtual bool Load(const std::string& path, QmslEntryPoints& entry) = 0;
};

// The main window as the worker sees it. The real implementation carries every call out on the
// UI thread while the worker waits.
class WindowLink : public DeviceWindow {
public:
  virtual void OnStatusText(int commStatus, const std::string& text, int index, int messageType) = 0;
  virtual void OnError(const std::string& text, int index) = 0;
  virtual void SetGauge(int index, uint64_t position, uint64_t maximum) = 0;
  // The bytes sent to the device so far in this run (for a transfer rate).
  virtual void SentBytes(int index, uint64_t total) {}
  // A modal box; returns the button pressed (1 OK).
  virtual int MessageBox(const std::string& text, const std::string& caption, unsigned flags) = 0;
  virtual int FindAdbInterface(int index, std::string& path) = 0;
  virtual void ShiftDevice1Click() = 0;
  virtual bool VariantFlag() = 0;
  // The reset-modem program, run on the worker's thread; false when it raised its text through
  // `raise`.
  virtual bool RunResetModem(const std::function<void(const std::string&)>& raise) = 0;
  // The device backup folder of this run, kept so that a Re-update finds it.
  virtual void RememberDeviceBackupFolder(const std::string& folder) {}
};

struct WorkerLayers {
  // Objects the layers share (transport, framing, stores); declared first so they outlive them.
  std::vector<std::shared_ptr<void>> parts;
  std::unique_ptr<PortLayer> ports;
  std::unique_ptr<DiagLayer> diag;
  std::unique_ptr<AtLayer> at;
  std::unique_ptr<IdentityLayer> identity;
  std::unique_ptr<NvLayer> nv;
  std::unique_ptr<EfsLayer> efs;
  std::unique_ptr<FastbootLayer> fastboot;
  std::unique_ptr<QmslLoader> qmsl;
};

}  // namespace upwend
