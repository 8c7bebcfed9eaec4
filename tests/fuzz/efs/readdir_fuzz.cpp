// Readdir replies of any shape: decoded on their own, then fed to the recursive listing and to
// the folder removal as the device's answers. Nothing may crash, hang or leave the EFS folder.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/diag/diag_framing.h"
#include "engine/diag/diag_transport.h"
#include "engine/efs/efs2_requests.h"
#include "engine/efs/efs_device.h"
#include "engine/efs/efs_local_paths.h"
#include "engine/worker/worker_context.h"
#include "platform/manual_clock.h"
#include "tests/support/efs_responder.h"

namespace {

using upwend::test::Bytes;

class QuietWorker final : public upwend::WorkerContext {
public:
  explicit QuietWorker(upwend::Clock& clock) : clock_(clock) {}
  void ReportStatus(int, const std::string&, int) override {}
  void ReportError(const std::string&) override {
    if (code_ == 0) code_ = upwend::kDefaultErrorCode;
  }
  int ErrorCode() const override { return code_; }
  upwend::Clock& clock() override { return clock_; }
  void SetGauge(uint64_t, uint64_t) override {}

private:
  upwend::Clock& clock_;
  int code_ = 0;
};

// Records: a flag byte (bit 0: put a readdir header with handle 1 in front), a 16-bit length,
// then the reply bytes.
std::vector<Bytes> Records(const uint8_t* data, size_t size) {
  std::vector<Bytes> out;
  size_t at = 0;
  while (at + 3 <= size) {
    const uint8_t flags = data[at];
    size_t len = static_cast<size_t>(data[at + 1] | (data[at + 2] << 8));
    at += 3;
    len = std::min(len, size - at);
    Bytes reply;
    if (flags & 1) reply = {0x4B, 0x13, 0x0C, 0x00, 0x01, 0x00, 0x00, 0x00};
    reply.insert(reply.end(), data + at, data + at + len);
    out.push_back(std::move(reply));
    at += len;
  }
  return out;
}

void CheckDecoders(const Bytes& payload) {
  const auto entry = upwend::ParseEfsReaddir(payload);
  if (!entry) return;
  upwend::ClassifyEfsEntry(*entry);
  if (!upwend::IsSafeEntryName(entry->name)) return;
  const std::string path = upwend::JoinEfsPath("nv", entry->name);
  const auto local = upwend::LocalMirrorPath("/nonexistent/backup/SN[1]", path);
  if (local && local->rfind("/nonexistent/backup/SN[1]/EFS/", 0) != 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<Bytes> records = Records(data, size);
  for (const Bytes& r : records) CheckDecoders(r);

  upwend::ManualClock clock;
  QuietWorker worker(clock);
  upwend::test::EfsResponder device;
  device.AddFolder("nv");
  size_t next = 0;
  device.intercept = [&](const Bytes& request) -> std::optional<Bytes> {
    if (request.size() < 4) return std::nullopt;
    // Deletions succeed at once, so the time goes to the listing replies.
    if (request[2] == 0x08 || request[2] == 0x0A) return Bytes{request[0], request[1], request[2], request[3], 0, 0, 0, 0};
    if (request[2] != 0x0C) return std::nullopt;
    // An empty record would leave the request unanswered, and the listing waits for answers.
    if (next < records.size() && !records[next].empty()) return records[next++];
    if (next < records.size()) ++next;
    return std::nullopt;  // the device's own end of the folder
  };
  upwend::DiagTransport transport(worker, [&] { return device.MakePort(clock); });
  transport.config().comPort = 5;
  transport.OpenDiagPort();
  upwend::DiagFraming framing(worker, transport);
  upwend::EfsDevice efs(worker, framing, &transport);

  upwend::EfsFound found;
  efs.EfsListDirectory("/nv", found);
  for (const std::string& f : found.folders) {
    if (!upwend::IsSafeDevicePath(f)) std::abort();
  }
  for (const std::string& f : found.files) {
    if (!upwend::IsSafeDevicePath(f)) std::abort();
  }
  next = 0;
  device.dirOpen = false;
  efs.EfsRemoveDirectory("nv");
  return 0;
}
