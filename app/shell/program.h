#pragma once
// Program entry: the "Downloading_Mutex" guard, the main window's construction, the message
// loop, the error box for an error that ends start-up, and the window's destruction at the end.
#include <functional>
#include <memory>
#include <string>

namespace upwend {

class Dialogs;
class UiThread;
class TVorezUzeUiForm;
struct FormServices;

struct ProgramOptions {
  std::string payloadPath;  // the file that carries the payload; empty: the running program
  std::string title = "upwend";  // caption of the error box
  std::function<void(const std::string&)> diag;
  // Runs on the UI thread once the window is built (and start-up did not ask to quit).
  std::function<void(TVorezUzeUiForm&)> onStarted;
  // Builds the window; empty: the start-up form alone.
  std::function<std::unique_ptr<TVorezUzeUiForm>(const FormServices&)> makeForm;
};

// Runs the program on `loop` and returns its exit code (kExitOk, kExitStartupError, kExitRefused
// or the code of a later quit request).
int RunProgram(UiThread& loop, Dialogs& dialogs, const ProgramOptions& options);

}  // namespace upwend
