#include "app/qt/window_program.h"

#include <QApplication>
#include <QFont>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "app/qt/main_window_view.h"
#include "app/qt/qt_dialogs.h"
#include "app/qt/qt_ui_thread.h"
#include "app/qt/skin/skin.h"
#include "app/shell/main_window.h"
#include "app/shell/program.h"
#include "app/shell/update_shell.h"
#include "platform/clock.h"
#include "platform/process_environment.h"
#include "platform/paths.h"

namespace upwend {

namespace {

const char* const kAliases[][2] = {
    {"MS PGothic", "Noto Sans CJK JP"},
    {"MS Gothic", "Noto Sans Mono CJK JP"},
    {"MS Sans Serif", "Noto Sans CJK JP"},
    {"Arial", "Noto Sans CJK JP"},
    {"宋体", "Noto Serif CJK SC"},
    {"新宋体", "Noto Sans Mono CJK SC"},
};

bool Set(const char* name) { return EnvironmentValue(name).has_value(); }

}  // namespace

bool DisplayAvailable() { return Set("DISPLAY") || Set("WAYLAND_DISPLAY") || Set("QT_QPA_PLATFORM"); }

void SetUpFontAliases(const std::string& runtimeDir) {
  std::error_code ec;
  std::filesystem::create_directories(runtimeDir, ec);
  const std::string path = runtimeDir + "/fonts.conf";
  std::ofstream out(path, std::ios::trunc);
  const std::string system = EnvironmentValue("FONTCONFIG_FILE").value_or("/etc/fonts/fonts.conf");
  out << "<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"fonts.dtd\">\n<fontconfig>\n";
  out << "  <include ignore_missing=\"yes\">" << system << "</include>\n";
  for (const auto& alias : kAliases) {
    out << "  <alias binding=\"same\"><family>" << alias[0] << "</family><prefer><family>" << alias[1]
        << "</family></prefer></alias>\n";
  }
  out << "</fontconfig>\n";
  if (out.good()) SetEnvironmentValue("FONTCONFIG_FILE", path);
}

int RunWindowProgram(int argc, char** argv, const WindowProgramOptions& options) {
  if (!DisplayAvailable()) {
    std::fprintf(stderr, "upwend: no display to open the window on (DISPLAY and WAYLAND_DISPLAY are unset); run upwend --headless\n");
    return kExitRefused;
  }
  SetUpFontAliases(CurrentPaths().runtimeDir);
  QApplication app(argc, argv);
  return RunWindowInApplication(options);
}

int RunWindowInApplication(const WindowProgramOptions& options) {
  // The helper libraries (QMSL) find the device through the same backend, from the environment.
  if (!options.devices.empty()) SetEnvironmentValue("UPWEND_DEVICES", options.devices);
  QFont font(QStringLiteral("Noto Sans CJK JP"));
  font.setPointSize(9);
  QApplication::setFont(font);

  QtUiThread ui(SystemClock());
  QtDialogs dialogs;
  std::unique_ptr<MainWindowView> view;
  try {
    view = std::make_unique<MainWindowView>();
  } catch (const SkinError& e) {
    dialogs.MessageBox(e.what(), "upwend", kMbOk);
    return kExitStartupError;
  }
  dialogs.SetOwner(view.get());
  if (options.skipGuides) dialogs.AnswerGuidesDone();
  ui.SetAfterTask([&view, &ui] {
    if (view && !ui.finished()) view->Render();
  });

  ProgramOptions program;
  program.payloadPath = options.payloadPath;
  program.diag = [](const std::string& text) { std::fprintf(stderr, "upwend: %s\n", text.c_str()); };
  ShellOptions shellOptions;
  shellOptions.devices = options.devices;
  shellOptions.processEvents = [] { QApplication::processEvents(); };
  shellOptions.logLine = [&options](const std::string& line, int) {
    if (options.logLine) {
      options.logLine(line);
    } else {
      std::fprintf(stdout, "%s\n", line.c_str());
      std::fflush(stdout);
    }
  };
  program.makeForm = [&shellOptions](const FormServices& services) {
    return std::make_unique<UpdateShell>(services, shellOptions);
  };
  program.onStarted = [&view, &options](TVorezUzeUiForm& form) {
    view->Attach(static_cast<UpdateShell&>(form));
    view->show();
    if (options.onShown) options.onShown(*view);
  };
  int code = RunProgram(ui, dialogs, program);
  view.reset();
  return code;
}

}  // namespace upwend
