#pragma once
// The calling thread's last system error, as GetLastError() gives it on Windows. Platform
// calls that fail set it (with the Windows code values of SerialError and friends); the
// worker's ReportError reads it.
#include <cstdint>

namespace upwend {

uint32_t GetLastSystemError();
void SetLastSystemError(uint32_t code);

}  // namespace upwend
