#include "engine/at/at_reply.h"

#include <cstdint>

namespace upwend {

AtVerdict ParseAtPoll(std::string_view text, std::string& value) {
  const size_t ok = text.find("OK");
  if (ok != std::string_view::npos) {
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos) {
      value.assign(text.substr(0, ok));
    } else if (colon < ok) {
      value.assign(text.substr(colon + 1, ok - colon - 1));
    } else {
      value.clear();
    }
    return AtVerdict::kOk;
  }
  if (text.find("ERROR") != std::string_view::npos) return AtVerdict::kError;
  return AtVerdict::kPending;
}

uint64_t AtSleepMs(std::string_view entry) {
  const size_t eq = entry.find('=');
  if (eq == std::string_view::npos) return 0;
  std::string_view v = entry.substr(eq + 1);
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!v.empty() && blank(v.front())) v.remove_prefix(1);
  while (!v.empty() && blank(v.back())) v.remove_suffix(1);
  if (v.empty()) return 0;
  uint64_t ms = 0;
  for (char c : v) {
    if (c < '0' || c > '9') return 0;
    ms = ms * 10 + static_cast<uint64_t>(c - '0');
    if (ms > UINT32_MAX) return 0;
  }
  return ms;
}

}  // namespace upwend
