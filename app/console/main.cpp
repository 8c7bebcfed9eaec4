// upwend: the firmware update tool. It opens its window, or with --headless runs the shell
// without one (no Qt platform plugin is loaded then, so it works without a display).
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "app/console/console_output.h"
#include "app/console/device_list.h"
#include "app/console/headless_front_end.h"
#ifdef UPWEND_WITH_WINDOW
#include "app/qt/window_program.h"
#endif
#include "app/shell/dialogs.h"
#include "app/shell/main_window.h"
#include "app/shell/program.h"
#include "app/shell/update_shell.h"
#include "platform/clock.h"
#include "platform/close_requests.h"
#include "platform/device_backend.h"
#include "platform/environment.h"
#include "platform/headless_loop.h"
#include "platform/modem_manager.h"
#include "platform/terminal.h"
#include "engine/worker/project_rules.h"

int main(int argc, char** argv) {
  using namespace upwend;
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  auto cl = ParseCommandLine(args, error);
  if (!cl) {
    std::fprintf(stderr, "upwend: %s (see upwend --help)\n", error.c_str());
    return kExitRefused;
  }
  if (cl->help || cl->version) {
    std::fputs(cl->help ? UsageText().c_str() : (VersionText() + "\n").c_str(), stdout);
    return kExitOk;
  }
  if (cl->listDevices) {
    std::string why;
    auto devices = CreateDeviceBackend(cl->devices, why);
    if (!devices) {
      std::fprintf(stderr, "upwend: %s\n", why.c_str());
      return kExitRefused;
    }
    std::fputs(DeviceListing(*devices).c_str(), stdout);
    return kExitOk;
  }
  if (cl->timeScale > 0) {
    SetSystemTimeScale(cl->timeScale);
    // The helper libraries keep clocks of their own and read the scale from the environment.
    SetEnvironmentValue("UPWEND_TIME_SCALE", std::to_string(cl->timeScale));
  }
  if (!cl->logDir.empty()) SetEnvironmentValue("UPWEND_LOG_DIR", cl->logDir);
  if (!cl->devices.empty()) SetEnvironmentValue("UPWEND_DEVICES", cl->devices);
  if (!cl->headless) {
#ifdef UPWEND_WITH_WINDOW
    WindowProgramOptions window;
    window.devices = cl->devices;
    return RunWindowProgram(argc, argv, window);
#else
    std::fprintf(stderr, "upwend: this build has no window; run with --headless\n");
    return kExitRefused;
#endif
  }

  // A close request is the user closing the window: the loop is asked to quit, so the normal
  // clean-up runs.
  CloseRequests closeRequests;
  HeadlessLoop loop(SystemClock());
  UpdateShell* shell = nullptr;
  closeRequests.Watch([&] {
    // Closing the window: a running update is stopped first, as Stop would.
    loop.Post([&] {
      if (shell != nullptr) {
        shell->CloseRequested();
      } else {
        loop.Quit(kExitOk);
      }
    });
  });

  OutputMode mode = cl->json ? OutputMode::Json : cl->quiet ? OutputMode::Quiet : OutputMode::Terminal;
  ConsoleOutput output(mode, {stdout, stderr, IsTerminal(stderr)}, [] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
  });
  // Boxes are printed on stderr as "[caption] text", or become message events in JSON.
  HeadlessDialogs answering(cl->answer, mode == OutputMode::Json ? [](const std::string&) {}
                                                                   : std::function<void(const std::string&)>());
  ReportingDialogs dialogs(answering, [&output](const ShownMessage& m) { output.Message(m); });
  ProgramOptions options;
  options.diag = [&output](const std::string& text) { output.Diag(text); };
  if (cl->printSummary) {
    options.onStarted = [&loop](TVorezUzeUiForm& form) {
      std::fputs(StartupReport(form).c_str(), stdout);
      std::fflush(stdout);
      loop.Quit(kExitOk);
    };
  }
  // ModemManager leaves the device alone while a run uses it; silent where it does not run.
  auto modemManager = CreateModemManagerInhibitor([&output](const std::string& text) { output.Diag(text); });
  ShellOptions shellOptions;
  shellOptions.devices = cl->devices;
  shellOptions.logLine = [&output](const std::string& line, int type) { output.LogLine(line, type); };
  shellOptions.sentBytes = [&output](uint64_t total) { output.SentBytes(total); };
  shellOptions.runFinished = [&loop, &output, &cl, &shell, &modemManager](bool passed) {
    modemManager->Release();
    std::string log = shell != nullptr ? shell->runControl().runLog().path() : std::string();
    std::error_code ec;
    output.Finished(passed, !log.empty() && std::filesystem::exists(log, ec) ? log : std::string());
    bool endsWithRun = shell != nullptr && project::EndsProgramAfterRun(shell->config().projectType);
    if (cl->start || cl->reupdate || endsWithRun) loop.Quit(passed ? kExitOk : kExitRunFailed);
  };
  // Nobody could press Start again after a refusal.
  shellOptions.guideStartRefused = [&loop] { loop.Quit(kExitRefused); };
  shellOptions.statusChanged = [&output](const std::string& text) { output.Status(text); };
  options.makeForm = [&](const FormServices& services) {
    auto made = std::make_unique<UpdateShell>(services, shellOptions);
    shell = made.get();
    return made;
  };
  if (cl->start || cl->reupdate) {
    options.onStarted = [&loop, &cl, &output, &modemManager](TVorezUzeUiForm& form) {
      auto& s = static_cast<UpdateShell&>(form);
      PressStartWhenReady(s, loop, cl->reupdate, cl->waitSeconds,
                          [&output, &s, &cl, &modemManager] {
                            output.RunStarted(s.imageSet().totalSize, cl->reupdate);
                            modemManager->Inhibit(RunPortNodes(s));
                          });
    };
  }
  int code = RunProgram(loop, dialogs, options);
  shell = nullptr;

  closeRequests.Stop();
  return code;
}
