// Any bytes as a hex file: the parser returns an image or an error, never crashes, and an image
// it returns is consistent with the span limit.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "tools/hextobin/intel_hex.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr uint64_t kFuzzSpan = 1 << 20;  // keeps the 0xFF fill of far-apart records small
  auto image = upwend::hex::ParseIntelHex(std::string_view(reinterpret_cast<const char*>(data), size), kFuzzSpan);
  if (image && (image->bytes.empty() || image->bytes.size() > kFuzzSpan)) std::abort();
  return 0;
}
