#include "platform/win32/command_line.h"

namespace upwend {

namespace {

// Backslashes are plain except before a quote, where each is doubled and the quote escaped.
std::string QuoteArgument(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) return arg;
  std::string out = "\"";
  size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, '\\');
  return out + "\"";
}

}  // namespace

std::string JoinCommandLine(const std::string& program, const std::vector<std::string>& args) {
  std::string out = QuoteArgument(program);
  for (const std::string& arg : args) out += " " + QuoteArgument(arg);
  return out;
}

}  // namespace upwend
