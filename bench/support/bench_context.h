#pragma once
// What the benchmarks that drive the tool's layers share: a worker context that prints raised
// errors (and, with UPWEND_BENCH_VERBOSE set, every status line) on stderr, and the machine's
// load average, printed beside each run.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/worker/worker_context.h"

namespace upwend::bench {

class PrintingContext final : public WorkerContext {
public:
  explicit PrintingContext(Clock& clock) : clock_(clock) {}
  void ReportStatus(int, const std::string& text, int) override {
    if (std::getenv("UPWEND_BENCH_VERBOSE")) std::fprintf(stderr, "%s\n", text.c_str());
  }
  void ReportError(const std::string& text) override {
    std::fprintf(stderr, "error: %s\n", text.c_str());
    code_ = kDefaultErrorCode;
  }
  int ErrorCode() const override { return code_; }
  Clock& clock() override { return clock_; }
  void SetGauge(uint64_t, uint64_t) override {}

private:
  Clock& clock_;
  int code_ = 0;
};

inline double LoadAverage() {
  double load = 0;
  if (FILE* f = std::fopen("/proc/loadavg", "r")) {
    if (std::fscanf(f, "%lf", &load) != 1) load = 0;
    std::fclose(f);
  }
  return load;
}

}  // namespace upwend::bench
