// Drives the four receive procedures and a framed exchange over a port that delivers the
// fuzzer's bytes, with silences cut in where the input asks for them. Whatever arrives, the
// receive buffer must not be overrun and the results must stay within their ranges.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "engine/diag/diag_framing.h"
#include "engine/diag/diag_transport.h"
#include "tests/unit/engine/diag/support/fake_worker.h"
#include "platform/manual_clock.h"
#include "tests/support/scripted_port.h"

namespace upwend {
namespace {

// The fuzzer's bytes as they arrive on the line: a byte 0xF7 followed by n is a silence of
// n * 100 ms before the bytes after it.
void ScheduleInput(test::ScriptedLine& line, const uint8_t* data, size_t size) {
  test::Bytes chunk;
  uint64_t atMs = 0;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0xF7 && i + 1 < size) {
      line.Arrive(chunk, atMs);
      chunk.clear();
      atMs += static_cast<uint64_t>(data[++i]) * 100;
      continue;
    }
    chunk.push_back(data[i]);
  }
  line.Arrive(chunk, atMs);
}

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace
}  // namespace upwend

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace upwend;
  if (size < 1) return 0;
  const uint8_t mode = data[0] % 5;
  ManualClock clock;
  test::FakeWorker worker(clock);
  // Untimed receives end with the stop once the input has long run dry.
  worker.stopAtMs = 1000 * (size + 100);
  test::ScriptedLine line(clock);
  line.strictWrites = false;
  ScheduleInput(line, data + 1, size - 1);
  DiagTransport transport(worker, [&] { return std::make_unique<test::ScriptedPort>(line); });
  Check(transport.OpenDiagPort());
  auto framing = std::make_unique<DiagFraming>(worker, transport);
  for (int round = 0; round < 3; ++round) {
    int16_t r = 0;
    switch (mode) {
      case 0: r = framing->ReceiveAck(); break;
      case 1: r = framing->ReceiveAckTimed(); break;
      case 2: r = framing->ReceiveFrame(); break;
      case 3: r = framing->ReceiveFrameWait(); break;
      case 4: {
        const uint8_t request[] = {0x26, 0x7E, 0x7D};
        framing->Exchange(request, {ReplyReader::kFrame, 2, 0, 100},
                          [](const Reply& reply) { return reply.bytes.size() > 0 && reply.bytes[0] == 0x26; });
        break;
      }
    }
    Check(framing->rxCount() <= DiagDeframer::kMaxContent);
    if (mode == 2 && r > 7 && r != 0xFF) Check(static_cast<size_t>(r) == framing->rxCount());
    if (mode == 3 && r > 7) Check(static_cast<size_t>(r) == framing->rxCount() + 1 && framing->rxBuffer()[r - 1] == 0x7E);
    if (worker.Stopped()) break;
  }
  return 0;
}
