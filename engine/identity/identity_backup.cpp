#include "engine/identity/identity_backup.h"

#include "engine/identity/identity_value.h"
#include "engine/worker/project_rules.h"
#include "platform/ini_file.h"

namespace upwend {

namespace {

using I = IdentityItem;

struct ItemInfo {
  const char* query;
  const char* writePrefix;
  int writeItem;
  const char* backupKey;  // nullptr: no [BACKUP] key
  const char* dataKey;
  bool quoted;
};

const ItemInfo& Info(IdentityItem item) {
  static const ItemInfo kItems[] = {
      {"AT+VXTSN=0,5\r\n\r\n", "AT+VXTSN=1,5,", 0, "bSN", "SN", true},
      {"AT+VXTSN=0,7\r\n\r\n", "AT+VXTSN=1,7,", 1, "bIMEI", "IMEI", true},
      {"AT+VXTSN=0,6\r\n\r\n", "AT+VXTSN=1,6,", 14, "bIMEI_1", "IMEI_1", true},
      {"AT+VXTSN=0,8\r\n", "AT+VXTSN=1,8,", 11, "ESN", "ESN", true},
      {"AT+VXTSN=0,9\r\n", "AT+VXTSN=1,9,", 111, "bMEID", "MEID", true},
      {"AT+VXTSN=0,10\r\n\r\n", "AT+VXTSN=1,10,", 6, "bBLUETOOTH", "BLUETOOTHADDR", true},
      {"AT+WIFICAL?\r\n", "AT+WIFICAL=", 17, "bWifiCal", "WifiCal", true},
      {"AT+VXTSN=0,11\r\n\r\n", "AT+VXTSN=1,11,", 15, "bSalesCount", "SalesCount", true},
      {"AT+VXTSN=0,12\r\n\r\n", "AT+VXTSN=1,12,", 16, "bSalesInfo", "SalesInfo", true},
      {"AT+TESTINF2=?\r\n\r\n", "AT+TESTINF2=", 2, "bTESTINF", "TESTINF", true},
      {"AT+CUIT87?\r\n", "AT+CUIT87=", 12, "bUIT87", "UIT87", false},
      {"AT+CUIT89?\r\n", "AT+CUIT89=", 13, "bUIT89", "UIT89", false},
      {"AT+CLLEN?\r\n\r\n", "AT+CLLEN=", 7, nullptr, "CLLEN", false},
      {"AT+VXREQ?\r\n\r\n", "AT+VXREQ=", 8, nullptr, "VXREQ", false},
      {"AT+GMI\r\n\r\n", "AT+GMI=", 9, nullptr, "GMI", true},
  };
  return kItems[static_cast<size_t>(item)];
}

std::string WithoutLineBreaks(const std::string& text) {
  std::string out;
  for (char c : text)
    if (c != '\r' && c != '\n') out += c;
  return out;
}

void RemoveFirst(std::string& text, const std::string& what) {
  size_t at = text.find(what);
  if (at != std::string::npos) text.erase(at, what.size());
}

constexpr const char* kEmptyQuoted = "\"\"";
// The AT port is tested ten times, 200 ms apart, before the identity is read.
constexpr int kPortTestTries = 10;
constexpr uint64_t kPortTestRetryMs = 200;

}  // namespace

bool IdentityStore::AnyFlag() const {
  for (bool f : flags_)
    if (f) return true;
  return false;
}

std::string IdentityStore::ValueForItem(int item) const {
  for (size_t i = 0; i < static_cast<size_t>(IdentityItem::Count); ++i) {
    if (Info(static_cast<IdentityItem>(i)).writeItem == item) return values_[i];
  }
  return {};
}

IdentityBackup::IdentityBackup(WorkerContext& ctx, const RunParameters& params, IdentityStore& store, AtChannel& at,
                               std::function<bool()> atPortOpen)
    : ctx_(ctx), params_(params), store_(store), at_(at), atPortOpen_(std::move(atPortOpen)) {}

bool IdentityBackup::ReadsImei() const {
  return params_.PlatformType != 2 && !project::IsCdmaOnly(params_.projectType);
}

bool IdentityBackup::ExtraItems() const { return project::HasCarrierItems(params_.projectType); }
bool IdentityBackup::GmiOnly() const { return project::HasGmiItemOnly(params_.projectType); }

bool IdentityBackup::Query(IdentityItem item) {
  std::string value;
  bool ok = at_.SendAtQuery(Info(item).query, value);
  if (ok) store_.Value(item) = value;
  return ok;
}

bool IdentityBackup::QueryWithRepeats(IdentityItem item) {
  for (int attempt = 0; attempt < 3; ++attempt)
    if (Query(item)) return true;
  return false;
}

void IdentityBackup::ReportRead(IdentityItem item, bool ok, const char* good, const char* bad, bool keep) {
  ctx_.Report(ok ? good : bad);
  store_.Flag(item) = ok && keep;
}

bool IdentityBackup::HasCleanValue(IdentityItem item) const { return !CleanIdentityValue(store_.Value(item)).empty(); }

bool IdentityBackup::BackupIdentity() {
  backupRan_ = true;
  if (!atPortOpen_()) {
    ctx_.Raise("Serial handle is failed");
    return false;
  }
  if (!ReadSerialNumbers()) return false;
  ReadNetworkIds();
  ReadCalibration();
  if (!ReadTestInfo()) return false;
  ReadUitResults();
  ReadExtraItems();
  return true;
}

// SN and IMEI must be there: a run without them could not put the device's identity back.
bool IdentityBackup::ReadSerialNumbers() {
  if (!Query(I::SN)) {
    ctx_.Report("SN ERROR");
    store_.Flag(I::SN) = false;
    return false;
  }
  ctx_.Report("Read SN");
  store_.Flag(I::SN) = true;

  store_.Flag(I::IMEI) = false;
  if (!ReadsImei()) return true;
  if (!QueryWithRepeats(I::IMEI)) {
    ctx_.Report("IMEI ERROR");
    return false;
  }
  ctx_.Report("Read IMEI");
  if (IsBlankIdentityValue(store_.Value(I::IMEI))) return false;
  store_.Flag(I::IMEI) = true;
  return true;
}

void IdentityBackup::ReadNetworkIds() {
  const int pt = params_.projectType;
  store_.Flag(I::IMEI_1) = false;
  if (project::HasSecondImei(pt)) {
    bool ok = QueryWithRepeats(I::IMEI_1);
    ReportRead(I::IMEI_1, ok, "Read IMEI_1", "IMEI_1 ERROR", HasCleanValue(I::IMEI_1));
  }

  if (project::ReadsEsn(pt)) {
    bool ok = Query(I::ESN);
    ReportRead(I::ESN, ok, "Read ESN", "ESN ERROR", HasCleanValue(I::ESN));
  }
  if (params_.ESN) {
    bool ok = Query(I::ESN);
    ReportRead(I::ESN, ok, "Read ESN", "ESN ERROR", !store_.Value(I::ESN).empty());
  } else {
    store_.Flag(I::ESN) = false;
  }

  store_.Flag(I::MEID) = false;
  if (params_.PlatformType == 2 || project::HasMeid(pt)) {
    bool ok = Query(I::MEID);
    ReportRead(I::MEID, ok, "Read MEID", "MEID ERROR", HasCleanValue(I::MEID));
  }
}

// These values are gone once the images are written: a read that fails is asked again, as
// the IMEI is, so only a device that keeps refusing (it lacks the item) goes without it.
void IdentityBackup::ReadCalibration() {
  bool ok = QueryWithRepeats(I::Bluetooth);
  ReportRead(I::Bluetooth, ok, "Read BlueTooth Addr", "BlueTooth ERROR", HasCleanValue(I::Bluetooth));
  ok = QueryWithRepeats(I::WifiCal);
  ReportRead(I::WifiCal, ok, "Read Wifi cal", "Wifi cal ERROR", true);
  ok = QueryWithRepeats(I::SalesCount);
  ReportRead(I::SalesCount, ok, "Read SalesCount/WIFIMAC", "SalesCount/WIFIMAC ERROR", true);
  ok = QueryWithRepeats(I::SalesInfo);
  ReportRead(I::SalesInfo, ok, "Read sales information", "Null sales information", true);
}

bool IdentityBackup::ReadTestInfo() {
  if (!Query(I::TestInfo)) {
    ctx_.Report("TESTINFO ERROR");
    store_.Flag(I::TestInfo) = false;
    return false;
  }
  std::string& info = store_.Value(I::TestInfo);
  info = WithoutLineBreaks(AsciiUpper(info));
  if (!params_.UIT_NewWays) {
    for (const char* marker : {",UIT89:PASS", ",UIT87:PASS", ",UIT89:FAIL", ",UIT87:FAIL", "UIT89:PASS", "UIT87:PASS",
                               "UIT89:FAIL", "UIT87:FAIL"}) {
      RemoveFirst(info, marker);
    }
  }
  ctx_.Report("Read TESTINFO");
  store_.Flag(I::TestInfo) = true;
  return true;
}

void IdentityBackup::ReadUitResults() {
  for (auto [item, good, bad] : {std::tuple{I::UIT87, "Read UIT87", "UIT87 ERROR"},
                                 std::tuple{I::UIT89, "Read UIT89", "UIT89 ERROR"}}) {
    bool ok = QueryWithRepeats(item);
    if (ok) store_.Value(item) = std::string(TrimBlanks(WithoutLineBreaks(store_.Value(item))));
    ReportRead(item, ok, good, bad, true);
  }
}

void IdentityBackup::ReadExtraItems() {
  auto extra = [&](I item, const char* good, const char* bad) { ReportRead(item, Query(item), good, bad, true); };
  if (ExtraItems()) {
    extra(I::CLLEN, "Read CLLEN", "Not support command:CLLEN......");
    extra(I::VXREQ, "Read VXREQ", "Not support command:VXREQ......");
  }
  if (ExtraItems() || GmiOnly()) extra(I::GMI, "Read GMI", "Not support command:GMI......");
}

void IdentityBackup::WriteAtBackupFile() {
  if (ctx_.Stopped()) return;
  auto loaded = IniFile::Load(atbakFile_);
  IniFile ini = loaded ? std::move(*loaded) : IniFile();
  for (I item : {I::SN, I::ESN, I::IMEI, I::IMEI_1, I::MEID, I::Bluetooth, I::SalesCount, I::WifiCal, I::SalesInfo,
                 I::TestInfo, I::UIT87, I::UIT89}) {
    const ItemInfo& info = Info(item);
    if (store_.Flag(item)) {
      ini.WriteString("BACKUP", info.backupKey, "1");
      ini.WriteString("Data", info.dataKey, WithoutLineBreaks(store_.Value(item)));
    } else {
      ini.WriteString("BACKUP", info.backupKey, "0");
    }
  }
  for (I item : {I::CLLEN, I::VXREQ, I::GMI}) {
    bool due = ExtraItems() || (GmiOnly() && item == I::GMI);
    if (due && store_.Flag(item)) ini.WriteString("Data", Info(item).dataKey, store_.Value(item));
  }
  (void)ini.Save(atbakFile_);  // write problems are not reported; the restore finds what is there
}

void IdentityBackup::TakeFlagsFromFile() {
  // A resumed run did not read the device: the record of what the first run saved decides.
  auto loaded = IniFile::Load(atbakFile_);
  if (!loaded) return;
  for (size_t i = 0; i < static_cast<size_t>(I::Count); ++i) {
    auto item = static_cast<I>(i);
    const ItemInfo& info = Info(item);
    if (info.backupKey != nullptr) {
      store_.Flag(item) = loaded->ReadString("BACKUP", info.backupKey, "0") == "1";
    } else {
      store_.Flag(item) = loaded->Find("Data", info.dataKey).has_value();
    }
  }
}

// What a failed write does to the rest of the restore.
enum class RestoreFailure {
  Stop,       // the restore ends
  RaiseStop,  // the restore ends with `extra` raised
  GoOn,       // the next item follows
  Report,     // `extra` is reported, the item noted as not restored, the next item follows
};

struct IdentityRestoreStep {
  IdentityItem item;
  const char* emptyText;  // reported instead of writing a value that is empty; nullptr: written anyway
  const char* failureText;
  const char* success;
  RestoreFailure onFail;
  const char* extra;
};

namespace {

// The order the device takes them in; the SIM lock comes after these, the extra items last.
constexpr IdentityRestoreStep kRestoreSteps[] = {
    {I::SN, nullptr, "Fail to write SN", "Restore SN", RestoreFailure::RaiseStop, "Fail to Send Wirte SN Command!"},
    {I::ESN, "ESN Empty.", "Fail to write ESN", "Restore ESN", RestoreFailure::Stop, nullptr},
    {I::IMEI, "IMEI Empty.", "Fail to write IMEI", "Restore IMEI", RestoreFailure::RaiseStop, "Fail to Send Wirte IMEI Command!"},
    {I::IMEI_1, "IMEI_1 Empty.", "Fail to write IMEI_1", "Restore IMEI_1", RestoreFailure::Stop, nullptr},
    {I::MEID, "MEID Empty.", "Fail to write MEID", "Restore MEID", RestoreFailure::Stop, nullptr},
    {I::Bluetooth, "BLUETOOTHADDR Empty.", "Fail to Write BlueTooth Addr", "Restore BlueTooth Addr", RestoreFailure::Stop,
     nullptr},
    {I::SalesCount, nullptr, "Fail to Write SalesCount/WIFIMAC", "Restore SalesCount/WIFIMAC", RestoreFailure::Report,
     "Not support write SalesCount/WIFIMAC."},
    {I::WifiCal, nullptr, "Fail to wifi cal", "Restore wifi cal", RestoreFailure::Stop, nullptr},
    {I::SalesInfo, nullptr, "Fail to Write sales information", "Restore sales information", RestoreFailure::GoOn, nullptr},
    {I::TestInfo, nullptr, "Fail to write TESTINFO", "Restore TESTINFO", RestoreFailure::RaiseStop,
     "Fail to Send Wirte Testinf Command!"},
    {I::UIT87, nullptr, "Fail to write UIT87", "Restore UIT87", RestoreFailure::Stop, nullptr},
    {I::UIT89, nullptr, "Fail to write UIT89", "Restore UIT89", RestoreFailure::Stop, nullptr},
};
constexpr IdentityRestoreStep kCllenStep{I::CLLEN, nullptr, "Fail to write CLLEN", "Restore CLLEN", RestoreFailure::Stop, nullptr};
constexpr IdentityRestoreStep kVxreqStep{I::VXREQ, nullptr, "Fail to write PLMN", "Restore PLMN", RestoreFailure::Stop, nullptr};
constexpr IdentityRestoreStep kGmiStep{I::GMI, nullptr, "Fail to write GMI", "Restore GMI", RestoreFailure::Stop, nullptr};

}  // namespace

void IdentityBackup::LoadRestoreValues() {
  std::vector<I> order = {I::SN,         I::ESN,     I::IMEI,      I::IMEI_1,  I::MEID,    I::UIT87,
                          I::UIT89,      I::Bluetooth, I::SalesCount, I::WifiCal, I::SalesInfo, I::TestInfo};
  if (ExtraItems()) order.insert(order.end(), {I::CLLEN, I::VXREQ, I::GMI});
  if (GmiOnly()) order.push_back(I::GMI);
  auto loaded = atbakFile_.empty() ? Expected<IniFile, std::string>(IniFile()) : IniFile::Load(atbakFile_);
  IniFile ini = loaded ? std::move(*loaded) : IniFile();
  for (I item : order) {
    if (!store_.Flag(item)) continue;
    std::string value = ini.ReadString("Data", Info(item).dataKey, "");
    store_.Value(item) = Info(item).quoted ? "\"" + value + "\"" : value;
  }
}

// The port may still be settling after the images were written: a few plain "AT"s first.
void IdentityBackup::WaitForAtPort() {
  for (int n = 0; n < kPortTestTries; ++n) {
    ctx_.Report("Test Serial port (" + std::to_string(n) + ").");
    if (at_.WriteAtValue("AT\r\n", -1, "")) {
      ctx_.Report("Serial port ready");
      return;
    }
    ctx_.Sleep(kPortTestRetryMs);
  }
}

// False when the restore ends here. An item that was not backed up, or whose value is empty
// where emptiness is checked, is passed over.
bool IdentityBackup::RestoreItem(const IdentityRestoreStep& step) {
  if (!store_.Flag(step.item)) return true;
  if (step.emptyText != nullptr && store_.Value(step.item) == kEmptyQuoted) {
    ctx_.Report(step.emptyText);
    return true;
  }
  const ItemInfo& info = Info(step.item);
  if (at_.WriteAtValue(info.writePrefix, info.writeItem, step.failureText)) {
    ctx_.Report(step.success);
    return true;
  }
  switch (step.onFail) {
    case RestoreFailure::RaiseStop: ctx_.Raise(step.extra); return false;
    case RestoreFailure::Stop: return false;
    case RestoreFailure::Report:
      ctx_.Report(step.extra);
      ctx_.NoteNotRestored(info.dataKey);
      return true;
    case RestoreFailure::GoOn: return true;
  }
  return true;
}

bool IdentityBackup::RestoreIdentity() {
  store_.Value(I::SN).clear();
  store_.Value(I::IMEI).clear();
  store_.Value(I::TestInfo).clear();
  if (!backupRan_ && !atbakFile_.empty()) TakeFlagsFromFile();
  LoadRestoreValues();

  if (!atPortOpen_()) {
    ctx_.Raise("Serial handle is failed");
    return false;
  }
  WaitForAtPort();
  for (const IdentityRestoreStep& step : kRestoreSteps)
    if (!RestoreItem(step)) return false;
  if (!project::HasNoSimLock(params_.projectType) && params_.simLockOn && !ctx_.Stopped()) {
    if (at_.WriteAtValue("AT+NWLSET=", 4, "Fail to write SIMLOCK to phone")) ctx_.Report("Write SIMLOCK successfully");
  }
  if (ExtraItems() && (!RestoreItem(kCllenStep) || !RestoreItem(kVxreqStep))) return false;
  if ((ExtraItems() || GmiOnly()) && !RestoreItem(kGmiStep)) return false;
  return true;
}

}  // namespace upwend
