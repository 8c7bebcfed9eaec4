#pragma once
// Runs binutils' objcopy with `args` and waits for it; the error names what failed. The packer
// uses it to put the payload into an ELF program's own section.
#include <string>
#include <vector>

#include "platform/expected.h"

namespace upwend {

Expected<void, std::string> RunObjcopy(const std::vector<std::string>& args);

}  // namespace upwend
