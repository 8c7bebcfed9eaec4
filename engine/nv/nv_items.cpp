#include "engine/nv/nv_items.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>

#include "engine/diag/diag_framing.h"
#include "engine/nv/nv_backup_file.h"
#include "engine/nv/nv_status.h"
#include "engine/nv/nv_tables.h"
#include "engine/worker/project_rules.h"
#include "engine/worker/worker_context.h"

#include "platform/file_io.h"

namespace upwend {

namespace {

constexpr uint8_t kNvReadCode = 0x26;
constexpr uint8_t kNvWriteCode = 0x27;
constexpr size_t kNvRequestSize = 133;
// A whole NV reply: 133 bytes and the two check bytes the receive counts with them.
constexpr int kNvReplyCount = 135;

void Append(std::vector<NvListEntry>& list, std::span<const NvTableEntry> table) {
  for (const NvTableEntry& e : table) list.push_back({e.id, e.name});
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

NvItems::NvItems(WorkerContext& ctx, const RunParameters& params, DiagFraming& diag, const QmslEntryPoints& qmsl)
    : ctx_(ctx), params_(params), diag_(diag), qmsl_(qmsl) {
  // The alternative list ends at its first entry without a name.
  for (const NvTableEntry& e : NvAlternativeTable()) {
    if (e.name[0] == '\0') break;
    alternativeList_.push_back({e.id, e.name});
  }
}

void NvItems::BuildNvBackupList() {
  const int pt = params_.projectType;
  backupList_.clear();
  if (!project::UsesAlternativeNvList(pt, params_.IsAlcatel)) {
    if (params_.PlatformType == 2 || project::HasMeid(pt)) {
      Append(backupList_, NvCdmaTable());
      if (params_.RTRECFG && project::HasCdmaSubscriptionItems(pt)) Append(backupList_, NvCdmaSubscriptionTable());
    } else if (params_.PlatformType == 3) {
      Append(backupList_, NvLteTable());
    } else {
      Append(backupList_, NvGsmWcdmaTable());
    }
    if (params_.strLTEType == "LTE") Append(backupList_, NvLteTable());
  }
  savedList_.clear();
}

// ---- the DIAG NV exchange and the status checks ----------------------------------------------

int NvItems::Exchange(std::span<const uint8_t> request, Pass pass) {
  const uint8_t code = request[0];
  const uint8_t idLow = request[1];
  const uint8_t idHigh = request[2];
  ExchangeOptions options;
  options.reader = ReplyReader::kFrame;
  options.attempts = pass == Pass::kConfigured ? kConfiguredAttempts : kItemAttempts;
  const int pauseFrom = pass == Pass::kBackup ? 2 : 3;
  // Only a whole, intact reply to this very item counts: a broken or short frame, or a late
  // reply to another item, would put the wrong bytes into nv.bak.
  auto test = [&](const Reply& r) {
    return r.result >= kNvReplyCount && r.result != kRxFrameTimeout && r.bytes.size() == static_cast<size_t>(r.result) &&
           r.bytes[0] == code && r.bytes[1] == idLow && r.bytes[2] == idHigh;
  };
  auto miss = [&](const Reply&, int attempt) {
    if (attempt >= pauseFrom && attempt < options.attempts) ctx_.Sleep(kRetrySleepMs);
  };
  ExchangeResult result = diag_.Exchange(request, options, test, miss);
  return result.passed ? result.last.result : 0;
}

uint16_t NvItems::ReplyStatus(int replyLength) const {
  std::span<const uint8_t> rx = diag_.rxBuffer();
  if (replyLength < 4 || static_cast<size_t>(replyLength) > rx.size()) return 0xFFFF;
  return static_cast<uint16_t>(rx[replyLength - 4] | (rx[replyLength - 3] << 8));
}

int NvItems::JudgeStatus(const std::string& label, uint16_t status) {
  const int high = status >> 8;
  if (high != 0) {
    if (NvStatusIsSkip(high)) {
      ctx_.Report(label + NvDiagStatusText(high));
      return high;
    }
    ctx_.Raise(label + NvDiagStatusText(high));
    return high > kNvStatusHighest ? kNvStatusUnknownResult : high;
  }
  ctx_.Report(label + NvDiagStatusText(kNvStatusOk));
  const int low = status & 0xFF;
  if (low == 0) return 0;
  if (NvStatusIsSkip(low)) {
    ctx_.Report(label + NvDiagStatusText(low));
    return low;
  }
  ctx_.Raise(label + NvDiagStatusText(low));
  return low > kNvStatusHighest ? kNvStatusUnknownResult : low;
}

int NvItems::JudgeStatusAlt(const std::string& label, uint16_t status) {
  for (int part : {status >> 8, status & 0xFF}) {
    if (part == 0) continue;
    if (NvStatusIsSkip(part)) {
      ctx_.Report(label + NvDiagStatusText(part));
      continue;
    }
    ctx_.Raise(label + NvDiagStatusText(part));
    return part;
  }
  return 0;
}

std::string NvItems::ListLabel(const std::vector<NvListEntry>& list, int index) const {
  if (index < 0 || static_cast<size_t>(index) >= list.size()) return "[-1]";
  return fmt::format("[{}]{}", list[index].id, list[index].name);
}

std::string NvItems::RecordLabel(const std::vector<NvListEntry>& list, size_t index, uint16_t id) const {
  // The record carries its own id; the list gives the name when it matches, so a resumed run
  // (no list) or a file from an earlier run still labels every item truthfully.
  if (index < list.size() && list[index].id == id) return fmt::format("[{}]{}", id, list[index].name);
  return fmt::format("[{}]{}", id, NvItemName(id));
}

int NvItems::CheckNvStatus(NvListSource source, int index, int replyLength) {
  const auto& list = source == NvListSource::kBackupList ? backupList_ : savedList_;
  return JudgeStatus(ListLabel(list, index), ReplyStatus(replyLength));
}

int NvItems::CheckNvStatusAlt(int index, int replyLength) {
  return JudgeStatusAlt(ListLabel(alternativeList_, index), ReplyStatus(replyLength));
}

int NvItems::CheckCustomNvStatus(int replyLength) {
  const uint16_t status = ReplyStatus(replyLength);
  for (int part : {status >> 8, status & 0xFF}) {
    if (part == 0) continue;
    ctx_.Raise(std::string("Custom NV") + NvDiagStatusText(part));
    return part;
  }
  return 0;
}

// ---- nv.bak ----------------------------------------------------------------------------------

void NvItems::BackupNvToFile() { BackupToFile(false); }
void NvItems::BackupNvToFileAlt() { BackupToFile(true); }
void NvItems::RestoreNvFromFile() { RestoreFromFile(false); }
void NvItems::RestoreNvFromFileAlt() { RestoreFromFile(true); }

void NvItems::BackupToFile(bool alternative) {
  backupRan_ = true;
  ctx_.Report("Backup NV Start.");
  FilePtr file(std::fopen(bakFile_.c_str(), "wb"));
  if (!file) {
    // Raised, not only reported: a run without its nv.bak must not go on to flash.
    ctx_.Raise("Fail to create......");
    return;
  }
  const auto& list = alternative ? alternativeList_ : backupList_;
  const bool uitItemsWanted = !params_.UIT_NewWays && project::KeepsUitItemsInNv(params_.projectType);
  std::array<uint8_t, kNvRequestSize> request{};
  request[0] = kNvReadCode;
  request[131] = 0xCC;
  request[132] = 0xCC;
  for (size_t i = 0; i < list.size(); ++i) {
    const NvListEntry& entry = list[i];
    if (!alternative && (entry.id == 6503 || entry.id == 6504) && !uitItemsWanted) continue;
    request[1] = static_cast<uint8_t>(entry.id & 0xFF);
    request[2] = static_cast<uint8_t>((entry.id >> 8) & 0xFF);
    const int replyLength = Exchange(request, Pass::kBackup);
    const std::string label = ListLabel(list, static_cast<int>(i));
    if (replyLength == 0) {
      ctx_.Raise(label + ":Fail to backup NV");
      return;
    }
    const uint16_t status = ReplyStatus(replyLength);
    const int verdict = alternative ? JudgeStatusAlt(label, status) : JudgeStatus(label, status);
    if (!alternative && NvStatusIsSkip(verdict)) continue;
    if (verdict != 0) return;

    if (!alternative) savedList_.push_back(entry);
    const uint8_t* record = diag_.rxBuffer().data() + 1;
    if (std::fwrite(record, 1, kNvRecordSize, file.get()) != kNvRecordSize || std::fflush(file.get()) != 0) {
      ctx_.Raise("Fail to write NV......");
      return;
    }
    if (ctx_.Stopped()) {
      ctx_.ReportStatus(kStatusFailed, "Fail to backup NV......", kMsgFailure);
      return;
    }
    if (!alternative) ctx_.Report("Success to backup NV......");
  }
  ctx_.Report("Backup NV......OK");
}

void NvItems::RestoreFromFile(bool alternative) {
  ctx_.Report("Restore NV Start.");
  if (bakFile_.empty() && !backupRan_) {
    // A resumed run that named no device backup folder: the failed run's nv.bak, when there
    // is exactly one.
    const std::string device = FindSavedDeviceFolder("nv.bak");
    if (!device.empty()) {
      bakFile_ = device + "/nv.bak";
      ctx_.Note("Restore NV items saved in " + bakFile_);
    }
  }
  FilePtr file(std::fopen(bakFile_.c_str(), "rb"));
  std::optional<uint64_t> size = file ? RegularFileSize(file.get()) : std::nullopt;
  if (!size) {
    ctx_.Raise("Could not open backup file: " + bakFile_);
    return;
  }
  switch (ClassifyNvBakSize(*size)) {
    case NvBakSize::kEmpty: ctx_.Report("Backup file length <= 0"); return;
    case NvBakSize::kNotRecords: ctx_.Raise("backup file size error: " + bakFile_); return;
    case NvBakSize::kRecords: break;
  }
  // Unbuffered, so every record is read from the file as it is when its turn comes.
  std::setvbuf(file.get(), nullptr, _IONBF, 0);
  const auto& labels = alternative ? alternativeList_ : savedList_;
  const uint64_t records = *size / kNvRecordSize;
  std::array<uint8_t, kNvRequestSize> request{};
  request[0] = kNvWriteCode;
  for (uint64_t i = 0; i < records; ++i) {
    if (std::fread(request.data() + 1, 1, kNvRecordSize, file.get()) != kNvRecordSize) {
      ctx_.Raise("Could not read from BIN file: " + bakFile_);
      return;
    }
    request[131] = 0;
    request[132] = 0;
    const uint16_t id = static_cast<uint16_t>(request[1] | (request[2] << 8));
    const std::string label = RecordLabel(labels, i, id);
    const int replyLength = Exchange(request, Pass::kRestore);
    if (replyLength == 0) {
      ctx_.Raise(label + ":Fail to restore NV");
      return;
    }
    const uint16_t status = ReplyStatus(replyLength);
    const int verdict = alternative ? JudgeStatusAlt(label, status) : JudgeStatus(label, status);
    // An item the device calls inactive is logged and passed over; the records behind it
    // still go back to the device, and the run knows this one did not.
    if (verdict != 0 && !NvStatusIsSkip(verdict)) return;
    if (verdict != 0) ctx_.NoteNotRestored(fmt::format("NV {}", id));
    if (ctx_.Stopped()) {
      ctx_.ReportStatus(kStatusFailed, "Fail to restore......", kMsgFailure);
      return;
    }
  }
  ctx_.Report("Restore NV......OK");
}

}  // namespace upwend
