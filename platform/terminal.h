#pragma once
// The program's console: whether an output stream is a terminal (progress is redrawn in place
// there, and printed a line at a time into files and pipes).
#include <cstdio>

namespace upwend {

bool IsTerminal(std::FILE* stream);

}  // namespace upwend
