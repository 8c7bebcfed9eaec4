#pragma once
// A scripted DIAG device for the NV and QMSL tests: the reference HDLC framing, NV items with
// per-item statuses, a small EFS, and ports on scripted lines whose every request frame is
// answered as soon as it is written.
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/serial_port.h"
#include "tests/support/reference_hdlc.h"
#include "tests/support/scripted_port.h"

namespace upwend::testing {

using test::Bytes;
using test::ReferenceDeframer;
using test::ReferenceFrame;

class FakeDiagDevice {
public:
  using Item = std::array<uint8_t, 128>;

  // Returns the reply payload, or nothing (a silent device, an unknown request).
  std::optional<Bytes> Handle(const Bytes& request);

  std::mutex mutex;
  std::map<uint16_t, Item> items;          // items the device has (active)
  std::map<uint16_t, uint16_t> statusFor;  // forced status for an id (read and write)
  std::map<std::string, Bytes> files;      // EFS files by path as given
  bool silent = false;
  bool answerVersion = true;
  int nvReads = 0;
  int nvWrites = 0;
  int requests = 0;
  std::vector<uint16_t> writtenIds;
  std::vector<Bytes> nvWriteRequests;
  std::function<void(int writeCount)> onNvWrite;  // runs after each NV write request
  std::function<void(Bytes& reply)> mangle;       // changes a reply before it is sent

  // The calibration items a flash resets: every item's data zeroed, every EFS file removed.
  void Flash();

  // A serial port on a line of its own to the device, which answers every frame at once.
  std::unique_ptr<SerialPort> MakePort();
  uint64_t replyNanos = 0;  // time spent building replies on the ports' lines (the device's share)

private:
  Bytes Nv(const Bytes& request);
  Bytes Efs(const Bytes& request);
  std::map<int32_t, std::pair<std::string, bool>> open_;  // fd -> path, writable
  int32_t nextFd_ = 3;
  std::vector<std::unique_ptr<test::ScriptedLine>> lines_;
};

}  // namespace upwend::testing
