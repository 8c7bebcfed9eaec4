#pragma once
// A USB fastboot device in umockdev's testbed: its sysfs entry and descriptors, and a handler of
// the usbdevfs ioctls that libusb makes on its node (submit, reap, discard), answering getvar,
// download, flash and reboot. Every URB is counted, so tests see the transfers as the bus would.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace upwend::testing {

class UsbFastbootDevice {
public:
  static constexpr uint16_t kVendor = 0x18D1, kProduct = 0xD00D;
  static constexpr uint8_t kBus = 1, kAddress = 2;
  static constexpr size_t kPacketSize = 512;

  struct Counts {
    size_t commandUrbs = 0;
    size_t dataUrbs = 0;
    size_t largestDataUrb = 0;
    size_t dataZeroPackets = 0;   // data URBs flagged to end with a zero-length packet
    bool lastDataUrbZeroPacket = false;
    uint64_t dataBytes = 0;
    uint64_t dataChecksum = 0;    // order-sensitive
    std::vector<std::string> commands;
  };

  // Creates the testbed and the device; false (with the reason) outside umockdev's wrapper.
  static std::unique_ptr<UsbFastbootDevice> Create(std::string& reason);
  ~UsbFastbootDevice();

  Counts counts();
  // While set, OUT URBs are taken but never completed (a device that stopped reading), and IN
  // URBs are never answered.
  void SetStalled(bool stalled);

  // The same checksum over bytes as they are written, to compare with dataChecksum.
  static uint64_t Checksum(uint64_t sum, const uint8_t* data, size_t size);

  struct State;

private:
  UsbFastbootDevice() = default;
  std::shared_ptr<State> state_;
  void* testbed_ = nullptr;
  void* handler_ = nullptr;
};

}  // namespace upwend::testing
