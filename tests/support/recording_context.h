#pragma once
// A worker context for layer tests: keeps every reported and raised text; the first raise sets
// the error code to 31, as the worker's ReportError does when the system reports no error.
#include <algorithm>
#include <string>
#include <vector>

#include "engine/worker/worker_context.h"

namespace upwend::testing {

class RecordingContext final : public WorkerContext {
public:
  explicit RecordingContext(Clock& clock) : clock_(clock) {}
  void ReportStatus(int, const std::string& text, int) override { reports.push_back(text); }
  void ReportError(const std::string& text) override {
    raised.push_back(text);
    if (code == 0) code = 31;
  }
  int ErrorCode() const override { return code; }
  Clock& clock() override { return clock_; }
  void SetGauge(uint64_t, uint64_t) override {}
  void AddSentBytes(uint64_t n) override {
    sent += n;
    if (stopAfterSent != 0 && sent >= stopAfterSent) code = kStopRequestCode;  // the user presses Stop
  }
  bool Reported(const std::string& text) const {
    return std::find(reports.begin(), reports.end(), text) != reports.end();
  }

  std::vector<std::string> reports, raised;
  int code = 0;
  uint64_t sent = 0;
  uint64_t stopAfterSent = 0;

private:
  Clock& clock_;
};

}  // namespace upwend::testing
