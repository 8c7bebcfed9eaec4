#pragma once
// A Windows command line: the arguments joined so that the C runtime's parser of the started
// program reads each back as it was (blanks, quotes, backslashes and empty ones included).
#include <string>
#include <vector>

namespace upwend {

std::string JoinCommandLine(const std::string& program, const std::vector<std::string>& args);

}  // namespace upwend
