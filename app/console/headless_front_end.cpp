#include "app/console/headless_front_end.h"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <cstdlib>
#include <filesystem>

#include "app/shell/main_window.h"
#include "app/shell/update_shell.h"
#include "platform/device_backend.h"
#include "platform/headless_loop.h"

namespace upwend {

std::string StartupReport(const TVorezUzeUiForm& form) {
  std::string out = fmt::format("Settings summary: {}\n", form.settingsSummary());
  out += fmt::format("Working folder: {}\n", form.workingFolder());
  out += "Files written:\n";
  for (const std::string& path : form.filesWritten()) {
    std::error_code ec;
    auto size = std::filesystem::file_size(path, ec);
    out += fmt::format("  {:>10} {}\n", ec ? std::string("?") : std::to_string(size), path);
  }
  const ProductConfig& c = form.config();
  if (c.FastbootListLoaded()) {
    out += "Fastboot list:\n";
    for (size_t i = 0; i < c.fastbootFileNameList.size(); ++i) {
      out += fmt::format("  {:<8} {}\n", c.fastbootFileCmdList[i], c.fastbootFileNameList[i]);
    }
  }
  const auto& rows = form.state().lvFileList;
  out += fmt::format("Image files: {}, {} bytes in total\n", rows.size(), form.imageSet().totalSize);
  for (const FileListRow& row : rows) out += fmt::format("  {}{}\n", row.location, row.fileName);
  return out;
}

}  // namespace upwend

namespace upwend {

std::vector<std::string> RunPortNodes(UpdateShell& shell) {
  std::vector<std::string> nodes;
  DeviceBackend* devices = shell.devices();
  if (devices == nullptr) return nodes;
  const WindowState& s = shell.state();
  for (const ComboBoxState* box : {&s.PortCBox, &s.SerialPortCBox, &s.AppPortCBox}) {
    if (box->text.empty()) continue;
    if (auto node = devices->DeviceNodeForPort(box->text)) nodes.push_back(*node);
  }
  return nodes;
}

void PressStartWhenReady(UpdateShell& shell, HeadlessLoop& loop, bool reupdate, int waitSeconds,
                         std::function<void()> running) {
  auto press = [&shell, &loop, reupdate, running] {
    RunControl& rc = shell.runControl();
    if (shell.StartPressedByGuide() && !reupdate) return;  // the guide of project type 41 has pressed it
    if (reupdate) {
      rc.Reupdate1Click();
    } else {
      rc.StartClick();
    }
    if (!rc.running()) {
      loop.Quit(kExitRefused);
    } else if (running) {
      running();
    }
  };
  if (reupdate || !shell.WaitsForReady()) {
    press();
    return;
  }
  // --wait counts real seconds, whatever the time scale of the run.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(waitSeconds);
  auto timer = std::make_shared<int>(0);
  constexpr uint32_t kPollMs = 100;
  *timer = loop.StartTimer(kPollMs, [&shell, &loop, press, deadline, timer, waitSeconds] {
    if (shell.state().StartButton.enabled) {
      loop.StopTimer(*timer);
      press();
      return;
    }
    if (waitSeconds > 0 && std::chrono::steady_clock::now() >= deadline) {
      loop.StopTimer(*timer);
      std::fprintf(stderr, "upwend: the device did not become ready within %d s\n", waitSeconds);
      loop.Quit(kExitNoDevice);
    }
  });
}


}  // namespace upwend
