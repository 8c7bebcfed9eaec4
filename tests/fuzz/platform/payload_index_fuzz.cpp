// Any bytes as the tail of a product file: the archive reader gives an archive or an error,
// never a crash, and every resource it accepts lies inside the file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/payload_archive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto archive = upwend::PayloadArchive::FromTail(bytes, size);
  if (archive) {
    for (const auto& e : archive->entries()) {
      if (archive->archiveStart() + e.offset + e.size > size) std::abort();
    }
  }
  (void)upwend::ParsePayloadIndex(bytes, size);
  return 0;
}
