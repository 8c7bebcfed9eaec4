#pragma once
// The run log file: one per update, in the folder that stands for "C:\", named after the
// product caption and the start time. It is created anew at Start or Re-update and closed by the
// run's first failure or success report.
#include <cstdio>
#include <functional>
#include <string>

namespace upwend {

struct LocalTimeText {
  std::string shortDate;  // e.g. 2019/10/09
  std::string longTime;   // e.g. 14:03:07
};

// The clock of the log lines (wall-clock time, never scaled).
LocalTimeText NowText();

// Caption + "(" + date + " " + time + ").log", with every "/" turned into "_" and ":" into ";".
std::string RunLogFileName(const std::string& caption, const LocalTimeText& when);

class RunLog {
public:
  explicit RunLog(std::string folder) : folder_(std::move(folder)) {}
  ~RunLog();
  RunLog(const RunLog&) = delete;
  RunLog& operator=(const RunLog&) = delete;

  // Creates the file anew; false (and the log stays closed) when it cannot be created.
  bool Open(const std::string& caption, const LocalTimeText& when);
  void Close();
  bool IsOpen() const { return file_ != nullptr; }
  // Writes text + "\r\n" when open.
  void WriteLine(const std::string& text);
  // After a success: delete the closed file unless the folder holds the "autotest" marker.
  void DeleteUnlessAutotest();
  // Deletes this run's closed log file (whatever the marker), then the folder when that left it
  // empty; nothing else in the folder is touched.
  void DeleteOwnFile();
  bool AutotestMarkerExists() const;
  // Why no run log could be written into the folder (created when missing), or "" when one can.
  std::string FolderProblem() const;
  const std::string& path() const { return path_; }
  const std::string& folder() const { return folder_; }
  void set_folder(std::string folder) { folder_ = std::move(folder); }

private:
  std::string folder_;
  std::string path_;
  std::FILE* file_ = nullptr;
};

}  // namespace upwend
