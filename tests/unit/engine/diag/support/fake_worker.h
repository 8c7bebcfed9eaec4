#pragma once
// The worker as a protocol layer sees it: reports are recorded, the first raised text is kept
// with the worker's error-code rule, and a stop can be scheduled at a moment of the clock.
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "engine/worker/worker_context.h"
#include "platform/clock.h"
#include "platform/last_error.h"

namespace upwend::test {

struct ReportLine {
  int status;
  std::string text;
  int type;
};

class FakeWorker final : public WorkerContext {
public:
  // Each test starts with no system error left over from an earlier one on this thread.
  explicit FakeWorker(Clock& clock) : clock_(clock) { SetLastSystemError(0); }

  void ReportStatus(int commStatus, const std::string& text, int messageType) override {
    lines.push_back({commStatus, text, messageType});
  }
  void ReportError(const std::string& text) override {
    raised.push_back(text);
    if (errorCode_ != 0) return;
    const uint32_t code = GetLastSystemError();
    errorCode_ = code != 0 ? static_cast<int>(code) : kDefaultErrorCode;
    errors.push_back("ERROR, " + text + ", Error code: " + std::to_string(code));
  }
  int ErrorCode() const override {
    if (errorCode_ == 0 && stopAtMs && clock_.NowMs() >= *stopAtMs) errorCode_ = kStopRequestCode;
    return errorCode_;
  }
  Clock& clock() override { return clock_; }
  void SetGauge(uint64_t, uint64_t) override {}

  void RequestStop() { errorCode_ = kStopRequestCode; }

  std::vector<std::string> Texts() const {
    std::vector<std::string> out;
    for (const auto& l : lines) out.push_back(l.text);
    return out;
  }
  int Count(const std::string& text) const {
    return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const ReportLine& l) { return l.text == text; }));
  }

  std::vector<ReportLine> lines;
  std::vector<std::string> raised;  // every raise, also those after the first
  std::vector<std::string> errors;  // what reached the window
  std::optional<uint64_t> stopAtMs;

private:
  Clock& clock_;
  mutable int errorCode_ = 0;
};

}  // namespace upwend::test
