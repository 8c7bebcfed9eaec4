#include "app/discovery/at_query_reply.h"

#include <algorithm>

namespace upwend {

namespace {

std::string_view Between(std::string_view text, size_t begin, size_t end) {
  if (begin >= end || begin >= text.size()) return {};
  return text.substr(begin, end - begin);
}

// The text between the first ":" and `ok` (from the start without a ":").
std::string_view AfterColon(std::string_view text, size_t ok) {
  size_t colon = text.find(':');
  return colon == std::string_view::npos ? Between(text, 0, ok) : Between(text, colon + 1, ok);
}

std::string Without(std::string_view text, std::string_view drop) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (drop.find(c) == std::string_view::npos) out += c;
  }
  return out;
}

}  // namespace

AtQueryVerdict ParseAtQueryReply(std::string_view command, std::string_view pollText, std::string& value) {
  size_t ok = pollText.find("OK");
  if (ok == std::string_view::npos) {
    return pollText.find("ERROR") != std::string_view::npos ? AtQueryVerdict::kFailed : AtQueryVerdict::kPending;
  }
  std::string raw;
  if (command == kAtCgmr) {
    size_t start = pollText.find("SWV");
    if (start == std::string_view::npos) start = pollText.find("SWW");
    if (start == std::string_view::npos) return AtQueryVerdict::kFailed;
    // The character before "OK" is the line end that precedes it.
    raw = std::string(Between(pollText, start, ok == 0 ? 0 : ok - 1));
  } else if (command == kAtVxtinf) {
    raw = Without(AfterColon(pollText, ok), "\"");
  } else if (command == kAtPmu) {
    raw = Without(AfterColon(pollText, ok), " ");
  }
  value = Without(raw, "\r\n");
  return AtQueryVerdict::kOk;
}

}  // namespace upwend
