#pragma once
// The system's text for a Win32 error code, without the trailing line break.
#include <cstdint>
#include <string>

namespace upwend {

std::string SystemMessage(uint32_t code);

}  // namespace upwend
