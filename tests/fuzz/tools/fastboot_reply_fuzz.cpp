// Any byte stream from a device, cut at any points, with any commands between the replies: the
// reply framing and the download tracking never crash, never produce a reply longer than the
// limit, and never let a data frame exceed its announced length.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tools/adbwinapi/fastboot_tcp_framing.h"

using namespace upwend::adb;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ReplyAssembler replies;
  DownloadTracker tracker;
  uint64_t announcedLeft = 0;
  size_t pos = 0;
  while (pos < size) {
    uint8_t op = data[pos++];
    size_t len = pos < size ? data[pos++] : 0;
    if (len > size - pos) len = size - pos;
    const uint8_t* chunk = data + pos;
    pos += len;
    switch (op % 3) {
      case 0: {  // bytes from the device
        replies.Feed(chunk, len);
        while (replies.HasReply()) {
          std::string reply = replies.TakeReply();
          if (reply.size() > kMaxReplyLength) std::abort();
          tracker.OnReply(reply);
          if (tracker.InDataPhase()) announcedLeft = tracker.DataRemaining();
        }
        break;
      }
      case 1: {  // a command or a data block from the host
        upwend::OsError error;
        auto plan = tracker.PlanWrite(chunk, len, error);
        if (!plan) break;
        if (plan->data && len > announcedLeft) std::abort();
        size_t sent = (op & 0x80) != 0 ? len / 2 : len;  // sometimes the send is cut short
        tracker.WriteDone(*plan, chunk, len, (op & 0x40) == 0, sent);
        if (plan->data) announcedLeft -= std::min<uint64_t>(announcedLeft, sent);
        break;
      }
      default: {  // the tool's own download command
        std::string cmd = "download:" + std::to_string(len) + std::string(reinterpret_cast<const char*>(chunk), len % 4);
        upwend::OsError error;
        auto plan = tracker.PlanWrite(reinterpret_cast<const uint8_t*>(cmd.data()), cmd.size(), error);
        if (plan) tracker.WriteDone(*plan, reinterpret_cast<const uint8_t*>(cmd.data()), cmd.size(), true, cmd.size());
        (void)DownloadLength(cmd);
        break;
      }
    }
  }
  return 0;
}
