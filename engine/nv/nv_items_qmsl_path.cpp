// The QMSL path: the RF calibration list read and written through the QMSL library's entry
// points, NV items kept in the item store and EFS item files copied into the backup folder.
#include <fmt/format.h>

#include <filesystem>

#include "engine/nv/nv_items.h"
#include "engine/nv/nv_status.h"
#include "engine/nv/nv_tables.h"
#include "engine/worker/worker_context.h"

namespace upwend {

namespace {

constexpr unsigned short kStatusNotSet = 999;

std::string EfsItemDevicePath(int id) { return fmt::format("nv//item_files//rfnv//000{}", id); }
std::string EfsItemLocalPath(const std::string& efsFolder, int id) { return fmt::format("{}/000{}.efs", efsFolder, id); }

}  // namespace

bool NvItems::QmslDeviceGone(QlibHandle connection) {
  // A failed item on a device that no longer answers at all: the rest would fail the same way,
  // one time-out after another, so the step ends here with the cause.
  if (!qmsl_.isPhoneConnected || (qmsl_.isPhoneConnected(connection) & 0xFF) != 0) return false;
  ctx_.Raise(fmt::format("The device was removed from COM{}", params_.ComPort));
  return true;
}

void NvItems::BackupNvQmsl(QlibHandle connection, const std::string& efsFolder) {
  backupRan_ = true;
  store_.emplace();
  for (int id : NvRfCalibrationList()) {
    ctx_.Report(fmt::format("READ NV ITEM ID:{}", id));
    if (id >= kFirstEfsItemId) {
      QmslStoreRecord record;
      record.id = static_cast<uint16_t>(id);
      record.localPath = EfsItemLocalPath(efsFolder, id);
      const std::string devicePath = EfsItemDevicePath(id);
      const bool copied = qmsl_.efsRead && qmsl_.efsRead(connection, devicePath.c_str(), record.localPath.c_str()) != 0;
      if (copied && store_->Add(std::move(record))) {
        ctx_.Report("READ OK");
      } else {
        if (!copied && QmslDeviceGone(connection)) return;
        ctx_.Raise("READ ERROR");
      }
      continue;
    }
    QmslStoreRecord record;
    record.id = static_cast<uint16_t>(id);
    unsigned short status = kStatusNotSet;
    if (qmsl_.nvRead) qmsl_.nvRead(connection, record.id, record.data.data(), static_cast<int>(record.data.size()), &status);
    if (status == kNvStatusOk && store_->Add(std::move(record))) {
      ctx_.Report("READ OK");
    } else if (NvStatusIsSkip(status)) {
      ctx_.Report(NvQmslStatusText(status, false));
    } else {
      if (status != kNvStatusOk && QmslDeviceGone(connection)) return;
      ctx_.Raise(NvQmslStatusText(status == kNvStatusOk ? kStatusNotSet : status, false));
    }
  }
  // The copy on disk serves a later resumed run; this run restores from memory.
  const std::string failure = SaveQmslStore(*store_, efsFolder);
  if (!failure.empty()) ctx_.Note("Could not save NV items: " + failure);
}

void NvItems::RestoreNvQmsl(QlibHandle connection) {
  bool complete = true;
  std::string loadedFrom;
  if (!store_ && !backupRan_) {
    // A resumed run made no backup of its own: take what the failed run saved.
    loadedFrom = FindSavedStoreFolder();
    if (!loadedFrom.empty()) {
      if (auto loaded = LoadQmslStore(loadedFrom)) {
        ctx_.Note("Restore NV items saved in " + loadedFrom);
        store_ = std::move(loaded->store);
        complete = loaded->complete;
      }
    }
  }
  if (!store_) return;
  for (const QmslStoreRecord& record : store_->records()) {
    if (record.IsEfsItem()) {
      const std::string devicePath = EfsItemDevicePath(record.id);
      const bool written =
          qmsl_.efsWrite && qmsl_.efsWrite(connection, record.localPath.c_str(), devicePath.c_str()) != 0;
      if (written) {
        ctx_.Report("WRITE OK");
      } else {
        if (QmslDeviceGone(connection)) return;
        ctx_.Raise("WRITE ERROR");
      }
      continue;
    }
    ctx_.Report(fmt::format("WRITE NV ITEM ID:{}", record.id));
    // Set before every item: a call that leaves it untouched must not pass for the previous
    // item's success.
    unsigned short status = kStatusNotSet;
    std::array<uint8_t, 128> data = record.data;
    if (qmsl_.nvWrite) qmsl_.nvWrite(connection, record.id, data.data(), static_cast<int>(data.size()), &status);
    if (status == kNvStatusOk) {
      ctx_.Report("WRITE OK");
    } else if (NvStatusIsSkip(status) || status == kNvStatusReadOnly) {
      ctx_.Report(NvQmslStatusText(status, true));
      ctx_.NoteNotRestored(fmt::format("NV {}", record.id));
    } else {
      if (QmslDeviceGone(connection)) return;
      ctx_.Raise(NvQmslStatusText(status, true));
    }
  }
  if (!complete) ctx_.Raise("Saved NV items incomplete: " + loadedFrom);
}

std::string NvItems::FindSavedStoreFolder() const {
  if (!bakFile_.empty()) {
    const std::string folder = std::filesystem::path(bakFile_).parent_path().string() + "/EFS";
    std::error_code ec;
    return std::filesystem::is_regular_file(folder + "/" + kQmslStoreFileName, ec) ? folder : std::string();
  }
  const std::string device = FindSavedDeviceFolder(std::string("EFS/") + kQmslStoreFileName);
  return device.empty() ? device : device + "/EFS";
}

std::string NvItems::FindSavedDeviceFolder(const std::string& file) const {
  // No device backup folder named in this run: only a single saved set is taken, so that one
  // device never receives another's calibration.
  std::vector<std::string> found;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(params_.BackupFilePath, ec)) {
    std::error_code statEc;
    if (entry.is_directory(statEc) && std::filesystem::is_regular_file(entry.path() / file, statEc)) {
      found.push_back(entry.path().string());
    }
  }
  if (found.size() > 1) {
    ctx_.Note("NV items saved for several devices in " + params_.BackupFilePath + ": none restored");
    return {};
  }
  return found.empty() ? std::string() : found.front();
}

}  // namespace upwend
