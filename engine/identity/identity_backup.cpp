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

bool IdentityBackup::BackupIdentity() {
  backupRan_ = true;
  if (!atPortOpen_()) {
    ctx_.Raise("Serial handle is failed");
    return false;
  }
  auto clean = [this](I item) { return CleanIdentityValue(store_.Value(item)); };
  auto flagged = [this](I item, bool ok, const char* good, const char* bad, bool flag) {
    ctx_.Report(ok ? good : bad);
    store_.Flag(item) = ok && flag;
  };
  const int pt = params_.projectType;

  if (!Query(I::SN)) {
    ctx_.Report("SN ERROR");
    store_.Flag(I::SN) = false;
    return false;
  }
  ctx_.Report("Read SN");
  store_.Flag(I::SN) = true;

  store_.Flag(I::IMEI) = false;
  if (ReadsImei()) {
    if (!QueryWithRepeats(I::IMEI)) {
      ctx_.Report("IMEI ERROR");
      return false;
    }
    ctx_.Report("Read IMEI");
    if (IsBlankIdentityValue(store_.Value(I::IMEI))) return false;
    store_.Flag(I::IMEI) = true;
  }

  store_.Flag(I::IMEI_1) = false;
  if (project::HasSecondImei(pt)) {
    bool ok = QueryWithRepeats(I::IMEI_1);
    flagged(I::IMEI_1, ok, "Read IMEI_1", "IMEI_1 ERROR", !clean(I::IMEI_1).empty());
  }

  if (project::ReadsEsn(pt)) {
    bool ok = Query(I::ESN);
    flagged(I::ESN, ok, "Read ESN", "ESN ERROR", !clean(I::ESN).empty());
  }
  if (params_.ESN) {
    bool ok = Query(I::ESN);
    flagged(I::ESN, ok, "Read ESN", "ESN ERROR", !store_.Value(I::ESN).empty());
  } else {
    store_.Flag(I::ESN) = false;
  }

  store_.Flag(I::MEID) = false;
  if (params_.PlatformType == 2 || project::HasMeid(pt)) {
    bool ok = Query(I::MEID);
    flagged(I::MEID, ok, "Read MEID", "MEID ERROR", !clean(I::MEID).empty());
  }

  // These values are gone once the images are written: a read that fails is asked again, as
  // the IMEI is, so only a device that keeps refusing (it lacks the item) goes without it.
  bool ok = QueryWithRepeats(I::Bluetooth);
  flagged(I::Bluetooth, ok, "Read BlueTooth Addr", "BlueTooth ERROR", !clean(I::Bluetooth).empty());
  ok = QueryWithRepeats(I::WifiCal);
  flagged(I::WifiCal, ok, "Read Wifi cal", "Wifi cal ERROR", true);
  ok = QueryWithRepeats(I::SalesCount);
  flagged(I::SalesCount, ok, "Read SalesCount/WIFIMAC", "SalesCount/WIFIMAC ERROR", true);
  ok = QueryWithRepeats(I::SalesInfo);
  flagged(I::SalesInfo, ok, "Read sales information", "Null sales information", true);

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

  for (auto [item, good, bad] : {std::tuple{I::UIT87, "Read UIT87", "UIT87 ERROR"},
                                 std::tuple{I::UIT89, "Read UIT89", "UIT89 ERROR"}}) {
    ok = QueryWithRepeats(item);
    if (ok) store_.Value(item) = std::string(TrimBlanks(WithoutLineBreaks(store_.Value(item))));
    flagged(item, ok, good, bad, true);
  }

  auto extra = [&](I item, const char* good, const char* bad) {
    bool okExtra = Query(item);
    flagged(item, okExtra, good, bad, true);
  };
  if (ExtraItems()) {
    extra(I::CLLEN, "Read CLLEN", "Not support command:CLLEN......");
    extra(I::VXREQ, "Read VXREQ", "Not support command:VXREQ......");
  }
  if (ExtraItems() || GmiOnly()) extra(I::GMI, "Read GMI", "Not support command:GMI......");
  return true;
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

bool IdentityBackup::RestoreIdentity() {
  store_.Value(I::SN).clear();
  store_.Value(I::IMEI).clear();
  store_.Value(I::TestInfo).clear();
  if (!backupRan_ && !atbakFile_.empty()) TakeFlagsFromFile();

  std::vector<I> order = {I::SN,         I::ESN,     I::IMEI,      I::IMEI_1,  I::MEID,    I::UIT87,
                          I::UIT89,      I::Bluetooth, I::SalesCount, I::WifiCal, I::SalesInfo, I::TestInfo};
  if (ExtraItems()) order.insert(order.end(), {I::CLLEN, I::VXREQ, I::GMI});
  if (GmiOnly()) order.push_back(I::GMI);
  {
    auto loaded = atbakFile_.empty() ? Expected<IniFile, std::string>(IniFile())
                                     : IniFile::Load(atbakFile_);
    IniFile ini = loaded ? std::move(*loaded) : IniFile();
    for (I item : order) {
      if (!store_.Flag(item)) continue;
      std::string value = ini.ReadString("Data", Info(item).dataKey, "");
      store_.Value(item) = Info(item).quoted ? "\"" + value + "\"" : value;
    }
  }

  if (!atPortOpen_()) {
    ctx_.Raise("Serial handle is failed");
    return false;
  }
  for (int n = 0; n < kPortTestTries; ++n) {
    ctx_.Report("Test Serial port (" + std::to_string(n) + ").");
    if (at_.WriteAtValue("AT\r\n", -1, "")) {
      ctx_.Report("Serial port ready");
      break;
    }
    ctx_.Sleep(kPortTestRetryMs);
  }

  enum class OnFail { Stop, RaiseStop, GoOn, Report };
  struct Step {
    I item;
    const char* failureText;
    const char* success;
    OnFail onFail;
    const char* extra;  // raised text (RaiseStop), reported text (Report), or "Empty." text
  };
  auto write = [&](const Step& s) -> bool {
    const ItemInfo& info = Info(s.item);
    if (at_.WriteAtValue(info.writePrefix, info.writeItem, s.failureText)) {
      ctx_.Report(s.success);
      return true;
    }
    switch (s.onFail) {
      case OnFail::RaiseStop: ctx_.Raise(s.extra); return false;
      case OnFail::Stop: return false;
      case OnFail::Report:
        ctx_.Report(s.extra);
        ctx_.NoteNotRestored(Info(s.item).dataKey);
        return true;
      case OnFail::GoOn: return true;
    }
    return true;
  };
  auto emptyCheck = [&](I item, const char* emptyText) {
    if (store_.Value(item) == kEmptyQuoted) {
      ctx_.Report(emptyText);
      return false;
    }
    return true;
  };

  if (store_.Flag(I::SN) && !write({I::SN, "Fail to write SN", "Restore SN", OnFail::RaiseStop, "Fail to Send Wirte SN Command!"}))
    return false;
  if (store_.Flag(I::ESN) && emptyCheck(I::ESN, "ESN Empty.") &&
      !write({I::ESN, "Fail to write ESN", "Restore ESN", OnFail::Stop, nullptr}))
    return false;
  if (store_.Flag(I::IMEI) && emptyCheck(I::IMEI, "IMEI Empty.") &&
      !write({I::IMEI, "Fail to write IMEI", "Restore IMEI", OnFail::RaiseStop, "Fail to Send Wirte IMEI Command!"}))
    return false;
  if (store_.Flag(I::IMEI_1) && emptyCheck(I::IMEI_1, "IMEI_1 Empty.") &&
      !write({I::IMEI_1, "Fail to write IMEI_1", "Restore IMEI_1", OnFail::Stop, nullptr}))
    return false;
  if (store_.Flag(I::MEID) && emptyCheck(I::MEID, "MEID Empty.") &&
      !write({I::MEID, "Fail to write MEID", "Restore MEID", OnFail::Stop, nullptr}))
    return false;
  if (store_.Flag(I::Bluetooth) && emptyCheck(I::Bluetooth, "BLUETOOTHADDR Empty.") &&
      !write({I::Bluetooth, "Fail to Write BlueTooth Addr", "Restore BlueTooth Addr", OnFail::Stop, nullptr}))
    return false;
  if (store_.Flag(I::SalesCount))
    write({I::SalesCount, "Fail to Write SalesCount/WIFIMAC", "Restore SalesCount/WIFIMAC", OnFail::Report,
           "Not support write SalesCount/WIFIMAC."});
  if (store_.Flag(I::WifiCal) && !write({I::WifiCal, "Fail to wifi cal", "Restore wifi cal", OnFail::Stop, nullptr}))
    return false;
  if (store_.Flag(I::SalesInfo))
    write({I::SalesInfo, "Fail to Write sales information", "Restore sales information", OnFail::GoOn, nullptr});
  if (store_.Flag(I::TestInfo) && !write({I::TestInfo, "Fail to write TESTINFO", "Restore TESTINFO", OnFail::RaiseStop,
                                          "Fail to Send Wirte Testinf Command!"}))
    return false;
  if (store_.Flag(I::UIT87) && !write({I::UIT87, "Fail to write UIT87", "Restore UIT87", OnFail::Stop, nullptr}))
    return false;
  if (store_.Flag(I::UIT89) && !write({I::UIT89, "Fail to write UIT89", "Restore UIT89", OnFail::Stop, nullptr}))
    return false;
  if (!project::HasNoSimLock(params_.projectType) && params_.simLockOn && !ctx_.Stopped()) {
    if (at_.WriteAtValue("AT+NWLSET=", 4, "Fail to write SIMLOCK to phone")) ctx_.Report("Write SIMLOCK successfully");
  }
  if (ExtraItems()) {
    if (store_.Flag(I::CLLEN) && !write({I::CLLEN, "Fail to write CLLEN", "Restore CLLEN", OnFail::Stop, nullptr}))
      return false;
    if (store_.Flag(I::VXREQ) && !write({I::VXREQ, "Fail to write PLMN", "Restore PLMN", OnFail::Stop, nullptr}))
      return false;
  }
  if ((ExtraItems() || GmiOnly()) && store_.Flag(I::GMI) &&
      !write({I::GMI, "Fail to write GMI", "Restore GMI", OnFail::Stop, nullptr}))
    return false;
  return true;
}

}  // namespace upwend
