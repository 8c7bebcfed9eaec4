#include "app/console/headless_front_end.h"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <unistd.h>
#include <memory>
#include <cstdlib>
#include <filesystem>

#include "app/shell/main_window.h"
#include "app/shell/update_shell.h"
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

namespace {
double WallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}
}  // namespace

void ProgressBar::PrintLine(const std::string& line) {
  if (drawn_ && terminal_) std::fputs("\r\033[K", stderr);
  std::fprintf(stdout, "%s\n", line.c_str());
  std::fflush(stdout);
  if (drawn_ && terminal_) Draw();
}

void ProgressBar::Update(uint64_t position, uint64_t maximum) {
  position_ = position;
  maximum_ = maximum == 0 ? 100 : maximum;
  Draw();
}

void ProgressBar::SentBytes(uint64_t total) {
  double now = WallSeconds();
  if (startSeconds_ < 0) startSeconds_ = now;
  double start = startSeconds_;
  if (now > start) rate_ = static_cast<double>(total) / (now - start) / 1e6;
}

void ProgressBar::Draw() {
  constexpr int kWidth = 40;
  uint64_t pct = std::min<uint64_t>(100, position_ * 100 / maximum_);
  if (!terminal_) {
    // Into a file or a pipe: one line per tenth of the way, never redrawn.
    if (pct / 10 == lastTenth_) return;
    lastTenth_ = pct / 10;
    std::fprintf(stderr, "progress %3u%%  %7.2f MB/s\n", static_cast<unsigned>(pct), rate_.load());
    std::fflush(stderr);
    return;
  }
  int filled = static_cast<int>(pct * kWidth / 100);
  std::string bar(static_cast<size_t>(filled), '#');
  bar.append(static_cast<size_t>(kWidth - filled), '-');
  std::fprintf(stderr, "\r[%s] %3u%%  %7.2f MB/s", bar.c_str(), static_cast<unsigned>(pct), rate_.load());
  std::fflush(stderr);
  drawn_ = true;
}

void ProgressBar::Finish() {
  if (drawn_ && terminal_) std::fputs("\n", stderr);
  drawn_ = false;
}

void PressStartWhenReady(UpdateShell& shell, HeadlessLoop& loop, bool reupdate, int waitSeconds) {
  auto press = [&shell, &loop, reupdate] {
    RunControl& rc = shell.runControl();
    if (shell.StartPressedByGuide() && !reupdate) {
      // The guide of project type 41 has pressed Start already.
      if (!rc.running()) loop.Quit(kExitRefused);
      return;
    }
    if (reupdate) {
      rc.Reupdate1Click();
    } else {
      rc.StartClick();
    }
    if (!rc.running()) loop.Quit(kExitRefused);
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
