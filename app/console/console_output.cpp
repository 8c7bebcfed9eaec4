#include "app/console/console_output.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

#include "app/console/json_line.h"
#include "platform/message_box.h"

namespace upwend {

namespace {

constexpr const char* kDownloadingSuffix = " downloading";
constexpr const char* kRebootDone = "RebootDeviceCmd successfully";
constexpr const char* kPhaseBackup = "backup";
constexpr const char* kPhaseRestore = "restore";
constexpr double kJsonProgressSeconds = 0.5;  // at most two progress events a second ...
constexpr uint64_t kJsonProgressSteps = 200;  // ... unless half a percent went by
constexpr double kDrawSeconds = 0.1;
constexpr int kBarWidth = 30;
constexpr int kFailureType = 2;  // the report type of a failure

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() > tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

std::string Megabytes(uint64_t bytes) { return fmt::format("{:.1f}", static_cast<double>(bytes) / 1e6); }

std::string Duration(double seconds) {
  auto s = static_cast<uint64_t>(std::llround(seconds));
  if (s >= 3600) return fmt::format("{}:{:02}:{:02}", s / 3600, s / 60 % 60, s % 60);
  return fmt::format("{}:{:02}", s / 60, s % 60);
}

const char* AnswerName(int answer) {
  switch (answer) {
    case kIdOk: return "ok";
    case kIdCancel: return "cancel";
    case kIdYes: return "yes";
    case kIdNo: return "no";
    default: return "none";
  }
}

}  // namespace

std::optional<std::string> PhaseForReport(const std::string& text) {
  if (EndsWith(text, kDownloadingSuffix)) {
    return "flash " + text.substr(0, text.size() - std::char_traits<char>::length(kDownloadingSuffix));
  }
  if (text == kRebootDone) return std::string(kPhaseRestore);
  return std::nullopt;
}

std::string ReportTextOfLine(const std::string& line) {
  // Short date and long time carry no blanks: the text follows the second blank.
  size_t first = line.find(' ');
  size_t second = first == std::string::npos ? std::string::npos : line.find(' ', first + 1);
  return second == std::string::npos ? line : line.substr(second + 1);
}

ConsoleOutput::ConsoleOutput(OutputMode mode, Streams streams, std::function<double()> now)
    : mode_(mode), streams_(streams), now_(std::move(now)) {}

void ConsoleOutput::Emit(const std::string& jsonLine) {
  std::fputs(jsonLine.c_str(), streams_.out);
  std::fflush(streams_.out);
}

void ConsoleOutput::RunStarted(uint64_t totalBytes, bool resumed) {
  std::lock_guard lock(mutex_);
  total_ = totalBytes;
  finished_ = false;
  firstError_.clear();
  rate_ = RecentRate();
  rate_.Sample(now_(), 0);
  // A resumed run has its backup already; it begins with the boot loader.
  if (!resumed) Phase(kPhaseBackup);
}

void ConsoleOutput::Phase(const std::string& name) {
  if (name == phase_) return;
  phase_ = name;
  if (mode_ == OutputMode::Json) Emit(JsonLine().Add("event", "phase").Add("name", name).Finish());
}

void ConsoleOutput::LogLine(const std::string& line, int type) {
  std::lock_guard lock(mutex_);
  std::string text = ReportTextOfLine(line);
  if (type == kFailureType && firstError_.empty()) firstError_ = text;
  if (auto phase = PhaseForReport(text)) Phase(*phase);
  switch (mode_) {
    case OutputMode::Json:
      Emit(JsonLine().Add("event", "log").Add("type", type).Add("line", line).Add("text", text).Finish());
      break;
    case OutputMode::Terminal:
      ClearProgress();
      std::fprintf(streams_.out, "%s\n", line.c_str());
      std::fflush(streams_.out);
      if (total_ > 0 && !finished_) {
        rate_.Sample(now_(), rate_.bytes());
        DrawProgress(true);
      }
      break;
    case OutputMode::Quiet:
      break;
  }
}

void ConsoleOutput::Status(const std::string& text) {
  std::lock_guard lock(mutex_);
  if (mode_ == OutputMode::Json) {
    Emit(JsonLine().Add("event", "status").Add("text", text).Finish());
  } else if (mode_ == OutputMode::Terminal) {
    ClearProgress();
    std::fprintf(streams_.out, "Status: %s\n", text.c_str());
    std::fflush(streams_.out);
  }
}

void ConsoleOutput::Message(const ShownMessage& message) {
  std::lock_guard lock(mutex_);
  if (mode_ != OutputMode::Json) return;
  Emit(JsonLine()
           .Add("event", "message")
           .Add("caption", message.caption)
           .Add("text", message.text)
           .Add("answer", AnswerName(message.answer))
           .Finish());
}

void ConsoleOutput::SentBytes(uint64_t total) {
  std::lock_guard lock(mutex_);
  if (finished_) return;
  double now = now_();
  rate_.Sample(now, total);
  uint64_t done = rate_.bytes();
  if (mode_ == OutputMode::Json) {
    uint64_t step = std::max<uint64_t>(1, total_ / kJsonProgressSteps);
    bool due = done >= lastShownBytes_ + step || now - lastShownAt_ >= kJsonProgressSeconds || done == total_;
    if (!due || (done == lastShownBytes_ && lastShownAt_ >= 0)) return;
    lastShownBytes_ = done;
    lastShownAt_ = now;
    Emit(JsonLine()
             .Add("event", "progress")
             .Add("part", phase_)
             .Add("done", done)
             .Add("total", std::max(total_, done))
             .Add("rate", rate_.BytesPerSecond())
             .Finish());
  } else if (mode_ == OutputMode::Terminal) {
    DrawProgress(false);
  }
}

void ConsoleOutput::DrawProgress(bool force) {
  double now = now_();
  if (!force && streams_.terminal && now - lastShownAt_ < kDrawSeconds) return;
  uint64_t done = rate_.bytes();
  uint64_t total = std::max(total_, done);
  int pct = total == 0 ? 0 : static_cast<int>(done * 100 / total);
  if (!streams_.terminal) {
    // Into a file or a pipe: one line per tenth of the way, never redrawn.
    if (pct / 10 == lastTenth_) return;
    lastTenth_ = pct / 10;
  }
  lastShownAt_ = now;
  auto left = rate_.SecondsLeft(total);
  std::string text = fmt::format("{:3}%  {}  {}/{} MB  {:.2f} MB/s  ETA {}", pct, phase_, Megabytes(done),
                                 Megabytes(total), rate_.BytesPerSecond() / 1e6, left ? Duration(*left) : "--:--");
  if (!streams_.terminal) {
    std::fprintf(streams_.err, "progress %s\n", text.c_str());
  } else {
    int filled = pct * kBarWidth / 100;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(kBarWidth - filled), '-');
    std::fprintf(streams_.err, "\r\033[K[%s] %s", bar.c_str(), text.c_str());
    drawn_ = true;
  }
  std::fflush(streams_.err);
}

void ConsoleOutput::ClearProgress() {
  if (!drawn_) return;
  std::fputs("\r\033[K", streams_.err);
  drawn_ = false;
}

void ConsoleOutput::Finished(bool passed, const std::string& logFile) {
  std::lock_guard lock(mutex_);
  if (finished_) return;
  finished_ = true;
  ClearProgress();
  const char* status = passed ? "PASS" : "FAIL";
  if (mode_ == OutputMode::Json) {
    Emit(JsonLine()
             .Add("event", "result")
             .Add("status", status)
             .AddOrNull("error", passed ? std::string() : firstError_)
             .AddOrNull("log", logFile)
             .Finish());
    return;
  }
  if (mode_ == OutputMode::Quiet) {
    std::fprintf(streams_.out, "%s\n", passed || firstError_.empty() ? status : fmt::format("FAIL {}", firstError_).c_str());
  }
  if (!logFile.empty()) std::fprintf(streams_.err, "upwend: run log %s\n", logFile.c_str());
  std::fflush(streams_.out);
  std::fflush(streams_.err);
}

void ConsoleOutput::Diag(const std::string& text) {
  std::lock_guard lock(mutex_);
  ClearProgress();
  std::fprintf(streams_.err, "upwend: %s\n", text.c_str());
  std::fflush(streams_.err);
}

int ReportingDialogs::MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
  int answer = inner_.MessageBox(text, caption, flags);
  if (shown_ && !inner_.shown().empty()) shown_(inner_.shown().back());
  return answer;
}

std::optional<std::string> ReportingDialogs::ChooseFolder(const std::string& caption, const std::string& startFolder) {
  return inner_.ChooseFolder(caption, startFolder);
}

}  // namespace upwend
