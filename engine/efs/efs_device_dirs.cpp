// The EFS2 folder requests: mkdir, rmdir, unlink, closedir, the recursive listing and the
// removal of a folder with its files.
#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/diag/diag_transport.h"
#include "engine/efs/efs_device.h"
#include "engine/efs/efs_local_paths.h"
#include "engine/worker/worker_context.h"
#include "platform/clock.h"

namespace upwend {

namespace {

constexpr uint32_t kOpendirReplyBytes = 15;
constexpr int kOpendirFollowUpReads = 3;
constexpr uint8_t kDiagBadCmd = 0x13;
constexpr size_t kHandleByte = 4;
constexpr size_t kCodeHighByte = 3;
constexpr uint8_t kRemovableFileMode0 = 0xB6;  // plain file, mode 0666
constexpr uint8_t kRemovableFileMode1 = 0x81;
constexpr uint8_t kNestedFolderMode0 = 0xFF;   // folder, mode 0777
constexpr uint8_t kNestedFolderMode1 = 0x41;

}  // namespace

int EfsDevice::EfsMkdir(const std::string& path) {
  const int r = SimpleRequest(EncodeEfsMkdir(kEfsMkdirMode, path), Efs2Cmd::kMkdir, true);
  return r == 0 ? 0 : 1;
}

int EfsDevice::EfsRmdir(const std::string& path) { return SimpleRequest(EncodeEfsRmdir(path), Efs2Cmd::kRmdir); }
int EfsDevice::EfsUnlink(const std::string& path) { return SimpleRequest(EncodeEfsUnlink(path), Efs2Cmd::kUnlink); }

int EfsDevice::EfsCloseDir() {
  return Outcome(Request(EncodeEfsClosedir(kEfsDirHandle), ReplyReader::kFrame, kAttempts,
                         [](std::span<const uint8_t> p) { return HasEfsHeader(p, Efs2Cmd::kClosedir); }));
}

int EfsDevice::OpenDirRaw(const std::string& path) {
  const EfsBytes request = EncodeEfsOpendir(path);
  Clock& clock = worker_.clock();
  const uint64_t begin = clock.NowMs();
  std::vector<uint8_t> got;
  bool accepted = false;
  do {
    // One send and one raw read of the reply into the receive scratch per round.
    const ExchangeResult r = framing_.Exchange(request, {ReplyReader::kRawRead, 1, kOpendirReplyBytes, 0}, nullptr);
    got.assign(r.last.bytes.begin(), r.last.bytes.end());
    // The reply may come in pieces; collect it up to its flag or the 15 bytes.
    for (int i = 0; transport_ != nullptr && i < kOpendirFollowUpReads && !got.empty() &&
                    got.size() < kOpendirReplyBytes && std::find(got.begin() + 1, got.end(), kHdlcFlag) == got.end();
         ++i) {
      uint8_t more[kOpendirReplyBytes];
      const int n = transport_->ReadDiag(more, static_cast<uint32_t>(kOpendirReplyBytes - got.size()));
      if (n <= 0) break;
      got.insert(got.end(), more, more + n);
    }
    // Flags before a frame are allowed.
    got.erase(got.begin(), std::find_if(got.begin(), got.end(), [](uint8_t b) { return b != kHdlcFlag; }));
    accepted = got.size() >= 3 && ((got[0] == kDiagSubsysCmd && got[1] == kDiagSubsysFs && got[2] == 0x0B) ||
                                   (got[0] == kDiagBadCmd && got[1] == kDiagSubsysCmd && got[2] == kDiagSubsysFs));
  } while (!accepted && !worker_.Stopped() && clock.NowMs() - begin < kOpendirWindowMs);
  if (worker_.Stopped()) return -1;
  if (!accepted || got[0] != kDiagSubsysCmd || got.size() <= kHandleByte || got[kHandleByte] == 0) return 1;
  return 0;
}

int EfsDevice::EfsListDirectory(const std::string& path, EfsFound& found) { return ListFolder(path, found, 0); }

int EfsDevice::ListFolder(const std::string& requested, EfsFound& found, int depth) {
  worker_.Note("Enum dir:" + requested);
  std::string path = requested;
  if (path.size() > 1 && path.front() == '/') path.erase(0, 1);
  if (depth > kMaxDepth) {
    found.refused.push_back(path);
    worker_.Note("[EFS] Folders nested too deep: " + path);
    return 1;
  }

  const int open = OpenDirRaw(path);
  if (open != 0) return open;

  std::vector<std::string> mine;
  for (uint32_t sequence = 1; sequence <= kMaxFolderEntries; ++sequence) {
    const ExchangeResult r =
        Request(EncodeEfsReaddir(kEfsDirHandle, sequence), ReplyReader::kFrameWait, kReaddirAttempts,
                [](std::span<const uint8_t> p) { return HasEfsHeader(p, Efs2Cmd::kReaddir); });
    if (worker_.Stopped() || !r.passed) break;
    const auto payload = EfsPayload(r.last.bytes);
    if (payload.size() <= kHandleByte || payload[kCodeHighByte] != 0 || payload[kHandleByte] != kEfsDirHandle) break;
    const auto entry = ParseEfsReaddir(payload);
    if (!entry) break;
    const EfsEntryKind kind = ClassifyEfsEntry(*entry);
    if (kind == EfsEntryKind::kEnd) break;
    if (kind == EfsEntryKind::kOther) continue;
    const std::string full = JoinEfsPath(path, entry->name);
    if (!IsSafeEntryName(entry->name)) {
      found.refused.push_back(full);
      worker_.Note("[EFS] Refused entry: " + full);
      continue;
    }
    if (kind == EfsEntryKind::kFolder) {
      found.folders.push_back(full);
      mine.push_back(full);
    } else {
      found.files.push_back(full);
    }
  }
  EfsCloseDir();
  for (const std::string& folder : mine) ListFolder(folder, found, depth + 1);
  EfsCloseDir();
  return 0;
}

int EfsDevice::EfsRemoveDirectory(const std::string& path) {
  auto opendir = Request(EncodeEfsOpendir(path), ReplyReader::kFrame, kAttempts,
                         [](std::span<const uint8_t> p) { return HasEfsHeader(p, Efs2Cmd::kOpendir); });
  if (int o = Outcome(opendir); o != 0) return o;

  std::vector<std::string> names;
  for (uint32_t sequence = 1; sequence <= kMaxFolderEntries; ++sequence) {
    const ExchangeResult r =
        Request(EncodeEfsReaddir(kEfsDirHandle, sequence), ReplyReader::kFrame, kAttempts,
                [](std::span<const uint8_t> p) { return HasEfsHeader(p, Efs2Cmd::kReaddir); });
    if (int o = Outcome(r); o != 0) return o;
    const auto entry = ParseEfsReaddir(EfsPayload(r.last.bytes));
    if (!entry) break;
    const uint8_t m0 = entry->ModeByte0();
    const uint8_t m1 = entry->ModeByte1();
    if (m0 == kRemovableFileMode0 && m1 == kRemovableFileMode1) names.push_back(entry->name);
    if (m0 == kNestedFolderMode0 && m1 == kNestedFolderMode1) {
      // The folder handle is closed before giving up, so the next listing finds it free.
      EfsCloseDir();
      return 2;
    }
    if (m0 == 0 && m1 == 0) break;
  }
  if (int c = EfsCloseDir(); c != 0) return c;

  // A name that is not a single part would delete something outside this folder.
  if (!std::all_of(names.begin(), names.end(), [](const std::string& n) { return IsSafeEntryName(n); })) return 3;
  for (const std::string& name : names) {
    if (EfsUnlink(path + "/" + name) != 0) return 3;
  }
  return EfsRmdir(path) == 0 ? 0 : 4;
}

}  // namespace upwend
