#pragma once
// What one poll of an AT reply says: "OK" (searched first, so a text holding both counts as
// success), "ERROR", or neither yet. On "OK" the value is the text between the first ":" and
// the first "OK" (from the start when there is no ":"; empty when the ":" comes after "OK").
#include <cstdint>
#include <string>
#include <string_view>

namespace upwend {

enum class AtVerdict { kPending, kOk, kError };

AtVerdict ParseAtPoll(std::string_view text, std::string& value);

// The delay of an "AT%SLEEP=<ms>" list entry: the decimal number after the first "=", with
// blanks, CR and LF around it removed. Anything else (no "=", no digits, a sign, trailing
// text, a number beyond 32 bits) gives 0: the entry then does nothing.
uint64_t AtSleepMs(std::string_view entry);

}  // namespace upwend
