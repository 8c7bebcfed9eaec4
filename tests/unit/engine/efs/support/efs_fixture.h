#pragma once
// The EFS layer wired to a responder device through the real DIAG transport and framing, with a
// worker that records reports, raises, progress and can be stopped at a moment of the clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/efs_responder.h"
#include "engine/diag/diag_framing.h"
#include "engine/diag/diag_transport.h"
#include "engine/efs/efs_files.h"
#include "engine/worker/worker_context.h"
#include "platform/manual_clock.h"
#include "tests/unit/platform/test_dir.h"

namespace upwend::test {

class EfsWorker final : public WorkerContext {
public:
  explicit EfsWorker(Clock& clock) : clock_(clock) {}
  void ReportStatus(int status, const std::string& text, int type) override { lines.push_back({status, text, type}); }
  void ReportError(const std::string& text) override {
    raised.push_back(text);
    if (code_ == 0) code_ = kDefaultErrorCode;
  }
  int ErrorCode() const override {
    if (code_ == 0 && stopAtMs && clock_.NowMs() >= *stopAtMs) code_ = kStopRequestCode;
    return code_;
  }
  Clock& clock() override { return clock_; }
  void SetGauge(uint64_t, uint64_t) override {}
  void AddSentBytes(uint64_t count) override { sentBytes += count; }

  int Count(const std::string& text) const {
    return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const auto& l) { return l.text == text; }));
  }
  // A new run on the same transport (the framing reads this worker's stop state).
  void Reset() {
    code_ = 0;
    lines.clear();
    raised.clear();
    sentBytes = 0;
    stopAtMs.reset();
  }
  bool Has(const std::string& text) const { return Count(text) > 0; }
  std::string FirstRaised() const { return raised.empty() ? std::string() : raised.front(); }

  struct Line {
    int status;
    std::string text;
    int type;
  };
  std::vector<Line> lines;
  std::vector<std::string> raised;
  uint64_t sentBytes = 0;
  std::optional<uint64_t> stopAtMs;

private:
  Clock& clock_;
  mutable int code_ = 0;
};

class EfsFixture : public ::testing::Test {
protected:
  void SetUp() override {
    dir = upwend::testing::FreshTestDir();
    backupFolder = dir + "/Backup/SN[A1]";
    std::filesystem::create_directories(backupFolder + "/EFS");
    transport.config().comPort = 5;
    ASSERT_TRUE(transport.OpenDiagPort());
    worker.lines.clear();
  }

  // The layer over the current parameters (lists must outlive it).
  EfsFiles& Layer() {
    if (!layer) layer = std::make_unique<EfsFiles>(worker, params, framing, &transport);
    return *layer;
  }

  std::string Local(const std::string& devicePath) const { return backupFolder + "/EFS/" + devicePath; }

 public:
  static Bytes Content(size_t size, uint8_t seed = 1) {
    Bytes b(size);
    for (size_t i = 0; i < size; ++i) b[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
    return b;
  }
  static Bytes ReadLocal(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  static void WriteLocal(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }

 protected:
  std::string dir;
  std::string backupFolder;
  ManualClock clock;
  EfsWorker worker{clock};
  EfsResponder device;
  DiagTransport transport{worker, [this] { return device.MakePort(clock); }};
  DiagFraming framing{worker, transport};
  RunParameters params;
  std::unique_ptr<EfsFiles> layer;
};

}  // namespace upwend::test
