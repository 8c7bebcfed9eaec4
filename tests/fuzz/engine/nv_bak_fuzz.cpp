// nv.bak and the saved QMSL item store: any bytes give records or a refusal, never a crash,
// and what is accepted encodes back to the same bytes.
#include <cstdlib>
#include <string_view>

#include "engine/nv/nv_backup_file.h"
#include "engine/nv/qmsl_item_store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace upwend;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  const std::vector<NvRecord> records = ParseNvBak(bytes);
  if (ClassifyNvBakSize(size) == NvBakSize::kRecords) {
    if (records.size() * kNvRecordSize != size) std::abort();
    std::vector<uint8_t> again(size);
    for (size_t i = 0; i < records.size(); ++i) {
      EncodeNvRecord(records[i], std::span<uint8_t, kNvRecordSize>(again.data() + i * kNvRecordSize, kNvRecordSize));
    }
    if (std::string_view(reinterpret_cast<const char*>(again.data()), size) != bytes) std::abort();
  } else if (!records.empty()) {
    std::abort();
  }

  const DecodedQmslStore store = DecodeQmslStore(bytes, "/f");
  if (store.store.count() > QmslItemStore::kCapacity) std::abort();
  for (const QmslStoreRecord& r : store.store.records()) {
    if (r.IsEfsItem() && r.localPath.rfind("/f/", 0) != 0) std::abort();
    if (!r.IsEfsItem() && !r.localPath.empty()) std::abort();
  }
  if (store.complete && EncodeQmslStore(store.store) != bytes) std::abort();
  return 0;
}
