#include "engine/nv/nv_backup_file.h"

#include <algorithm>

namespace upwend {

NvBakSize ClassifyNvBakSize(uint64_t size) {
  if (size == 0) return NvBakSize::kEmpty;
  if (size % kNvRecordSize != 0) return NvBakSize::kNotRecords;
  return NvBakSize::kRecords;
}

NvRecord DecodeNvRecord(std::span<const uint8_t, kNvRecordSize> bytes) {
  NvRecord record;
  record.id = static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
  std::copy(bytes.begin() + 2, bytes.end(), record.data.begin());
  return record;
}

void EncodeNvRecord(const NvRecord& record, std::span<uint8_t, kNvRecordSize> bytes) {
  bytes[0] = static_cast<uint8_t>(record.id & 0xFF);
  bytes[1] = static_cast<uint8_t>(record.id >> 8);
  std::copy(record.data.begin(), record.data.end(), bytes.begin() + 2);
}

std::vector<NvRecord> ParseNvBak(std::string_view bytes) {
  std::vector<NvRecord> records;
  if (ClassifyNvBakSize(bytes.size()) != NvBakSize::kRecords) return records;
  records.reserve(bytes.size() / kNvRecordSize);
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  for (size_t offset = 0; offset < bytes.size(); offset += kNvRecordSize) {
    records.push_back(DecodeNvRecord(std::span<const uint8_t, kNvRecordSize>(data + offset, kNvRecordSize)));
  }
  return records;
}

}  // namespace upwend
