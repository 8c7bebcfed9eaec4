#pragma once
// One connection of the QMSL library: the DIAG port of a given number, opened with the
// engine's transport, and the requests the library's entry points make on it (connection
// check, NV item read/write, EFS file copies). Calls on one session are serialised.
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/diag/diag_deframer.h"
#include "engine/diag/diag_transport.h"
#include "engine/diag/diag_tx_frame.h"
#include "engine/worker/worker_context.h"

namespace upwend {

class Clock;

class QmslSession {
public:
  static constexpr int kAttempts = 3;
  static constexpr uint64_t kReplyLimitMs = 5000;
  static constexpr uint64_t kOpenRetryMs = 100;
  static constexpr uint16_t kNoReplyStatus = 0xFFFF;
  static constexpr size_t kEfsReadBlock = 512;
  static constexpr size_t kEfsWriteBlock = 1488;

  QmslSession(Clock& clock, SerialPortFactory factory);
  ~QmslSession();
  QmslSession(const QmslSession&) = delete;
  QmslSession& operator=(const QmslSession&) = delete;

  // Opens "COM<comPort>", retrying until waitMs has passed; false when it never opened.
  bool Connect(unsigned comPort, uint64_t waitMs);
  // Sends a version request; true when the device answers it.
  bool IsPhoneConnected();
  // NV item requests (0x26/0x27, 133 bytes). `status` gets the device's status, or
  // kNoReplyStatus when no whole reply came; false in that case.
  bool NvRead(uint16_t id, uint8_t* data, int size, uint16_t& status);
  bool NvWrite(uint16_t id, const uint8_t* data, int size, uint16_t& status);
  // EFS2 file copies; true when the whole file was transferred.
  bool EfsRead(const std::string& devicePath, const std::string& localPath);
  bool EfsWrite(const std::string& localPath, const std::string& devicePath);
  void Disconnect();

private:
  // Reports of the shared transport go nowhere: the library has no log of its own.
  class Context final : public WorkerContext {
  public:
    explicit Context(Clock& clock) : clock_(clock) {}
    void ReportStatus(int, const std::string&, int) override {}
    void ReportError(const std::string&) override {}
    int ErrorCode() const override { return 0; }
    Clock& clock() override { return clock_; }
    void SetGauge(uint64_t, uint64_t) override {}

  private:
    Clock& clock_;
  };

  // Sends the request and returns the first intact reply (without check bytes) that `accept`
  // takes, resending up to kAttempts times; nullopt when none came.
  using Accept = std::function<bool(const std::vector<uint8_t>&)>;
  std::optional<std::vector<uint8_t>> Request(std::span<const uint8_t> request, const Accept& accept);
  std::optional<std::vector<uint8_t>> ReceiveOne();
  bool NvRequest(uint8_t code, uint16_t id, const uint8_t* data, int size, uint8_t* out, uint16_t& status);

  // EFS2 pieces (qmsl_efs.cpp).
  std::optional<std::vector<uint8_t>> EfsRequest(uint16_t command, std::span<const uint8_t> fields);
  std::optional<int32_t> EfsOpen(const std::string& path, uint32_t flags, uint32_t mode);
  bool EfsCloseFile(int32_t fd);
  std::optional<uint32_t> EfsStatSize(const std::string& path);
  void EfsMakeParents(const std::string& path);

  std::mutex mutex_;
  Context ctx_;
  DiagTransport transport_;
  DiagTxFrame tx_;
  DiagDeframer::Buffer rx_{};
  DiagDeframer deframer_{rx_};
  std::vector<uint8_t> chunk_;
};

}  // namespace upwend
