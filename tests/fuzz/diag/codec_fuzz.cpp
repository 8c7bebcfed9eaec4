// The frame codec: any payload survives encoding and decoding unchanged, and the byte-wise and
// block-wise decoders agree on any input.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>

#include "engine/diag/diag_deframer.h"
#include "engine/diag/diag_tx_frame.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace upwend;
  std::span<const uint8_t> input(data, size);

  // Encode then decode.
  auto tx = std::make_unique<DiagTxFrame>();
  tx->Begin();
  tx->Append(input);
  tx->Finish();
  auto wire = tx->Wire();
  auto buffer = std::make_unique<DiagDeframer::Buffer>();
  DiagDeframer d(*buffer);
  d.Reset(DiagDeframer::Hunt::kAnyByte);
  size_t used = 0;
  DiagDeframer::Event e = d.FeedBlock(wire, used);
  if (size == 0) {
    Check(e == DiagDeframer::Event::kShort);
  } else if (size + 2 <= DiagDeframer::kMaxContent) {
    Check(e == DiagDeframer::Event::kGood);
    Check(used == wire.size());
    Check(d.count() == size + 2);
    Check(std::memcmp(buffer->data(), data, size) == 0);
  } else {
    Check(e == DiagDeframer::Event::kTooLong);
  }

  // Raw input: byte-wise and block-wise decoding agree, frame after frame.
  auto b1 = std::make_unique<DiagDeframer::Buffer>();
  auto b2 = std::make_unique<DiagDeframer::Buffer>();
  DiagDeframer one(*b1);
  DiagDeframer block(*b2);
  const auto hunt = size > 0 && (data[0] & 1) ? DiagDeframer::Hunt::kAnyByte : DiagDeframer::Hunt::kNeedFlag;
  one.Reset(hunt);
  block.Reset(hunt);
  size_t pos = 0;
  while (pos < size) {
    size_t n = 0;
    DiagDeframer::Event eb = block.FeedBlock(input.subspan(pos), n);
    DiagDeframer::Event eo = DiagDeframer::Event::kMore;
    size_t k = 0;
    while (k < n) {
      eo = one.Feed(data[pos + k++]);
      if (eo != DiagDeframer::Event::kMore && eo != DiagDeframer::Event::kEscape) break;
    }
    Check(k == n);
    if (eb != DiagDeframer::Event::kMore) Check(eo == eb);
    Check(one.count() == block.count() && one.count() <= DiagDeframer::kMaxContent);
    Check(std::memcmp(b1->data(), b2->data(), one.count()) == 0);
    pos += n;
    one.Reset(hunt);
    block.Reset(hunt);
  }
  return 0;
}
