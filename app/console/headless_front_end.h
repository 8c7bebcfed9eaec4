#pragma once
// The command line of upwend and what the headless front end prints.
#include <unistd.h>

#include <atomic>
#include <cstdint>
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

// The progress bar on stderr (percent of the gauge and the transfer rate), and the run log lines
// on stdout, kept apart so that a line never lands inside the bar.
class ProgressBar {
public:
  void PrintLine(const std::string& line);
  void Update(uint64_t position, uint64_t maximum);
  void SentBytes(uint64_t total);
  void Finish();

private:
  void Draw();
  bool drawn_ = false;
  bool terminal_ = isatty(2) != 0;  // a bar redrawn in place only on a terminal
  uint64_t lastTenth_ = 1000;
  uint64_t position_ = 0;
  uint64_t maximum_ = 100;
  // Written on the worker's thread, read when drawing on the UI thread.
  std::atomic<double> startSeconds_{-1};
  std::atomic<double> rate_{0};
};

// --start: presses Start once the device check says Ready (at once when the shell has no device
// watcher); --reupdate: runs Re-update. The loop quits with 2 when Start is refused or the device
// is not ready within waitSeconds (0: wait as long as it takes) with kExitNoDevice.
void PressStartWhenReady(UpdateShell& shell, HeadlessLoop& loop, bool reupdate, int waitSeconds);

}  // namespace upwend
