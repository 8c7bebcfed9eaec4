#pragma once
// The simulated modem as a whole: its state, its ports in normal mode (DIAG, AT, optional
// application port on pseudo-terminals), its fastboot endpoint in boot-loader mode, the moves
// between the two, and what it publishes on the device bus at each change.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/sim_bus.h"
#include "sim/faults.h"
#include "sim/state_store.h"

namespace upwend::sim {

class PtyPort;
class FastbootServer;
class UsbSocket;

struct SimOptions {
  std::string busDir;
  std::string stateDir;
  std::string deviceId = "sim";       // the bus file is <busDir>/<deviceId>.bus
  std::string usbPath;                // where the device sits on the USB (upwend --device); empty: deviceId
  std::string serial;                 // its USB serial number; empty: none
  bool startInFastboot = false;
  // Starts as a disk (mass storage, no serial ports) until the switch command arrives.
  bool startInDisk = false;
  std::vector<uint8_t> diskSwitchCdb = {0x11, 0x06, 0x20, 0x00, 0x00, 0x00};
  std::string diskName = "Simulated Mass Storage";
  // Starts as the USB boot device (0451:D00E) that takes xload.bin, then goes on to fastboot
  // (or to normal mode with afterBootNormal).
  bool startInBoot = false;
  bool afterBootNormal = false;
  int comDiag = 5;
  int comAt = 6;
  int comApp = 0;                     // 0: no application port
  bool compositeAdb = true;           // an ADB interface in normal mode (path with "MI_0n")
  std::string usbId = "USB\\VID_05C6&PID_9025&REV_0000";  // hardware IDs are this + "&MI_nn"
  uint64_t bootloaderDelayMs = 3000;  // from the reboot command to the fastboot endpoint
  uint64_t normalDelayMs = 5000;      // from a reset or a fastboot reboot to the serial ports
  uint16_t fastbootPort = 0;          // 0: any free loopback port
  uint64_t maxDownload = 0x20000000;
  uint32_t seed = 1;
  FaultSet faults;
};

class SimDevice {
public:
  // `announce` receives one line per port or endpoint published or removed.
  SimDevice(SimOptions options, Clock& clock, std::function<void(const std::string&)> announce);
  ~SimDevice();
  SimDevice(const SimDevice&) = delete;
  SimDevice& operator=(const SimDevice&) = delete;

  bool Start(std::string& error);
  // Takes every port off the bus (removal events) and stops all threads.
  void Stop();

  enum class Mode { Off, Normal, Fastboot, Disk, Boot };
  Mode CurrentMode();

private:
  struct Published {
    std::vector<ComPortInfo> com;
    std::vector<SerialMapEntry> serial;
    std::vector<AdbInterfaceInfo> adb;
    std::vector<BusDisk> disks;
    std::vector<UsbBootInfo> boot;
  };

  void RequestMode(Mode target);
  void Controller();
  bool BringUp(Mode mode, std::string& error);
  void TearDown();
  void Publish(const Published& next);
  void OnAction(int action);
  bool BringUpNormal(Published& next, std::vector<std::string>& lines, std::string& error);
  bool BringUpDisk(Published& next, std::vector<std::string>& lines, std::string& error);
  bool BringUpBoot(Published& next, std::vector<std::string>& lines, std::string& error);
  // Listens on the device's socket for `role` ("disk", "boot") and serves it with `handler`.
  bool ServeUsbSocket(const char* role, std::function<void(int fd, const std::atomic<bool>& stop)> handler,
                      std::string& error);
  // One bulk-only transport exchange on the disk; true when it carried the switch command.
  bool ServeDiskCommand(int fd, const std::atomic<bool>& stop);
  void ServeBootImage(int fd, const std::atomic<bool>& stop);

  SimOptions options_;
  Clock& clock_;
  std::function<void(const std::string&)> announce_;
  StateStore state_;

  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  Mode mode_ = Mode::Off;
  Mode requested_ = Mode::Off;
  bool hasRequest_ = false;
  std::atomic<bool> stopFlag_{false};
  std::thread controller_;

  std::vector<std::unique_ptr<PtyPort>> ports_;
  std::unique_ptr<FastbootServer> fastboot_;
  std::unique_ptr<UsbSocket> usbSocket_;
  Published published_;
  BusSnapshot bus_;
  uint64_t nextSeq_ = 1;
};

}  // namespace upwend::sim
