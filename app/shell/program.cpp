#include "app/shell/program.h"

#include <fmt/format.h>

#include <exception>
#include <memory>

#include "app/shell/dialogs.h"
#include "app/shell/main_window.h"
#include "app/shell/startup_error.h"
#include "platform/clock.h"
#include "platform/file_io.h"
#include "platform/headless_loop.h"
#include "platform/named_mutex.h"
#include "platform/paths.h"
#include "platform/payload_archive.h"
#include "platform/processes.h"

namespace upwend {

int RunProgram(UiThread& loop, Dialogs& dialogs, const ProgramOptions& options) {
  ToolPaths paths = CurrentPaths();
  auto errorBox = [&](const std::string& text) {
    dialogs.MessageBox(text, options.title, kMbOk);
    return kExitStartupError;
  };
  // Before anything is written there (the lock files may live in it).
  if (auto r = EnsurePrivateFolder(paths.tempDir); !paths.tempDir.empty() && !r) return errorBox("The temporary folder " + r.error());

  // Another copy is running: end every copy of the tool by its program names.
  bool existed = false;
  auto mutex = NamedMutex::Create("Downloading_Mutex", existed, paths.runtimeDir);
  if (existed) {
    KillProcessesContaining("7318");
    KillProcessesContaining("KV518TQR");
  }
  HoldUntilExit(std::move(mutex));

  std::string payloadPath = options.payloadPath.empty() ? ExecutablePath() : options.payloadPath;
  auto payload = PayloadArchive::Open(payloadPath);
  if (!payload) return errorBox(payload.error());

  FormServices services{SystemClock(), loop, dialogs, *payload, paths, ExecutableFolder(), options.diag, nullptr};
  std::unique_ptr<TVorezUzeUiForm> form =
      options.makeForm ? options.makeForm(services) : std::make_unique<TVorezUzeUiForm>(services);
  int exitCode = kExitOk;
  try {
    // The windows, then the message loop.
    form->Create();
    if (!form->quitRequested() && options.onStarted) {
      TVorezUzeUiForm* started = form.get();
      loop.Post([started, &options] { options.onStarted(*started); });
    }
    exitCode = loop.Run();
  } catch (const std::exception& e) {
    // An error that leaves start-up or the loop: the error box, and the program ends.
    exitCode = errorBox(e.what());
  }
  form->Destroy();
  return exitCode;
}

}  // namespace upwend
