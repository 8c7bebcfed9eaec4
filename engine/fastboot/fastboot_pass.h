#pragma once
// The fastboot pass: the fixed images, the configured partition list (flash, erase) and the
// closing reboot, spoken over the ADB USB API's bulk endpoints.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/fastboot/adb_binding.h"
#include "engine/worker/run_parameters.h"
#include "engine/worker/worker_context.h"
#include "engine/worker/worker_layers.h"

namespace upwend {

// The 8 lower-case hexadecimal digits of a download length; empty when it needs more than 8.
std::string DownloadLengthDigits(uint64_t length);

class FastbootPass final : public FastbootLayer {
public:
  static constexpr uint64_t kBlockSize = 4096;
  static constexpr size_t kFileReadBuffer = 1024 * 1024;
  static constexpr uint64_t kSystemPartSize = 67108800;
  static constexpr uint64_t kQdspPartSize = 10895360;

  using AdbLocator = std::function<int(int index, std::string& path)>;

  FastbootPass(WorkerContext& ctx, const RunParameters& params, AdbBinding& adb, AdbLocator findAdbInterface);

  void RunFastbootPass() override;

  bool ConnectAdbInterface(const std::string& path);
  bool InitAdbConnection();
  bool CloseAdbConnection();
  // Closes whatever handles of the connection are still open, without a report.
  void ReleaseAdbConnection();
  bool ImageHandshakeCmd(uint64_t length);
  bool ImageBulkWrite(const std::string& file, uint64_t length, uint64_t part, uint64_t partSize = kSystemPartSize);
  bool ReceiveOKEYReplay();
  void ReceiveEraseReply();
  bool EraseCmd(const std::string& partition);
  // The download step of a list entry: handshake, data, reply, "flash:" + partition, reply.
  bool FlashListEntry(const std::string& file, uint64_t length, const std::string& partition);
  bool RebootDeviceCmd();

private:
  // Raises `text` after a failed call into the ADB library, and notes the library's reason.
  void RaiseAdb(const std::string& text);
  struct FlashCommand {
    std::string bytes;
    uint32_t timeoutMs;
    std::string announcement;  // empty: none
    std::string failure;
    std::string success;
  };
  // A command whose texts are `stem` + ".", " failure" and " successfully".
  static FlashCommand Command(std::string bytes, uint32_t timeoutMs, const std::string& stem);
  bool SendCommand(const FlashCommand& command);
  // Reads one reply of the device into `reply` and logs the read; false when the read failed.
  bool ReadReply(uint8_t (&reply)[16], unsigned long& got);
  bool WriteBytes(const std::string& bytes, uint32_t timeoutMs, unsigned long& written);
  // Where the next piece of an image is read to (at most `left` bytes; `room` says how many):
  // the library's send buffer when it offers one, else `own`.
  uint8_t* ImageReadArea(std::vector<uint8_t>& own, uint64_t left, size_t& room);
  // handshake, data, reply, flash command, reply
  bool DownloadImage(const std::string& file, uint64_t length, const FlashCommand& flash);
  // One part of an image (from part * partSize): handshake, data, reply, flash command, reply;
  // each step only while the run is sound.
  bool DownloadPart(const std::string& file, uint64_t length, uint64_t part, uint64_t partSize,
                    const FlashCommand& flash);
  // Raises the size error for the first image to send whose size is unknown (0).
  bool AllSizesKnown();
  bool Connect();
  bool Disconnect();
  void FixedImages();
  void SystemInParts(const FastbootImage& image);
  void QdspInPackets(const std::string& file, uint64_t size);
  bool ConfiguredList();
  void Reboot();
  unsigned long RealTimeout(uint32_t ms) const;

  WorkerContext& ctx_;
  const RunParameters& params_;
  AdbBinding& adb_;
  AdbLocator findAdbInterface_;
};

}  // namespace upwend
