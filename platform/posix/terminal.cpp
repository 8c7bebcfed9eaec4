#include "platform/terminal.h"

#include <unistd.h>

namespace upwend {

bool IsTerminal(std::FILE* stream) { return stream != nullptr && ::isatty(::fileno(stream)) != 0; }

}  // namespace upwend
