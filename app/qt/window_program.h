#pragma once
// The windowed program: the Qt application, the skinned main window over the update shell, the
// Qt UiThread and Dialogs. No Qt in this header, so the console entry point can call it.
#include <functional>
#include <string>

namespace upwend {

class MainWindowView;

struct WindowProgramOptions {
  std::string devices;  // "sysfs" or "sim:DIR"; empty: UPWEND_DEVICES
  std::string payloadPath;  // empty: the running program
  // Runs on the UI thread once the window shows (tests drive it from here).
  std::function<void(MainWindowView&)> onShown;
  // Each run log line, as the headless front end prints it; empty: printed on stdout.
  std::function<void(const std::string&)> logLine;
  // The start-up guides end as if walked through, unseen (pictures of set window states).
  bool skipGuides = false;
};

// True when a display is there to open a window on: DISPLAY or WAYLAND_DISPLAY is set, or a Qt
// platform was chosen explicitly (QT_QPA_PLATFORM, e.g. offscreen).
bool DisplayAvailable();

// Makes the Windows family names the product uses ("MS PGothic", "MS Gothic", "MS Sans Serif",
// "Arial") resolve to installed fonts: writes a fontconfig file that includes the system's and
// adds the aliases, and points FONTCONFIG_FILE at it. Before the QApplication is created.
void SetUpFontAliases(const std::string& runtimeDir);

// Runs the program with its window; returns the exit code. argc/argv go to QApplication.
int RunWindowProgram(int argc, char** argv, const WindowProgramOptions& options);
// The same inside an existing QApplication (tests run the program several times in one process).
int RunWindowInApplication(const WindowProgramOptions& options);

}  // namespace upwend
