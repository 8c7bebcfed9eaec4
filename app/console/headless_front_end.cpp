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

std::string UsageText() {
  return "usage: upwend [--headless] [--print-summary] [--start] [--reupdate] [--wait SECONDS]\n"
         "              [--answer ok|cancel|yes|no] [--time-scale F] [--log-dir DIR] [--devices sysfs|sim:DIR]\n";
}

std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& args, std::string& error) {
  CommandLine cl;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&]() -> const std::string* {
      if (i + 1 >= args.size()) {
        error = fmt::format("{} needs a value", arg);
        return nullptr;
      }
      return &args[++i];
    };
    if (arg == "--headless") {
      cl.headless = true;
    } else if (arg == "--print-summary") {
      cl.printSummary = true;
    } else if (arg == "--start") {
      cl.start = true;
    } else if (arg == "--reupdate") {
      cl.reupdate = true;
    } else if (arg == "--help" || arg == "-h") {
      cl.help = true;
    } else if (arg == "--answer") {
      const std::string* v = value();
      if (!v) return std::nullopt;
      auto policy = ParseAnswerPolicy(*v);
      if (!policy) {
        error = fmt::format("--answer takes ok, cancel, yes or no, not {}", *v);
        return std::nullopt;
      }
      cl.answer = *policy;
    } else if (arg == "--time-scale") {
      const std::string* v = value();
      if (!v) return std::nullopt;
      char* end = nullptr;
      double scale = std::strtod(v->c_str(), &end);
      if (v->empty() || *end != '\0' || !(scale > 0) || !std::isfinite(scale)) {
        error = fmt::format("--time-scale takes a positive number, not {}", *v);
        return std::nullopt;
      }
      cl.timeScale = scale;
    } else if (arg == "--log-dir") {
      const std::string* v = value();
      if (!v) return std::nullopt;
      cl.logDir = *v;
    } else if (arg == "--devices") {
      const std::string* v = value();
      if (!v) return std::nullopt;
      cl.devices = *v;
    } else if (arg == "--wait") {
      const std::string* v = value();
      if (!v) return std::nullopt;
      char* end = nullptr;
      long seconds = std::strtol(v->c_str(), &end, 10);
      if (v->empty() || *end != '\0' || seconds < 0 || seconds > 86400) {
        error = fmt::format("--wait takes a number of seconds, not {}", *v);
        return std::nullopt;
      }
      cl.waitSeconds = static_cast<int>(seconds);
    } else {
      error = fmt::format("unknown option {}", arg);
      return std::nullopt;
    }
  }
  return cl;
}

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
      loop.Quit(kExitRefused);
    }
  });
}


}  // namespace upwend
