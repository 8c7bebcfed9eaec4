#pragma once
// TCommsThread: one update run on a thread of its own. The window creates it (suspended),
// copies the run parameters in, installs the protocol layers and resumes it; Execute runs the
// update sequence once; the termination callback then runs and the window drops the worker.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <thread>
#include <vector>

#include "engine/worker/run_parameters.h"
#include "engine/worker/worker_context.h"
#include "engine/worker/worker_layers.h"
#include "platform/message_box.h"

namespace upwend {

class Clock;


class TCommsThread final : public WorkerContext {
public:
  TCommsThread(RunParameters params, WindowLink& window, Clock& clock);
  ~TCommsThread() override;
  TCommsThread(const TCommsThread&) = delete;
  TCommsThread& operator=(const TCommsThread&) = delete;

  void SetLayers(WorkerLayers layers);
  // Starts the thread, one step above normal priority where the OS allows it. `onTerminate`
  // runs on the worker's thread after Execute has returned; the window hands it to the UI thread.
  void Resume(std::function<void()> onTerminate);
  // Waits for the thread to end (the window's finish handler, and destruction).
  void Join();

  // The thread body; tests call it directly.
  void Execute();

  // The stop request: a plain write of 210 into the error code.
  void RequestStop() { errorCode_.store(kStopRequestCode); }

  // WorkerContext
  void ReportStatus(int commStatus, const std::string& text, int messageType) override;
  void ReportError(const std::string& text) override;
  int ErrorCode() const override { return errorCode_.load(); }
  Clock& clock() override { return clock_; }
  void SetGauge(uint64_t position, uint64_t maximum) override;
  void AddSentBytes(uint64_t count) override;
  void NoteNotRestored(const std::string& item) override;
  const std::vector<std::string>& NotRestored() const { return notRestored_; }

  RunParameters& params() { return params_; }
  // The installed layers (tests drive one step of a layer through them).
  WorkerLayers& layers() { return layers_; }
  const RunParameters& params() const { return params_; }
  const std::string& LastReportText() const { return lastReportText_; }
  const std::string& DeviceBackupFolder() const { return deviceBackupFolder_; }
  const std::string& AtBakFile() const { return atbakFile_; }
  const std::string& BakFile() const { return bakFile_; }
  float ProgressFactor() const { return progressFactor_; }
  uint64_t SentBytes() const { return sentBytes_; }
  const QmslEntryPoints& Qmsl() const { return qmsl_; }

private:
  bool AmssOnly() const;
  bool Variant();
  bool ReadsImei() const;
  bool NeedsAtPort();
  // A Re-update whose device showed no AT port (it is still in its boot loader).
  bool ResumeWithoutAtPort() const;
  // The DIAG port for the exchanges before the reset; closed again before any QMSL connection.
  void EnsureDiagOpen();
  void EndRunAtOnce();
  void UseDeviceBackupFolder(const std::string& folder);
  // Ends the run before anything is changed when the device's identity is blank and a failed
  // run's device backup exists; true when it did.
  bool RefuseBlankDevice();
  void AdoptResumedBackup();

  void RunSequence();
  bool LoadQmsl();
  void StepStart();
  bool StepGpioCheck();
  void StepPlatformCheck();
  void StepDiskMode();
  bool StepBackup();
  void StepBootloaderAndFastboot();
  enum class ResetOutcome { Skipped, ResetFailed, Done };
  ResetOutcome StepReset();
  void WaitForDeviceReturn();
  void FindReturnedPorts();
  void ReopenWithRetries(const std::function<bool()>& open, uint64_t intervalMs, const std::string& what,
                         const char* timeoutText);
  bool StepRestore();
  void StepReconnect();
  void StepFinal();
  void QmslNvBackup();
  bool QmslConnect(QlibHandle& connection);

  RunParameters params_;
  WindowLink& window_;
  Clock& clock_;
  WorkerLayers layers_;
  std::atomic<int> errorCode_{0};
  std::string lastReportText_;
  float progressFactor_ = 0;
  uint64_t sentBytes_ = 0;
  std::optional<std::pair<uint64_t, uint64_t>> gaugeShown_;  // position and maximum last sent to the window
  QmslEntryPoints qmsl_;
  std::string deviceBackupFolder_;
  std::string atbakFile_;
  std::string bakFile_;
  std::vector<std::string> notRestored_;
  std::thread thread_;
};

}  // namespace upwend
