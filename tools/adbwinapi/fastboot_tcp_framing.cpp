#include "tools/adbwinapi/fastboot_tcp_framing.h"

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>

#include "platform/digits.h"

namespace upwend::adb {

namespace {

constexpr std::string_view kDownloadPrefix = "download:";
constexpr size_t kMaxDownloadDigits = 8;

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

}  // namespace

std::array<uint8_t, kFrameHeaderSize> EncodeFrameHeader(uint64_t length) {
  std::array<uint8_t, kFrameHeaderSize> header{};
  for (size_t i = 0; i < kFrameHeaderSize; ++i) {
    header[kFrameHeaderSize - 1 - i] = static_cast<uint8_t>(length >> (8 * i));
  }
  return header;
}

void ReplyAssembler::Feed(const uint8_t* data, size_t size) {
  while (size > 0 && !failed_) {
    if (!inBody_) {
      size_t n = std::min(kFrameHeaderSize - headerFill_, size);
      std::copy_n(data, n, header_.begin() + static_cast<std::ptrdiff_t>(headerFill_));
      headerFill_ += n;
      data += n;
      size -= n;
      if (headerFill_ < kFrameHeaderSize) return;
      headerFill_ = 0;
      uint64_t length = 0;
      for (uint8_t b : header_) length = length << 8 | b;
      if (length > kMaxReplyLength) {
        failed_ = true;
        failureText_ = fmt::format("reply frame of {} bytes is longer than any fastboot reply", length);
        return;
      }
      current_.clear();
      remaining_ = length;
      inBody_ = length > 0;
      if (length == 0) replies_.emplace_back();
      continue;
    }
    size_t n = static_cast<size_t>(std::min<uint64_t>(remaining_, size));
    current_.append(reinterpret_cast<const char*>(data), n);
    data += n;
    size -= n;
    remaining_ -= n;
    if (remaining_ == 0) {
      replies_.push_back(std::move(current_));
      current_.clear();
      inBody_ = false;
    }
  }
}

std::string ReplyAssembler::TakeReply() {
  std::string reply = std::move(replies_.front());
  replies_.pop_front();
  return reply;
}

std::optional<uint64_t> DownloadLength(std::string_view command) {
  if (!StartsWith(command, kDownloadPrefix)) return std::nullopt;
  return ParseDigits(command.substr(kDownloadPrefix.size()), 16, kMaxDownloadDigits);
}

std::optional<DownloadTracker::WritePlan> DownloadTracker::PlanWrite(const uint8_t* bytes, size_t size,
                                                                     OsError& error) const {
  if (broken_) {
    error = {EPROTO, "an earlier write or reply left the connection out of step; reconnect"};
    return std::nullopt;
  }
  WritePlan plan;
  if (dataPhase_) {
    if (size > dataRemaining_) {
      error = {EINVAL, fmt::format("write of {} bytes is larger than the {} bytes left of the download", size,
                                   dataRemaining_)};
      return std::nullopt;
    }
    plan.data = true;
    plan.sendHeader = !headerSent_ && size > 0;
    plan.header = EncodeFrameHeader(dataLength_);
    return plan;
  }
  plan.sendHeader = true;
  plan.header = EncodeFrameHeader(size);
  return plan;
}

void DownloadTracker::WriteDone(const WritePlan& plan, const uint8_t* bytes, size_t size, bool headerComplete,
                                size_t sent) {
  if (plan.sendHeader && !headerComplete) {
    broken_ = true;
    return;
  }
  if (plan.data) {
    if (plan.sendHeader) headerSent_ = true;
    dataRemaining_ -= std::min<uint64_t>(sent, dataRemaining_);
    if (dataRemaining_ == 0) dataPhase_ = false;
    return;
  }
  if (sent < size) {
    broken_ = true;
    return;
  }
  announced_ = DownloadLength(std::string_view(reinterpret_cast<const char*>(bytes), size));
}

void DownloadTracker::OnReply(std::string_view reply) {
  if (dataPhase_) {
    // The device answered before it had all the data: the frame can never be completed.
    if (headerSent_) broken_ = true;
    dataPhase_ = false;
  }
  if (!announced_) return;
  if (StartsWith(reply, "INFO") || StartsWith(reply, "TEXT")) return;  // progress text; the answer follows
  if (StartsWith(reply, "DATA") && *announced_ > 0) {
    dataPhase_ = true;
    headerSent_ = false;
    dataLength_ = *announced_;
    dataRemaining_ = dataLength_;
  }
  announced_.reset();
}

}  // namespace upwend::adb
