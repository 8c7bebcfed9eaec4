#include "platform/cli_parse.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#ifndef UPWEND_VERSION
#define UPWEND_VERSION "0"
#endif

namespace upwend {

CliParseResult ParseCli(CLI::App& app, const std::vector<std::string>& args) {
  CliParseResult r;
  // CLI11 takes a vector with the last argument first.
  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    app.parse(reversed);
    r.proceed = true;
  } catch (const CLI::CallForHelp&) {
    r.output = app.help();
  } catch (const CLI::CallForAllHelp&) {
    r.output = app.help("", CLI::AppFormatMode::All);
  } catch (const CLI::CallForVersion&) {
    r.output = app.version() + "\n";
  } catch (const CLI::ParseError& e) {
    r.exitCode = kExitBadCommandLine;
    r.error = e.what();
    std::replace(r.error.begin(), r.error.end(), '\n', ' ');
  }
  return r;
}

std::optional<int> FinishCli(const CliParseResult& result, const std::string& program) {
  if (result.proceed) return std::nullopt;
  if (!result.error.empty()) {
    std::fprintf(stderr, "%s: %s (see %s --help)\n", program.c_str(), result.error.c_str(), program.c_str());
  } else {
    std::fputs(result.output.c_str(), stdout);
  }
  return result.exitCode;
}

std::string CheckPositiveNumber(const std::string& value) {
  char* end = nullptr;
  double number = std::strtod(value.c_str(), &end);
  if (value.empty() || *end != '\0' || !(number > 0) || !std::isfinite(number)) {
    return "a positive number, not \"" + value + "\"";
  }
  return {};
}

std::string ProgramVersion(const std::string& program) { return program + " " + UPWEND_VERSION; }

}  // namespace upwend
