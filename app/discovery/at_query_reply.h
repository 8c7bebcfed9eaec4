#pragma once
// The reply parsing of the main window's AT query (QueryAtPort): one poll's text is judged on
// its own. "OK" anywhere makes the value, computed by command:
//   "AT+CGMR\r\n\r\n"        from the first "SWV" (else the first "SWW") up to, not including,
//                            the character just before the first "OK"; neither present: failed
//   "at+vxtinf=0,2\r\n\r\n"  the text between the first ":" and the first "OK", double quotes removed
//   "AT+PMU\r\n\r\n"         the text between the first ":" and the first "OK", blanks removed
//   any other command        the empty string
// then every CR and LF is removed. A ":" missing means "from the start"; a start that lies
// past its end gives the empty string. Without "OK", "ERROR" fails the query.
#include <string>
#include <string_view>

namespace upwend {

enum class AtQueryVerdict { kPending, kOk, kFailed };

inline constexpr const char* kAtCgmr = "AT+CGMR\r\n\r\n";
inline constexpr const char* kAtVxtinf = "at+vxtinf=0,2\r\n\r\n";
inline constexpr const char* kAtPmu = "AT+PMU\r\n\r\n";
inline constexpr const char* kAtVxtsw = "AT+VXTSW\r\n\r\n";

// `value` is written only for kOk.
AtQueryVerdict ParseAtQueryReply(std::string_view command, std::string_view pollText, std::string& value);

}  // namespace upwend
