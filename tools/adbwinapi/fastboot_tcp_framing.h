#pragma once
// Fastboot over TCP frames every message with an 8-byte big-endian length. The host side of
// the tool writes fastboot the USB way (one command per write, download data in blocks), so
// these two pieces turn that into frames:
//  - ReplyAssembler cuts the byte stream from the device into reply messages;
//  - DownloadTracker follows "download:" commands and "DATA" replies, so that a download's data,
//    written in many blocks, goes out as one frame of the announced length.
#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include "tools/adbwinapi/adb_error.h"

namespace upwend::adb {

inline constexpr size_t kFrameHeaderSize = 8;
// Fastboot replies are at most a few hundred bytes; a larger length means the stream is out of step.
inline constexpr uint64_t kMaxReplyLength = 64 * 1024;

std::array<uint8_t, kFrameHeaderSize> EncodeFrameHeader(uint64_t length);

class ReplyAssembler {
public:
  // Consumes all of `data`. After a framing error (Failed()) input is ignored.
  void Feed(const uint8_t* data, size_t size);
  bool HasReply() const { return !replies_.empty(); }
  std::string TakeReply();
  bool Failed() const { return failed_; }
  const std::string& FailureText() const { return failureText_; }
  // True while a frame has been started but not completed.
  bool InFrame() const { return headerFill_ > 0 || remaining_ > 0; }

private:
  std::array<uint8_t, kFrameHeaderSize> header_{};
  size_t headerFill_ = 0;
  uint64_t remaining_ = 0;
  bool inBody_ = false;
  std::string current_;
  std::deque<std::string> replies_;
  bool failed_ = false;
  std::string failureText_;
};

class DownloadTracker {
public:
  struct WritePlan {
    bool sendHeader = false;
    std::array<uint8_t, kFrameHeaderSize> header{};
    bool data = false;  // part of a download's data frame
  };

  // How a write of `size` bytes goes on the wire, or why it must not be sent.
  std::optional<WritePlan> PlanWrite(const uint8_t* bytes, size_t size, OsError& error) const;
  // After the plan was carried out: whether its header went out whole, and how many of the
  // `size` payload bytes followed. A command frame cut short leaves the stream unusable; a
  // download frame may go on with the next write.
  void WriteDone(const WritePlan& plan, const uint8_t* bytes, size_t size, bool headerComplete, size_t sent);
  void OnReply(std::string_view reply);

  bool InDataPhase() const { return dataPhase_; }
  uint64_t DataRemaining() const { return dataRemaining_; }
  bool Broken() const { return broken_; }

private:
  std::optional<uint64_t> announced_;  // "download:" sent, reply not yet read
  bool dataPhase_ = false;
  bool headerSent_ = false;
  uint64_t dataLength_ = 0;
  uint64_t dataRemaining_ = 0;
  bool broken_ = false;
};

// The length in a "download:" command, when `command` is one (1 to 8 hex digits).
std::optional<uint64_t> DownloadLength(std::string_view command);

}  // namespace upwend::adb
