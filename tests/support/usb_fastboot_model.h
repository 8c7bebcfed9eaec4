#pragma once
// A USB fastboot device's answers to the OUT transfers it takes (getvar, download, flash, reboot)
// and its count of them as the bus would see them; the USB device doubles share it.
#include <cstdint>
#include <cstdio>

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

namespace upwend::testing {

// The commands a device took, then what its data transfers looked like.
struct UsbFastbootCounts {
  std::vector<std::string> commands;
  size_t commandUrbs = 0;
  size_t dataUrbs = 0;
  size_t largestDataUrb = 0;
  size_t dataZeroPackets = 0;  // data transfers that end with a zero-length packet
  bool lastDataUrbZeroPacket = false;
  uint64_t dataBytes = 0;
  uint64_t dataChecksum = 0;  // order-sensitive
};

class UsbFastbootModel {
public:
  // The descriptors' values: interface 0, class ff/42/03, bulk IN 0x81 and OUT 0x01.
  static constexpr uint16_t kVendor = 0x18D1, kProduct = 0xD00D;
  static constexpr uint8_t kOut = 0x01, kIn = 0x81;
  static constexpr size_t kPacketSize = 512;

  void Out(const uint8_t* data, size_t size, bool zeroPacket) {
    if (remaining_ == 0) {
      ++counts.commandUrbs;
      Command(std::string(reinterpret_cast<const char*>(data), size));
      return;
    }
    const size_t n = static_cast<size_t>(std::min<uint64_t>(size, remaining_));
    ++counts.dataUrbs;
    counts.largestDataUrb = std::max(counts.largestDataUrb, size);
    counts.dataZeroPackets += zeroPacket;
    counts.lastDataUrbZeroPacket = zeroPacket;
    counts.dataBytes += n;
    counts.dataChecksum = Checksum(counts.dataChecksum, data, n);
    remaining_ -= n;
    if (remaining_ == 0) replies.push_back("OKAY");
  }

  // The same checksum over bytes as they are written, to compare with dataChecksum.
  static uint64_t Checksum(uint64_t sum, const uint8_t* data, size_t size) {
    for (size_t i = 0; i < size; ++i) sum = (sum ^ data[i]) * 0x100000001B3ull;
    return sum;
  }

  UsbFastbootCounts counts;
  std::deque<std::string> replies;

private:
  void Command(const std::string& text) {
    counts.commands.push_back(text);
    unsigned long length = 0;
    char tail = 0;
    if (text.rfind("getvar:", 0) == 0) {
      replies.push_back("OKAY0.4");
    } else if (std::sscanf(text.c_str(), "download:%8lx%c", &length, &tail) == 1) {
      char reply[16];
      std::snprintf(reply, sizeof reply, "DATA%08lx", length);
      replies.push_back(reply);
      remaining_ = length;
      if (length == 0) replies.push_back("OKAY");
    } else if (text.rfind("flash:", 0) == 0 || text == "reboot") {
      replies.push_back("OKAY");
    } else {
      replies.push_back("FAILunknown command");
    }
  }

  uint64_t remaining_ = 0;
};

}  // namespace upwend::testing
