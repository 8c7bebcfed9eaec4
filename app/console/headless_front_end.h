#pragma once
// The command line of upwend and what the headless front end prints.
#include <optional>
#include <string>
#include <vector>

#include "app/dialogs.h"

namespace upwend {

class TVorezUzeUiForm;

struct CommandLine {
  bool headless = false;
  bool printSummary = false;
  bool start = false;
  bool reupdate = false;
  AnswerPolicy answer = AnswerPolicy::Ok;
  double timeScale = 0;  // 0: from UPWEND_TIME_SCALE
  std::string logDir;
  std::string devices;
  int waitSeconds = 0;
  bool help = false;
};

// nullopt and `error` set for an unknown option or a bad value.
std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& args, std::string& error);
std::string UsageText();

// The settings summary, the working folder, the files written (with sizes) and the fastboot list.
std::string StartupReport(const TVorezUzeUiForm& form);

}  // namespace upwend
