#pragma once
// The device's identity (serial number, IMEI, MEID, Bluetooth address, WiFi calibration, sales
// and test data): read over AT before the update, kept in at.bak, written back afterwards.
#include <array>
#include <functional>
#include <string>

#include "engine/at/at_channel.h"
#include "engine/worker/run_parameters.h"
#include "engine/worker/worker_context.h"
#include "engine/worker/worker_layers.h"

namespace upwend {

enum class IdentityItem : int {
  SN, IMEI, IMEI_1, ESN, MEID, Bluetooth, WifiCal, SalesCount, SalesInfo, TestInfo, UIT87, UIT89, CLLEN, VXREQ, GMI,
  Count
};

// The stored values and read flags of one run.
class IdentityStore final : public IdentityValues {
public:
  std::string& Value(IdentityItem item) { return values_[static_cast<size_t>(item)]; }
  const std::string& Value(IdentityItem item) const { return values_[static_cast<size_t>(item)]; }
  bool& Flag(IdentityItem item) { return flags_[static_cast<size_t>(item)]; }
  bool Flag(IdentityItem item) const { return flags_[static_cast<size_t>(item)]; }
  bool AnyFlag() const;
  // WriteAtValue's item numbers.
  std::string ValueForItem(int item) const override;

private:
  std::array<std::string, static_cast<size_t>(IdentityItem::Count)> values_;
  std::array<bool, static_cast<size_t>(IdentityItem::Count)> flags_{};
};

struct IdentityRestoreStep;

class IdentityBackup final : public IdentityLayer {
public:
  IdentityBackup(WorkerContext& ctx, const RunParameters& params, IdentityStore& store, AtChannel& at,
                 std::function<bool()> atPortOpen);

  bool BackupIdentity() override;
  void WriteAtBackupFile() override;
  bool RestoreIdentity() override;

  bool ReadsImei() const override;
  bool ImeiRead() const override { return store_.Flag(IdentityItem::IMEI); }
  bool SnRead() const override { return store_.Flag(IdentityItem::SN); }
  bool TestInfoRead() const override { return store_.Flag(IdentityItem::TestInfo); }
  bool MeidRead() const override { return store_.Flag(IdentityItem::MEID); }
  std::string Sn() const override { return store_.Value(IdentityItem::SN); }
  std::string Imei() const override { return store_.Value(IdentityItem::IMEI); }
  std::string Meid() const override { return store_.Value(IdentityItem::MEID); }
  void SetBackupFile(const std::string& atbakFile) override { atbakFile_ = atbakFile; }

private:
  bool Query(IdentityItem item);
  bool QueryWithRepeats(IdentityItem item);
  bool ExtraItems() const;  // CLLEN, VXREQ and GMI (project types 8, 10)
  bool GmiOnly() const;     // GMI alone (project type 18)
  void TakeFlagsFromFile();
  // Reports the read and keeps the item for the restore when it was read and `keep` holds.
  void ReportRead(IdentityItem item, bool ok, const char* good, const char* bad, bool keep);
  bool HasCleanValue(IdentityItem item) const;
  bool ReadSerialNumbers();
  void ReadNetworkIds();
  void ReadCalibration();
  bool ReadTestInfo();
  void ReadUitResults();
  void ReadExtraItems();
  void LoadRestoreValues();
  void WaitForAtPort();
  bool RestoreItem(const IdentityRestoreStep& step);

  WorkerContext& ctx_;
  const RunParameters& params_;
  IdentityStore& store_;
  AtChannel& at_;
  std::function<bool()> atPortOpen_;
  std::string atbakFile_;
  bool backupRan_ = false;
};

}  // namespace upwend
