// The USB download writer against a recording transfer layer: how a download's blocks become
// transfers, how many are in flight, the zero-length packets and time-outs they carry, and when
// a failed or stalled transfer is reported.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "tools/adbwinapi/usb_download_writer.h"

namespace upwend::adb {
namespace {

// Records each OUT transfer; the device side takes their bytes in the order they were
// submitted. One transfer (counted from 1) can be made to fail or to stall until its time-out.
class RecordingBulkIo final : public UsbBulkIo {
public:
  // Its own statuses: the writer only passes them to Describe.
  static constexpr int kStalled = 1, kTimedOut = 2, kNotSupported = 3;

  struct Transfer {
    int slot;
    size_t size;
    bool zeroPacket;
    unsigned timeoutMs;
  };

  int Submit(int slot, const uint8_t* data, size_t size, bool zeroPacket, unsigned timeoutMs) override {
    EXPECT_FALSE(busy_[static_cast<size_t>(slot)]) << "slot " << slot << " reused while in flight";
    transfers.push_back({slot, size, zeroPacket, timeoutMs});
    const size_t number = transfers.size();
    busy_[static_cast<size_t>(slot)] = true;
    size_[static_cast<size_t>(slot)] = size;
    shortBy_[static_cast<size_t>(slot)] = number == shortAt ? std::min<size_t>(size, 2) : 0;
    status_[static_cast<size_t>(slot)] = number == failAt ? kStalled : number == stallAt ? kTimedOut : 0;
    int inFlight = 0;
    for (bool b : busy_) inFlight += b;
    maxInFlight = std::max(maxInFlight, inFlight);
    if (status_[static_cast<size_t>(slot)] == 0) Receive(data, size);
    return 0;
  }
  UsbCompletion Wait(int slot) override {
    EXPECT_TRUE(busy_[static_cast<size_t>(slot)]) << "waiting on idle slot " << slot;
    busy_[static_cast<size_t>(slot)] = false;
    const int status = status_[static_cast<size_t>(slot)];
    return {status, status == 0 ? size_[static_cast<size_t>(slot)] - shortBy_[static_cast<size_t>(slot)] : 0};
  }
  std::optional<UsbCompletion> Poll(int slot) override {
    if (!completeOnPoll || !busy_[static_cast<size_t>(slot)]) return std::nullopt;
    const int status = status_[static_cast<size_t>(slot)];
    return UsbCompletion{status, 0};
  }
  void Cancel(int slot) override {
    ++cancels;
    busy_[static_cast<size_t>(slot)] = false;
  }
  int ReadIn(uint8_t*, size_t, unsigned, size_t&) override { return kNotSupported; }
  OsError Describe(int status, std::string_view what) const override {
    return {status == kTimedOut ? ETIMEDOUT : EIO, std::string(what) + ": status " + std::to_string(status)};
  }

  int InFlight() const {
    int n = 0;
    for (bool b : busy_) n += b;
    return n;
  }
  size_t DataTransfers() const {
    size_t n = 0;
    for (const auto& t : transfers) n += t.slot != kSyncSlot;
    return n;
  }

  size_t failAt = 0;
  size_t stallAt = 0;
  size_t shortAt = 0;  // completes without its last two bytes
  bool completeOnPoll = false;
  std::vector<Transfer> transfers;
  int maxInFlight = 0;
  int cancels = 0;
  // What reached the device: kept, or while a pattern is checked only counted.
  std::string received;
  uint64_t receivedCount = 0;
  uint64_t outOfOrder = 0;

private:
  void Receive(const uint8_t* data, size_t size) {
    for (size_t i = 0; i < size; ++i) {
      if (!checkPattern) received.push_back(static_cast<char>(data[i]));
      // A sample of the bytes is enough to see a block out of place, and keeps this fast.
      else if ((receivedCount - patternStart) % 251 == 0 && data[i] != Pattern(receivedCount - patternStart)) ++outOfOrder;
      ++receivedCount;
    }
  }

public:
  static uint8_t Pattern(uint64_t i) { return static_cast<uint8_t>((i * 7 + (i >> 12)) & 0xFF); }
  bool checkPattern = false;
  uint64_t patternStart = 0;

private:
  std::array<bool, kSlots> busy_{};
  std::array<int, kSlots> status_{};
  std::array<size_t, kSlots> size_{};
  std::array<size_t, kSlots> shortBy_{};
};

class WriterTest : public ::testing::Test {
protected:
  bool Write(const std::string& text, unsigned timeoutMs = 500) {
    return static_cast<bool>(writer.Write(reinterpret_cast<const uint8_t*>(text.data()), text.size(), timeoutMs));
  }
  // The download command and its DATA reply, as the fastboot pass exchanges them.
  void StartDownload(uint64_t length) {
    char command[32];
    std::snprintf(command, sizeof command, "download:%08llx", static_cast<unsigned long long>(length));
    ASSERT_TRUE(Write(command));
    writer.OnReply("DATA" + std::string(command + 9));
  }
  // Blocks of 4096 bytes (the last one shorter) of the pattern; the results of each call.
  std::vector<bool> SendBlocks(uint64_t length, unsigned timeoutMs = 120000) {
    std::vector<uint8_t> block(4096);
    std::vector<bool> results;
    for (uint64_t at = 0; at < length; at += block.size()) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(block.size(), length - at));
      for (size_t i = 0; i < n; ++i) block[i] = RecordingBulkIo::Pattern(at + i);
      results.push_back(static_cast<bool>(writer.Write(block.data(), n, timeoutMs)));
    }
    return results;
  }

  RecordingBulkIo io;
  UsbDownloadWriter writer{io};
};

TEST_F(WriterTest, ALargeDownloadGoesInFewLargeTransfersWithTwoInFlight) {
  constexpr uint64_t kLength = 256ull << 20;
  StartDownload(kLength);
  io.checkPattern = true;
  io.patternStart = io.receivedCount;
  const auto results = SendBlocks(kLength);
  EXPECT_EQ(results.size(), 65536u);
  EXPECT_EQ(std::count(results.begin(), results.end(), false), 0);
  EXPECT_LE(io.DataTransfers(), kLength / (256 * 1024));
  EXPECT_GE(io.maxInFlight, 2);
  EXPECT_EQ(io.receivedCount - io.patternStart, kLength);
  EXPECT_EQ(io.outOfOrder, 0u);
  // For scripts/bench: the transfer count beside the 65,536 calls it replaces.
  RecordProperty("data_transfers", static_cast<int>(io.DataTransfers()));
  RecordProperty("max_in_flight", io.maxInFlight);
  // The last call waited for every transfer of the download.
  EXPECT_EQ(io.InFlight(), 0);
  EXPECT_FALSE(writer.InDataPhase());
}

TEST_F(WriterTest, ZeroLengthPacketsAndTimeOuts) {
  ASSERT_TRUE(Write("getvar:max-download-size", 700));
  ASSERT_EQ(io.transfers.size(), 1u);
  EXPECT_TRUE(io.transfers[0].zeroPacket);
  EXPECT_EQ(io.transfers[0].timeoutMs, 700u);

  // 3 MiB: full batches, the last of which ends the download with a zero-length packet.
  StartDownload(3u << 20);
  SendBlocks(3u << 20, 120000);
  std::vector<RecordingBulkIo::Transfer> data(io.transfers.begin() + 2, io.transfers.end());
  ASSERT_EQ(data.size(), 3u);
  for (size_t i = 0; i < data.size(); ++i) {
    EXPECT_EQ(data[i].size, 1u << 20);
    EXPECT_EQ(data[i].timeoutMs, 120000u);
    EXPECT_EQ(data[i].zeroPacket, i + 1 == data.size()) << i;
  }
  // After the download, writes are commands again.
  writer.OnReply("OKAY");
  ASSERT_TRUE(Write("flash:system", 80000));
  EXPECT_EQ(io.transfers.back().slot, UsbBulkIo::kSyncSlot);
  EXPECT_EQ(io.transfers.back().timeoutMs, 80000u);
  EXPECT_EQ(io.received.substr(io.received.size() - 12), "flash:system");
}

TEST_F(WriterTest, AFailedTransferFailsTheDownloadByItsLastBlock) {
  // 4 MiB + 1: five transfers; the second fails while later blocks are still being gathered.
  constexpr uint64_t kLength = (4u << 20) + 1;
  io.failAt = 3;  // transfer 1 is the command, 2 the first data transfer
  StartDownload(kLength);
  const auto results = SendBlocks(kLength);
  const auto firstFailure = std::find(results.begin(), results.end(), false);
  ASSERT_NE(firstFailure, results.end());
  // Once failed, the rest of the download fails too, and nothing stays in flight.
  EXPECT_TRUE(std::all_of(firstFailure, results.end(), [](bool ok) { return !ok; }));
  EXPECT_EQ(io.InFlight(), 0);
  EXPECT_FALSE(writer.InDataPhase());
  // The next command goes out as one.
  ASSERT_TRUE(Write("download:00000010"));
  EXPECT_EQ(io.transfers.back().slot, UsbBulkIo::kSyncSlot);
}

TEST_F(WriterTest, AStalledLastTransferFailsTheLastBlock) {
  io.stallAt = 2;  // the command, then the only data transfer
  StartDownload(10000);
  const auto results = SendBlocks(10000, 250);
  EXPECT_EQ(results, (std::vector<bool>{true, true, false}));
  EXPECT_EQ(io.transfers.back().timeoutMs, 250u);
}

TEST_F(WriterTest, AFailureSeenEarlyFailsTheNextCall) {
  io.failAt = 2;
  io.completeOnPoll = true;
  StartDownload(8u << 20);
  const auto results = SendBlocks(8u << 20);
  // The first transfer went out with block 256 and is polled as failed at block 257.
  EXPECT_EQ(std::count(results.begin(), results.begin() + 256, false), 0);
  EXPECT_FALSE(results[256]);
}

TEST_F(WriterTest, ACutShortDownloadIsSentBeforeTheReplyIsRead) {
  StartDownload(1u << 20);
  SendBlocks(5000);
  EXPECT_EQ(io.DataTransfers(), 0u);
  EXPECT_FALSE(writer.Flush(500).has_value());
  ASSERT_EQ(io.DataTransfers(), 1u);
  EXPECT_EQ(io.transfers.back().size, 5000u);
  EXPECT_EQ(io.InFlight(), 0);
}

TEST_F(WriterTest, ACommandTheDeviceTookOnlyPartOfFailsWithWhatWentOut) {
  io.shortAt = 1;
  auto cut = writer.Write(reinterpret_cast<const uint8_t*>("getvar:version"), 14, 500);
  ASSERT_FALSE(cut);
  EXPECT_EQ(cut.error().bytesDone, 12u);
  EXPECT_EQ(cut.error().error.code, EIO);
  EXPECT_TRUE(Write("getvar:version"));
}

TEST_F(WriterTest, OnlyADataReplyToADownloadStartsGathering) {
  ASSERT_TRUE(Write("download:00001000"));
  writer.OnReply("FAIL too large");
  EXPECT_FALSE(writer.InDataPhase());
  ASSERT_TRUE(Write("flash:boot"));
  writer.OnReply("DATA00001000");  // no download announced before it
  EXPECT_FALSE(writer.InDataPhase());
  // More data than announced would reach the device as a command: refused.
  StartDownload(100);
  std::vector<uint8_t> block(200);
  EXPECT_FALSE(writer.Write(block.data(), block.size(), 500));
  EXPECT_FALSE(writer.InDataPhase());
}

}  // namespace
}  // namespace upwend::adb
