#pragma once
// The QMSL path's item store: the NV items and EFS item files the QMSL backup saved, in list
// order. It is kept in memory for the restore of the same run and also written beside the EFS
// item copies ("nvitems.qms" in the device backup folder's EFS folder), so that a resumed run
// (a new worker that made no backup) can still put the items back.
//
// File format, all integers little-endian:
//   header  "UPWQMS01", record count (2)               10 bytes
//   record  kind (1: 'N' NV item, 'F' EFS item file)
//           id (2), payload length (2), payload,
//           check (2): CRC-16/X.25 of kind, id, length and payload
//   NV payload: the 128 data bytes. EFS payload: the local copy's file name (no folder part),
//   1 to 255 bytes, without "/", "\" or NUL; the copy sits in the same folder as the store.
// A reader keeps every record before the first one that is cut off or fails its check, and
// says that the file was not complete, also when it ends on a record boundary short of the
// count; records are never guessed.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace upwend {

constexpr const char* kQmslStoreFileName = "nvitems.qms";
constexpr int kFirstEfsItemId = 20000;

struct QmslStoreRecord {
  uint16_t id = 0;
  std::array<uint8_t, 128> data{};  // NV items
  std::string localPath;            // EFS item files: the local copy (any length)

  bool IsEfsItem() const { return id >= kFirstEfsItemId; }
};

class QmslItemStore {
public:
  static constexpr size_t kCapacity = 4096;

  bool Add(QmslStoreRecord record);
  const std::vector<QmslStoreRecord>& records() const { return records_; }
  size_t count() const { return records_.size(); }

private:
  std::vector<QmslStoreRecord> records_;
};

std::string EncodeQmslStore(const QmslItemStore& store);

struct DecodedQmslStore {
  QmslItemStore store;
  bool complete = false;  // false: the bytes ended early or a record was damaged
};
// `folder` is put in front of the EFS copies' file names.
DecodedQmslStore DecodeQmslStore(std::string_view bytes, const std::string& folder);

// Writes the store into `folder` through a temporary file renamed over the target, so a
// reader never sees half a store. Empty string on success, else what went wrong.
std::string SaveQmslStore(const QmslItemStore& store, const std::string& folder);
// Reads the store of `folder`; nullopt when there is no readable store file.
std::optional<DecodedQmslStore> LoadQmslStore(const std::string& folder);

}  // namespace upwend
