#pragma once
// The command line of upwend and what the headless front end prints.
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/console/command_line.h"
#include "app/shell/dialogs.h"

namespace upwend {

class TVorezUzeUiForm;

// The settings summary, the working folder, the files written (with sizes) and the fastboot list.
std::string StartupReport(const TVorezUzeUiForm& form);

}  // namespace upwend

namespace upwend {

class HeadlessLoop;
class UpdateShell;

// --start: presses Start once the device check says Ready (at once when the shell has no device
// watcher); --reupdate: runs Re-update. The loop quits with 2 when Start is refused or the device
// is not ready within waitSeconds (0: wait as long as it takes) with kExitNoDevice.
// The device nodes of the ports the run uses (DIAG, AT, application), as the device backend names them.
std::vector<std::string> RunPortNodes(UpdateShell& shell);

// `running` is called on the UI thread once the run has started.
void PressStartWhenReady(UpdateShell& shell, HeadlessLoop& loop, bool reupdate, int waitSeconds,
                         std::function<void()> running = nullptr);

}  // namespace upwend
