#pragma once
// The NV status codes of the device and the texts both NV paths show for them.
#include <cstdint>
#include <string>

namespace upwend {

constexpr int kNvStatusOk = 0;
constexpr int kNvStatusInactive = 5;
constexpr int kNvStatusBadParameter = 6;
constexpr int kNvStatusReadOnly = 7;
constexpr int kNvStatusHighest = 10;
// What the DIAG path makes of a status above 10.
constexpr int kNvStatusUnknownResult = 100;

// The DIAG path's text, appended to the item label (": OK", ":Item was read-only", ...).
const char* NvDiagStatusText(int status);
// The QMSL path's text; `write` picks "WRITE OK"/"WRITE ERROR" over "READ OK"/"READ ERROR".
const char* NvQmslStatusText(int status, bool write);

// Statuses 5 and 6 are logged and the item passed over, never a failure of the run.
inline bool NvStatusIsSkip(int status) { return status == kNvStatusInactive || status == kNvStatusBadParameter; }

}  // namespace upwend
