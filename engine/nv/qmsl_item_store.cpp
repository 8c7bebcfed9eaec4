#include "engine/nv/qmsl_item_store.h"

#include <cstdio>
#include <filesystem>

#include "engine/diag/crc16_x25.h"

namespace upwend {

namespace {

constexpr std::string_view kMagic = "UPWQMS01";
constexpr uint8_t kKindNv = 'N';
constexpr uint8_t kKindEfs = 'F';
constexpr size_t kHeaderSize = 10;  // magic, record count
constexpr size_t kRecordHead = 5;   // kind, id, length
constexpr size_t kMaxNameLength = 255;

void Put16(std::string& out, uint16_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>(v >> 8));
}

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

bool ValidFileName(std::string_view name) {
  if (name.empty() || name.size() > kMaxNameLength || name == "." || name == "..") return false;
  return name.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

std::string FileNameOf(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool QmslItemStore::Add(QmslStoreRecord record) {
  if (records_.size() >= kCapacity) return false;
  records_.push_back(std::move(record));
  return true;
}

std::string EncodeQmslStore(const QmslItemStore& store) {
  std::string out(kMagic);
  Put16(out, static_cast<uint16_t>(store.count()));
  for (const QmslStoreRecord& r : store.records()) {
    std::string body;
    if (r.IsEfsItem()) {
      const std::string name = FileNameOf(r.localPath);
      body.push_back(static_cast<char>(kKindEfs));
      Put16(body, r.id);
      Put16(body, static_cast<uint16_t>(name.size()));
      body += name;
    } else {
      body.push_back(static_cast<char>(kKindNv));
      Put16(body, r.id);
      Put16(body, static_cast<uint16_t>(r.data.size()));
      body.append(reinterpret_cast<const char*>(r.data.data()), r.data.size());
    }
    const uint16_t check = Crc16X25(reinterpret_cast<const uint8_t*>(body.data()), body.size());
    out += body;
    Put16(out, check);
  }
  return out;
}

DecodedQmslStore DecodeQmslStore(std::string_view bytes, const std::string& folder) {
  DecodedQmslStore result;
  if (bytes.size() < kHeaderSize || bytes.substr(0, kMagic.size()) != kMagic) return result;
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  const size_t expected = Get16(data + kMagic.size());
  size_t pos = kHeaderSize;
  while (pos < bytes.size()) {
    if (bytes.size() - pos < kRecordHead) return result;
    const uint8_t kind = data[pos];
    const uint16_t id = Get16(data + pos + 1);
    const size_t length = Get16(data + pos + 3);
    if (bytes.size() - pos < kRecordHead + length + 2) return result;
    const uint8_t* payload = data + pos + kRecordHead;
    const uint16_t check = Get16(payload + length);
    if (Crc16X25(data + pos, kRecordHead + length) != check) return result;

    QmslStoreRecord record;
    record.id = id;
    const std::string_view text(reinterpret_cast<const char*>(payload), length);
    if (kind == kKindNv && id < kFirstEfsItemId && length == record.data.size()) {
      std::copy(payload, payload + length, record.data.begin());
    } else if (kind == kKindEfs && id >= kFirstEfsItemId && ValidFileName(text)) {
      record.localPath = folder + "/" + std::string(text);
    } else {
      return result;
    }
    if (!result.store.Add(std::move(record))) return result;
    pos += kRecordHead + length + 2;
  }
  result.complete = result.store.count() == expected;
  return result;
}

std::string SaveQmslStore(const QmslItemStore& store, const std::string& folder) {
  const std::string target = folder + "/" + kQmslStoreFileName;
  const std::string temporary = target + ".tmp";
  const std::string bytes = EncodeQmslStore(store);
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (file == nullptr) return "cannot create " + temporary;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const bool closed = std::fclose(file) == 0;
  std::error_code ec;
  if (!written || !closed) {
    std::filesystem::remove(temporary, ec);
    return "cannot write " + temporary;
  }
  std::filesystem::rename(temporary, target, ec);
  if (ec) {
    std::filesystem::remove(temporary, ec);
    return "cannot replace " + target;
  }
  return {};
}

std::optional<DecodedQmslStore> LoadQmslStore(const std::string& folder) {
  const std::string path = folder + "/" + kQmslStoreFileName;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return std::nullopt;
  std::string bytes;
  char chunk[4096];
  size_t got = 0;
  // More than a full store can hold is never read: the decoder then calls the file incomplete.
  constexpr size_t kMaxBytes = kHeaderSize + QmslItemStore::kCapacity * (kRecordHead + kMaxNameLength + 2) + 1;
  while (bytes.size() < kMaxBytes && (got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, got);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) return std::nullopt;
  return DecodeQmslStore(bytes, folder);
}

}  // namespace upwend
