#pragma once
// What the headless front end prints of a run, in one of three forms:
// - terminal: run log lines on stdout; a progress line on stderr (phase, bytes done / total,
//   the recent rate and the time left), redrawn in place on a terminal, one line per tenth
//   of the way otherwise;
// - JSON Lines on stdout and nothing else there: events phase, progress, log, status,
//   message and one result;
// - quiet: only the result on stdout.
// Diagnostics (upwend: ...) and message boxes go to stderr in the terminal and quiet forms.
// Methods may be called from the UI thread and the worker's thread alike.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "app/console/recent_rate.h"
#include "app/shell/dialogs.h"

namespace upwend {

enum class OutputMode { Terminal, Json, Quiet };

// The phase a report begins, by its text: "flash FILE" for a list entry's " downloading" note,
// "restore" once the device was told to reboot out of fastboot; nullopt for other texts.
std::optional<std::string> PhaseForReport(const std::string& text);

// The report text of a run log line ("date time text").
std::string ReportTextOfLine(const std::string& line);

class ConsoleOutput {
public:
  struct Streams {
    std::FILE* out = stdout;
    std::FILE* err = stderr;
    bool terminal = false;  // err is a terminal: the progress line is redrawn in place
  };
  // `now` gives real seconds (rates are real, whatever the time scale).
  ConsoleOutput(OutputMode mode, Streams streams, std::function<double()> now);

  void RunStarted(uint64_t totalBytes, bool resumed);
  void LogLine(const std::string& line, int type);
  void Status(const std::string& text);
  void Message(const ShownMessage& message);
  void SentBytes(uint64_t total);
  // The verdict; `logFile` is the run log when it was kept.
  void Finished(bool passed, const std::string& logFile);
  void Diag(const std::string& text);

private:
  void Phase(const std::string& name);
  void DrawProgress(bool force);
  void ClearProgress();
  void Emit(const std::string& jsonLine);

  OutputMode mode_;
  Streams streams_;
  std::function<double()> now_;
  std::mutex mutex_;
  RecentRate rate_;
  std::string phase_;
  std::string firstError_;
  uint64_t total_ = 0;
  uint64_t lastShownBytes_ = 0;
  double lastShownAt_ = -1;
  int lastTenth_ = -1;
  bool drawn_ = false;
  bool finished_ = false;
};

// A Dialogs that lets `inner` answer each box and hands what was shown to `shown`.
class ReportingDialogs final : public Dialogs {
public:
  ReportingDialogs(HeadlessDialogs& inner, std::function<void(const ShownMessage&)> shown)
      : inner_(inner), shown_(std::move(shown)) {}
  int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;
  std::optional<std::string> ChooseFolder(const std::string& caption, const std::string& startFolder) override;
  // The guide is answered as the boxes are; its pages are printed on stderr (not in JSON).
  int ShowGuide(GuideWizard& wizard) override { return inner_.ShowGuide(wizard); }

private:
  HeadlessDialogs& inner_;
  std::function<void(const ShownMessage&)> shown_;
};

}  // namespace upwend
