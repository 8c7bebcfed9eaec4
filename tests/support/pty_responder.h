#pragma once
// A DIAG responder on the master side of a pseudo-terminal pair: the QMSL library opens the
// slave side as its COM port and talks to the fake device through the real line discipline.
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "tests/support/fake_diag_device.h"

namespace upwend::testing {

class PtyResponder {
public:
  explicit PtyResponder(FakeDiagDevice& device);
  ~PtyResponder();
  const std::string& slavePath() const { return slavePath_; }
  bool ok() const { return master_ >= 0; }
  // Time spent between a whole request and the last byte of its reply written.
  uint64_t replyNanos() const { return replyNanos_.load(); }

private:
  void Run();

  FakeDiagDevice& device_;
  int master_ = -1;
  int slave_ = -1;  // held open so the line stays up between the library's opens
  std::string slavePath_;
  std::atomic<bool> stop_{false};
  std::atomic<uint64_t> replyNanos_{0};
  std::thread thread_;
};

}  // namespace upwend::testing
