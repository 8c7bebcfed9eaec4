#pragma once
// The one way the programs read their command lines (CLI11): --help and --version print to
// stdout and end with 0; any bad option or value is one line on stderr and exit 2, as the
// programs' users script against.
#include <CLI/CLI.hpp>

#include <optional>
#include <string>
#include <vector>

namespace upwend {

constexpr int kExitBadCommandLine = 2;

struct CliParseResult {
  bool proceed = false;  // false: the program ends with `exitCode`
  int exitCode = 0;
  std::string output;  // --help or --version text (stdout)
  std::string error;   // one line, without the program name (stderr)
};

// `args` without the program name, in order.
CliParseResult ParseCli(CLI::App& app, const std::vector<std::string>& args);

// Prints what ParseCli decided (help, version or "PROGRAM: error") and returns the exit code,
// or nullopt when the program goes on.
std::optional<int> FinishCli(const CliParseResult& result, const std::string& program);

// A check for options that take a finite number above 0 (time scales): empty when it is one.
std::string CheckPositiveNumber(const std::string& value);

// Every program's --version line.
std::string ProgramVersion(const std::string& program);

}  // namespace upwend
