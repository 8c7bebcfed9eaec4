#include "sim/diag_engine.h"

#include <cstring>

namespace upwend::sim {
namespace {

constexpr uint8_t kVersion = 0x00, kEsn = 0x01, kStreamReset = 0x0B, kStreamResetAck = 0x0C,
                  kPowerOff = 0x11, kPowerOffAck = 0x12, kNvRead = 0x26, kNvWrite = 0x27, kControl = 0x29,
                  kSubsystem = 0x4B, kFsSubsystem = 0x13, kBuildId = 0x7C, kNak = 0x03;
constexpr uint16_t kModeReset = 2, kModeMax = 6;  // 1, offline, needs nothing of the simulator
constexpr uint16_t kNvDone = 0, kNvNotActive = 5;

void PutFixed(Bytes& out, const std::string& text, size_t len) {
  for (size_t i = 0; i < len; ++i) out.push_back(i < text.size() ? static_cast<uint8_t>(text[i]) : 0);
}

}  // namespace

DiagEngine::DiagEngine(StateStore& state, FaultSet& faults)
    : state_(state), faults_(faults), efs_(state.EfsRoot(), faults) {}

Bytes DiagEngine::NvReply(const Bytes& req) {
  Bytes r(req);
  uint16_t id = static_cast<uint16_t>(req[1] | (req[2] << 8));
  bool write = req[0] == kNvWrite;
  uint16_t status = kNvDone;
  if (auto injected = faults_.NvStatus(id, write)) {
    status = *injected;
  } else if (write) {
    state_.WriteNv(id, Bytes(req.begin() + 3, req.begin() + 131));
  } else if (auto data = state_.ReadNv(id)) {
    std::memcpy(r.data() + 3, data->data(), StateStore::kNvItemSize);
  } else {
    status = kNvNotActive;
  }
  if (status != kNvDone && !write) std::memset(r.data() + 3, 0, StateStore::kNvItemSize);
  r[131] = static_cast<uint8_t>(status & 0xFF);
  r[132] = static_cast<uint8_t>(status >> 8);
  return r;
}

Bytes DiagEngine::BuildIdReply() {
  // Command, version 2, two reserved bytes, the chip's hardware version, the model id (whose
  // low byte is the platform code the tool compares) and the build and model names.
  Bytes r = {kBuildId, 0x02, 0x00, 0x00, 0xE1, 0x00, 0x00, 0x00};
  unsigned long platform = 0;
  try {
    platform = std::stoul(state_.Fact("PLATFORM"));
  } catch (...) {
  }
  for (int i = 0; i < 4; ++i) r.push_back(static_cast<uint8_t>(platform >> (8 * i)));
  std::string build = state_.Fact("BUILD_ID"), model = state_.Fact("MODEL");
  r.insert(r.end(), build.begin(), build.end());
  r.push_back(0);
  r.insert(r.end(), model.begin(), model.end());
  r.push_back(0);
  return r;
}

Bytes DiagEngine::VersionReply() {
  Bytes r = {kVersion};
  PutFixed(r, "Jan 05 2026", 11);  // compile date
  PutFixed(r, "10:00:00", 8);
  PutFixed(r, "Jan 05 2026", 11);  // release date
  PutFixed(r, "10:00:00", 8);
  PutFixed(r, "MDM9607", 8);       // version folder
  r.insert(r.end(), {0x01, 0x06, 0xFF, 0x01, 0x00, 0x01, 0x02, 0x00});
  return r;
}

std::optional<Bytes> DiagEngine::Answer(const Bytes& req, DeviceAction& action) {
  auto bad = [&](uint8_t code) {
    Bytes r = {code};
    r.insert(r.end(), req.begin(), req.begin() + static_cast<long>(std::min<size_t>(req.size(), 32)));
    return r;
  };
  if (req.empty()) return std::nullopt;
  switch (req[0]) {
    case kVersion:
      return VersionReply();
    case kEsn: {
      Bytes r = {kEsn};
      unsigned long esn = 0;
      try {
        esn = std::stoul(state_.Identity("ESN"), nullptr, 16);
      } catch (...) {
      }
      for (int i = 0; i < 4; ++i) r.push_back(static_cast<uint8_t>(esn >> (8 * i)));
      return r;
    }
    case kStreamReset:
      action = DeviceAction::RebootNormal;
      return Bytes{kStreamResetAck};
    case kPowerOff:
      // A bus-powered modem that switches off comes straight back when the host keeps power.
      action = DeviceAction::RebootNormal;
      return Bytes{kPowerOffAck};
    case kNvRead:
    case kNvWrite:
      if (req.size() != kNvPacket) return bad(kBadLength);
      return NvReply(req);
    case kControl: {
      if (req.size() != 3) return bad(kBadLength);
      uint16_t mode = static_cast<uint16_t>(req[1] | (req[2] << 8));
      if (mode > kModeMax) return bad(kBadCommand);
      if (mode == kModeReset) action = DeviceAction::RebootNormal;
      return req;
    }
    case kBuildId:
      return BuildIdReply();
    case kSubsystem:
      if (req.size() >= 4 && req[1] == kFsSubsystem) {
        if (auto r = efs_.Handle(req)) return r;
      }
      return bad(kBadCommand);
    default:
      return bad(kBadCommand);
  }
}

std::vector<TimedOutput> DiagEngine::Feed(const uint8_t* data, size_t len) {
  std::vector<HdlcDeframer::Frame> frames;
  deframer_.Feed(data, len, frames);
  std::vector<TimedOutput> outputs;
  for (auto& f : frames) {
    // A spoilt or truncated frame is dropped; the host repeats its request.
    if (!f.crcOk) continue;
    if (faults_.UnplugDiag(f.payload)) continue;
    DiagFaultEffect effect = faults_.ForDiag(f.payload);
    if (effect.drop) continue;
    DeviceAction action = DeviceAction::None;
    std::optional<Bytes> reply = Answer(f.payload, action);
    if (!reply) continue;
    if (effect.nakReason) {
      *reply = {kNak, static_cast<uint8_t>(*effect.nakReason >> 8), static_cast<uint8_t>(*effect.nakReason & 0xFF)};
      action = DeviceAction::None;
    }
    uint16_t crc = Crc16X25(reply->data(), reply->size());
    if (effect.badCrc) crc ^= 0x0101;
    Bytes wire = EncodeHdlcWithCrc(*reply, crc, f.leadingFlag);
    TimedOutput out;
    out.bytes.assign(wire.begin(), wire.end());
    out.delayMs = effect.delayMs + faults_.LatencyMs();
    out.action = action;
    outputs.push_back(std::move(out));
  }
  return outputs;
}

}  // namespace upwend::sim
