#include "app/run/run_log.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "platform/file_io.h"
#include "platform/local_time.h"

namespace upwend {

LocalTimeText NowText() {
  std::tm local = LocalTime(std::time(nullptr));
  char date[32];
  char time[32];
  std::strftime(date, sizeof date, "%Y/%m/%d", &local);
  std::strftime(time, sizeof time, "%H:%M:%S", &local);
  return {date, time};
}

std::string RunLogFileName(const std::string& caption, const LocalTimeText& when) {
  std::string name = caption + "(" + when.shortDate + " " + when.longTime + ").log";
  for (char& c : name) {
    if (c == '/') c = '_';
    if (c == ':') c = ';';
  }
  return name;
}

RunLog::~RunLog() { Close(); }

bool RunLog::Open(const std::string& caption, const LocalTimeText& when) {
  Close();
  std::error_code ec;
  std::filesystem::create_directories(folder_, ec);
  path_ = folder_ + "/" + RunLogFileName(caption, when);
  file_ = std::fopen(path_.c_str(), "wb");
  return file_ != nullptr;
}

void RunLog::Close() {
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
  }
}

void RunLog::WriteLine(const std::string& text) {
  if (file_ == nullptr) return;
  std::fwrite(text.data(), 1, text.size(), file_);
  std::fwrite("\r\n", 1, 2, file_);
  std::fflush(file_);
}

std::string RunLog::FolderProblem() const {
  std::error_code ec;
  std::filesystem::create_directories(folder_, ec);
  if (ec) return ec.message();
  return FolderWriteProblem(folder_);
}

bool RunLog::AutotestMarkerExists() const {
  std::error_code ec;
  return std::filesystem::exists(folder_ + "/autotest", ec);
}

void RunLog::DeleteUnlessAutotest() {
  if (path_.empty() || AutotestMarkerExists()) return;
  std::error_code ec;
  std::filesystem::remove(path_, ec);
}

void RunLog::DeleteOwnFile() {
  if (path_.empty() || IsOpen()) return;
  std::error_code ec;
  std::filesystem::remove(path_, ec);
  if (std::filesystem::is_empty(folder_, ec)) std::filesystem::remove(folder_, ec);
}

}  // namespace upwend
