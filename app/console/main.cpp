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
#include "app/dialogs.h"
#include "app/main_window.h"
#include "app/program.h"
#include "platform/clock.h"
#include "platform/headless_loop.h"

int main(int argc, char** argv) {
  using namespace upwend;
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  auto cl = ParseCommandLine(args, error);
  if (!cl) {
    std::fprintf(stderr, "upwend: %s\n%s", error.c_str(), UsageText().c_str());
    return kExitRefused;
  }
  if (cl->help) {
    std::fputs(UsageText().c_str(), stdout);
    return kExitOk;
  }
  if (!cl->headless) {
    std::fprintf(stderr, "upwend: the window is not built yet; run with --headless\n");
    return kExitRefused;
  }
  if (cl->timeScale > 0) SetSystemTimeScale(cl->timeScale);
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
  std::thread signalThread([&] {
    for (;;) {
      int sig = 0;
      if (sigwait(&signals, &sig) != 0 || sig == SIGUSR1) return;
      loop.Quit(kExitOk);
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
  int code = RunProgram(loop, dialogs, options);

  pthread_kill(signalThread.native_handle(), SIGUSR1);
  signalThread.join();
  return code;
}
