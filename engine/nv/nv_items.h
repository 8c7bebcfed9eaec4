#pragma once
// NV items: the lists the DIAG path backs up, nv.bak backup and restore over the worker's own
// DIAG requests, the configured NV writes, the status checks with their texts, and the QMSL
// path's backup and restore through the QMSL library's entry points.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "abi/qmsl_api.h"
#include "engine/nv/qmsl_item_store.h"
#include "engine/worker/run_parameters.h"
#include "engine/worker/worker_layers.h"

namespace upwend {

class DiagFraming;
class WorkerContext;

struct NvListEntry {
  int id = -1;
  const char* name = "";
};

// Which list CheckNvStatus takes the item label from.
enum class NvListSource { kBackupList, kSavedList };

class NvItems final : public NvLayer {
public:
  static constexpr int kItemAttempts = 99;      // backup and restore, per item
  static constexpr int kConfiguredAttempts = 50;
  static constexpr uint64_t kRetrySleepMs = 500;

  NvItems(WorkerContext& ctx, const RunParameters& params, DiagFraming& diag, const QmslEntryPoints& qmsl);

  // NvLayer
  void BuildNvBackupList() override;
  void SetBackupFile(const std::string& bakFile) override { bakFile_ = bakFile; }
  void BackupNvToFile() override;
  void BackupNvToFileAlt() override;
  void RestoreNvFromFile() override;
  void RestoreNvFromFileAlt() override;
  void WriteNvConfig() override;
  void BackupNvQmsl(QlibHandle connection, const std::string& efsFolder) override;
  void RestoreNvQmsl(QlibHandle connection) override;
  bool HasQmslStore() const override { return store_.has_value(); }
  void FreeQmslStore() override { store_.reset(); }

  void WriteNvItem(const std::string& idText, const std::string& dataText);
  // The byte of a two-digit upper-case hexadecimal text; raises "String to hex failed!" and
  // gives 0 otherwise.
  uint8_t ParseHexByte(const std::string& text);
  // Judge the status of the reply in the receive buffer (replyLength: the receive's content
  // count, check bytes included); 0 means accepted.
  int CheckNvStatus(NvListSource source, int index, int replyLength);
  int CheckNvStatusAlt(int index, int replyLength);
  int CheckCustomNvStatus(int replyLength);

  const std::vector<NvListEntry>& backupList() const { return backupList_; }
  const std::vector<NvListEntry>& savedList() const { return savedList_; }
  const std::optional<QmslItemStore>& qmslStore() const { return store_; }

private:
  // After a failed QMSL call: raises the loss and returns true when the device has gone.
  bool QmslDeviceGone(QlibHandle connection);
  enum class Pass { kBackup, kRestore, kConfigured };
  // One DIAG NV request, resent until a whole reply with the expected code and id arrives;
  // the reply's content count (check bytes included), or 0 when none came.
  int Exchange(std::span<const uint8_t> request, Pass pass);
  uint16_t ReplyStatus(int replyLength) const;
  int JudgeStatus(const std::string& label, uint16_t status);
  int JudgeStatusAlt(const std::string& label, uint16_t status);
  std::string ListLabel(const std::vector<NvListEntry>& list, int index) const;
  std::string RecordLabel(const std::vector<NvListEntry>& list, size_t index, uint16_t id) const;
  void BackupToFile(bool alternative);
  void RestoreFromFile(bool alternative);
  // The EFS folder of a saved item store for a run that made no backup, or "".
  std::string FindSavedStoreFolder() const;
  // The one device backup folder below the backup folder that holds `file`, or "".
  std::string FindSavedDeviceFolder(const std::string& file) const;

  WorkerContext& ctx_;
  const RunParameters& params_;
  DiagFraming& diag_;
  const QmslEntryPoints& qmsl_;
  std::vector<NvListEntry> backupList_;
  std::vector<NvListEntry> savedList_;
  std::vector<NvListEntry> alternativeList_;
  std::string bakFile_;
  bool backupRan_ = false;
  std::optional<QmslItemStore> store_;
};

}  // namespace upwend
