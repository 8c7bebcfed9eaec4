// AT reply polls of any content: the verdict follows the first "OK"/"ERROR", and the value is
// always the slice of the poll the rule names.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engine/at/at_reply.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace upwend;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string value = "unchanged";
  const AtVerdict v = ParseAtPoll(text, value);
  const size_t ok = text.find("OK");
  if (ok != std::string_view::npos) {
    if (v != AtVerdict::kOk || value.size() > ok) std::abort();
    if (!value.empty() && text.substr(0, ok).find(value) == std::string_view::npos) std::abort();
  } else if (v == AtVerdict::kOk || value != "unchanged") {
    std::abort();
  }
  AtSleepMs(text);
  return 0;
}
