#pragma once
// A worker context that records every report line (status, text, type) and raised text, keeping the first failure as
// the worker does.
#include <string>
#include <vector>

#include "engine/worker/worker_context.h"
#include "platform/clock.h"

namespace upwend::testing {

struct ReportLine {
  int status;
  std::string text;
  int type;
};

class LineRecordingContext final : public WorkerContext {
public:
  explicit LineRecordingContext(double scale = 0.0005) : clock_(scale) {}
  void ReportStatus(int status, const std::string& text, int type) override { lines.push_back({status, text, type}); }
  void ReportError(const std::string& text) override {
    raised.push_back(text);
    if (errorCode == 0) errorCode = kDefaultErrorCode;
  }
  int ErrorCode() const override { return errorCode; }
  Clock& clock() override { return clock_; }
  void SetGauge(uint64_t, uint64_t) override {}
  void NoteNotRestored(const std::string& item) override { notRestored.push_back(item); }

  bool Reported(const std::string& text) const {
    for (const auto& l : lines) {
      if (l.text == text) return true;
    }
    return false;
  }
  int CountReported(const std::string& text) const {
    int n = 0;
    for (const auto& l : lines) n += l.text == text;
    return n;
  }
  std::string FirstError() const { return raised.empty() ? std::string() : raised.front(); }

  std::vector<ReportLine> lines;
  std::vector<std::string> raised;
  std::vector<std::string> notRestored;
  int errorCode = 0;

private:
  ScaledClock clock_;
};

}  // namespace upwend::testing
