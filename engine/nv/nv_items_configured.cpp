// The NV items the configuration prescribes ([NV_Default] and [NV_Custom] lines), written with
// the worker's own DIAG requests.
#include <array>

#include "engine/nv/nv_config_line.h"
#include "engine/nv/nv_items.h"
#include "engine/worker/worker_context.h"

namespace upwend {

void NvItems::WriteNvConfig() {
  for (const std::string& line : RunParameters::Or(params_.NVItemList)) {
    const NvConfigLine parsed = SplitNvConfigLine(line);
    if (parsed.verdict == NvConfigLine::Verdict::kNoId) {
      ctx_.Raise("NVID is not contained in the configration!");
      return;
    }
    if (parsed.verdict == NvConfigLine::Verdict::kNoData) {
      ctx_.Raise("NVData is is incorrect!");
      return;
    }
    if (!ctx_.Stopped()) WriteNvItem(parsed.idText, parsed.dataText);
  }
}

uint8_t NvItems::ParseHexByte(const std::string& text) {
  if (auto value = ParseHexByteText(text)) return *value;
  ctx_.Raise("String to hex failed!");
  return 0;
}

void NvItems::WriteNvItem(const std::string& idText, const std::string& dataText) {
  // An id that is not a decimal item number names no item: nothing is sent.
  const std::optional<uint16_t> id = ParseNvIdText(idText);
  if (!id) {
    ctx_.Raise("NVID is not contained in the configration!");
    return;
  }
  const std::vector<std::string_view> texts = SplitNvByteTexts(dataText);
  if (texts.empty() || texts.size() > kNvDataSize) {
    ctx_.Raise("NVData length is incorrect!");
    return;
  }
  std::array<uint8_t, 133> request{};
  request[0] = 0x27;
  request[1] = static_cast<uint8_t>(*id & 0xFF);
  request[2] = static_cast<uint8_t>(*id >> 8);
  bool allParsed = true;
  for (size_t i = 0; i < texts.size(); ++i) {
    std::optional<uint8_t> value = ParseHexByteText(texts[i]);
    if (!value) {
      ParseHexByte(std::string(texts[i]));  // raises the text
      allParsed = false;
    }
    request[3 + i] = value.value_or(0);
  }
  // A value with a byte that could not be read is not written at all: a 0 in its place would
  // put a value on the device that nobody configured.
  if (!allParsed) return;

  const int replyLength = Exchange(request, Pass::kConfigured);
  if (replyLength == 0) {
    ctx_.Raise("[" + idText + "]" + ":Fail to write NV");
    return;
  }
  if (CheckCustomNvStatus(replyLength) != 0) return;
  if (ctx_.Stopped()) {
    ctx_.ReportStatus(kStatusFailed, "Fail to write NV......", kMsgFailure);
  } else {
    ctx_.Report("[" + idText + "]" + "Write NV......OK");
  }
}

}  // namespace upwend
