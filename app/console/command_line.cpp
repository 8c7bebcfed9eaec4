#include "app/console/command_line.h"

#include "platform/cli_parse.h"
#include "platform/device_selector.h"

namespace upwend {

namespace {

constexpr const char* kFooter = R"(Environment:
  UPWEND_HOME        one folder for everything the tool writes (settings, locks, logs, temporary folder)
  UPWEND_TEMP_DIR    the temporary folder (working folder TempFiles; default ~/.cache/upwend)
  UPWEND_LOG_DIR     the run log folder (as --log-dir)
  UPWEND_DEVICES     the device backend (as --devices)
  UPWEND_DEVICE      the one device to use (as --device)
  UPWEND_TIME_SCALE  scale of every wait and time-out (as --time-scale)
  UPWEND_USB_NAMES   extra USB name tables, separated by ':'
  XDG_CONFIG_HOME, XDG_STATE_HOME, XDG_RUNTIME_DIR  where settings, logs and locks go otherwise

Exit codes:
  0  a normal end: the run ended with "PASS", --print-summary or --list-devices finished, or the user closed the tool
  1  the run failed, or an error ended start-up
  2  Start was refused, start-up asked to quit (another copy runs, a file could not be copied), a bad command line,
     or --device names no attached device (or more than one)
  3  no device became ready within --wait)";

constexpr const char* kDescription = "upwend: firmware update of USB modems";

// sysfs, or sim:DIR with a folder.
std::string CheckDevices(const std::string& value) {
  if (value == "sysfs") return {};
  if (value.rfind("sim:", 0) == 0 && value.size() > 4) return {};
  return "sysfs or sim:DIR, not \"" + value + "\"";
}

void AddOptions(CLI::App& app, CommandLine& cl, std::string& answer) {
  app.footer(kFooter);
  app.set_version_flag("--version", VersionText());
  app.add_flag("--headless", cl.headless, "run without a window");
  app.add_flag("--start", cl.start, "press Start once the device is ready; the program ends with the run");
  app.add_flag("--reupdate", cl.reupdate, "run Re-update: the update after a failed run, with that run's backup");
  app.add_option("--wait", cl.waitSeconds, "how long --start waits for a ready device (default: as long as it takes)")
      ->type_name("SECONDS")
      ->check(CLI::Range(0, 86400));
  app.add_flag("--print-summary", cl.printSummary,
               "print the settings summary, the working folder and the files written, then end");
  app.add_flag("--list-devices", cl.listDevices,
               "list the devices the device backend sees (ports, USB IDs, mode), then end");
  app.add_option("--devices", cl.devices, "the device backend: sysfs (real devices, default) or sim:DIR (simulator)")
      ->type_name("sysfs|sim:DIR")
      ->check(CheckDevices);
  app.add_option("--device", cl.device,
                 "use this device when several are attached: its USB path (1-1.2, as --list-devices shows it), "
                 "its sysfs device path or its serial number; it stays chosen through its reboots")
      ->type_name("PATH|SERIAL")
      ->check(CheckDeviceValue);
  app.add_option("--answer", answer, "how message boxes and guides are answered without a window (default ok; ok and yes finish a guide, cancel and no quit it)")
      ->type_name("ok|cancel|yes|no")
      ->check(CLI::IsMember({"ok", "cancel", "yes", "no"}));
  app.add_option("--time-scale", cl.timeScale, "scale every wait and time-out (0.01: a hundred times faster)")
      ->type_name("F")
      ->check(CheckPositiveNumber);
  app.add_option("--log-dir", cl.logDir, "the run log folder")->type_name("DIR");
  auto* json = app.add_flag("--json", cl.json, "JSON Lines on stdout: phase, progress, log, message, result events");
  auto* quiet = app.add_flag("--quiet", cl.quiet, "print only the result");
  json->excludes(quiet);
}

}  // namespace

std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& args, std::string& error) {
  CommandLine cl;
  std::string answer;
  CLI::App app(kDescription, "upwend");
  AddOptions(app, cl, answer);
  CliParseResult r = ParseCli(app, args);
  if (!r.proceed) {
    if (!r.error.empty()) {
      error = r.error;
      return std::nullopt;
    }
    // --help and --version: the caller prints the texts.
    cl.help = r.output != VersionText() + "\n";
    cl.version = !cl.help;
    return cl;
  }
  if (!answer.empty()) cl.answer = *ParseAnswerPolicy(answer);
  return cl;
}

std::string UsageText() {
  CommandLine cl;
  std::string answer;
  CLI::App app(kDescription, "upwend");
  AddOptions(app, cl, answer);
  return app.help();
}

std::string VersionText() { return ProgramVersion("upwend"); }

}  // namespace upwend
