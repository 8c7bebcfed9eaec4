// upwend: the firmware update tool. With --headless it runs the shell without a window; the
// window itself is not part of this build yet.
#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "app/console/headless_front_end.h"
#include "app/shell/dialogs.h"
#include "app/shell/main_window.h"
#include "app/shell/program.h"
#include "app/shell/update_shell.h"
#include "platform/clock.h"
#include "platform/headless_loop.h"

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
  if (!cl->headless) {
    std::fprintf(stderr, "upwend: the window is not built yet; run with --headless\n");
    return kExitRefused;
  }
  if (cl->timeScale > 0) {
    SetSystemTimeScale(cl->timeScale);
    // The helper libraries keep clocks of their own and read the scale from the environment.
    setenv("UPWEND_TIME_SCALE", std::to_string(cl->timeScale).c_str(), 1);
  }
  if (!cl->logDir.empty()) setenv("UPWEND_LOG_DIR", cl->logDir.c_str(), 1);
  if (!cl->devices.empty()) setenv("UPWEND_DEVICES", cl->devices.c_str(), 1);

  // SIGINT and SIGTERM are the user closing the window: they reach one thread, which asks the
  // loop to quit, so the normal clean-up runs. SIGUSR1 only ends that thread at exit.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGUSR1);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  HeadlessLoop loop(SystemClock());
  UpdateShell* shell = nullptr;
  std::thread signalThread([&] {
    for (;;) {
      int sig = 0;
      if (sigwait(&signals, &sig) != 0 || sig == SIGUSR1) return;
      // Closing the window: a running update is stopped first, as Stop would.
      loop.Post([&] {
        if (shell != nullptr) {
          shell->CloseRequested();
        } else {
          loop.Quit(kExitOk);
        }
      });
    }
  });

  HeadlessDialogs dialogs(cl->answer);
  ProgramOptions options;
  options.diag = [](const std::string& text) { std::fprintf(stderr, "upwend: %s\n", text.c_str()); };
  if (cl->printSummary) {
    options.onStarted = [&loop](TVorezUzeUiForm& form) {
      std::fputs(StartupReport(form).c_str(), stdout);
      std::fflush(stdout);
      loop.Quit(kExitOk);
    };
  }
  ProgressBar progress;
  ShellOptions shellOptions;
  shellOptions.devices = cl->devices;
  shellOptions.logLine = [&progress](const std::string& line, int type) { progress.PrintLine(line); };
  shellOptions.gaugeChanged = [&progress](uint64_t position, uint64_t maximum) { progress.Update(position, maximum); };
  shellOptions.sentBytes = [&progress](uint64_t total) { progress.SentBytes(total); };
  shellOptions.runFinished = [&loop, &progress, &cl, &shell](bool passed) {
    progress.Finish();
    // Project type 41 ends with a result page whose only button ends the program.
    bool endsWithRun = shell != nullptr && shell->config().projectType == 41;
    if (cl->start || cl->reupdate || endsWithRun) loop.Quit(passed ? kExitOk : kExitRunFailed);
  };
  shellOptions.statusChanged = [&progress](const std::string& text) { progress.PrintLine("Status: " + text); };
  options.makeForm = [&](const FormServices& services) {
    auto made = std::make_unique<UpdateShell>(services, shellOptions);
    shell = made.get();
    return made;
  };
  if (cl->start || cl->reupdate) {
    options.onStarted = [&loop, &cl, waitSeconds = cl->waitSeconds](TVorezUzeUiForm& form) {
      auto& s = static_cast<UpdateShell&>(form);
      PressStartWhenReady(s, loop, cl->reupdate, waitSeconds);
    };
  }
  int code = RunProgram(loop, dialogs, options);
  shell = nullptr;

  pthread_kill(signalThread.native_handle(), SIGUSR1);
  signalThread.join();
  return code;
}
