#pragma once
// The command line of upwend: options, their checks, --help and --version.
#include <optional>
#include <string>
#include <vector>

#include "app/shell/dialogs.h"

namespace upwend {

// Exit codes besides kExitOk (0) and kExitRefused (2, also a bad command line).
constexpr int kExitRunFailed = 1;
// --start gave up waiting: no device became ready within --wait.
constexpr int kExitNoDevice = 3;

struct CommandLine {
  bool headless = false;
  bool printSummary = false;
  bool start = false;
  bool reupdate = false;
  AnswerPolicy answer = AnswerPolicy::Ok;
  double timeScale = 0;  // 0: from UPWEND_TIME_SCALE
  std::string logDir;
  std::string devices;
  std::string device;  // --device: one device of several, by USB path or serial number
  int waitSeconds = 0;
  bool listDevices = false;
  bool json = false;
  bool quiet = false;
  bool help = false;
  bool version = false;
};

// nullopt and `error` (one line) set for an unknown option or a bad value.
std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& args, std::string& error);
// What --help prints: every option, the environment variables and the exit codes.
std::string UsageText();
std::string VersionText();

}  // namespace upwend
