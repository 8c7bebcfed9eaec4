#pragma once
// One fastboot connection over the TCP transport of the public fastboot protocol: "FB01"
// handshake, then every message preceded by its length as 8 bytes big-endian. Commands are
// answered with OKAY / FAIL / DATA; the data phase of a download is a byte stream however the
// host splits it into messages, spooled to a file in the state folder.
#include <cstdint>
#include <cstdio>
#include <string>

#include "sim/at_engine.h"
#include "sim/faults.h"
#include "sim/state_store.h"

namespace upwend::sim {

class FastbootSession {
public:
  static constexpr size_t kMaxCommand = 64;            // longer commands are refused
  static constexpr uint64_t kMultiPartSize = 67108800;  // size of one "mutilflash" part
  static constexpr int kMaxParts = 10;

  FastbootSession(StateStore& state, FaultSet& faults, uint64_t maxDownload);
  ~FastbootSession();
  FastbootSession(const FastbootSession&) = delete;
  FastbootSession& operator=(const FastbootSession&) = delete;

  // Consumes bytes from the host; framed replies are appended to `out`.
  void Feed(const uint8_t* data, size_t len, std::string& out);
  // The connection is to be closed (protocol error, injected disconnect, reboot done).
  bool WantsClose() const { return close_; }
  DeviceAction Action() const { return action_; }
  uint64_t DataBytes() const { return dataBytes_; }
  bool InDataPhase() const { return downloadRemaining_ > 0; }

private:
  enum class Stage { Handshake, Header, Payload };

  void OnPayload(const uint8_t* data, size_t len);
  void OnMessageEnd();
  void Command(const std::string& command);
  void Reply(const std::string& text);
  void Fail(const std::string& why) { Reply("FAIL" + why); }
  void Flash(const std::string& partition, uint64_t offset, bool truncateAll);
  std::string GetVar(const std::string& name, bool& ok);

  StateStore& state_;
  FaultSet& faults_;
  uint64_t maxDownload_;
  std::string* out_ = nullptr;
  Stage stage_ = Stage::Handshake;
  std::string handshake_;
  uint8_t header_[8] = {};
  size_t headerFill_ = 0;
  uint64_t messageRemaining_ = 0;
  bool dataMessage_ = false;  // the current message belongs to a download's data phase
  std::string command_;
  bool commandTooLong_ = false;
  uint64_t downloadSize_ = 0;
  uint64_t downloadRemaining_ = 0;
  bool haveDownload_ = false;
  FILE* spool_ = nullptr;
  std::string spoolPath_;
  uint64_t dataBytes_ = 0;
  std::optional<uint64_t> disconnectAfter_;
  bool close_ = false;
  DeviceAction action_ = DeviceAction::None;
};

}  // namespace upwend::sim
