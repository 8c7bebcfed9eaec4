#pragma once
// nv.bak: a sequence of 130-byte records and nothing else, one per saved item: the item id
// (2 bytes, little-endian) and its 128 data bytes, exactly bytes 1 to 130 of the read reply.
#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace upwend {

constexpr size_t kNvRecordSize = 130;

struct NvRecord {
  uint16_t id = 0;
  std::array<uint8_t, 128> data{};
};

enum class NvBakSize {
  kEmpty,       // nothing to restore
  kNotRecords,  // not a whole number of records: refused before anything is sent
  kRecords,
};

NvBakSize ClassifyNvBakSize(uint64_t size);
NvRecord DecodeNvRecord(std::span<const uint8_t, kNvRecordSize> bytes);
void EncodeNvRecord(const NvRecord& record, std::span<uint8_t, kNvRecordSize> bytes);

// A whole file's records; empty unless its size is a whole, non-zero number of records.
std::vector<NvRecord> ParseNvBak(std::string_view bytes);

}  // namespace upwend
