#pragma once
// The xload mode switch: a thread that sends xload.bin to the USB boot device (0451:D00E)
// each time one is attached, for as long as the tool runs. It reports only into the run log,
// and only while that is open; nothing it does fails an update.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace upwend {

class Clock;
class DeviceBackend;
class UsbBootPipe;
class UsbBootPort;

inline constexpr size_t kXloadImageMax = 65535;
inline constexpr size_t kUsbBootMembersExamined = 4;
inline constexpr size_t kUsbBootPipePathMax = 255;
inline constexpr const char* kUsbBootPipeName = "PIPE01";

struct XloadServices {
  Clock& clock;
  DeviceBackend* devices;  // may be null: no device is ever found
  UsbBootPort& port;
  std::function<void(const std::string&)> appendRunLog;
  std::function<void(bool on)> setDownloadSupport;
};

class XloadSwitch {
public:
  explicit XloadSwitch(XloadServices services);
  // Ends the thread as the end of the process would: clears the flag and joins.
  ~XloadSwitch();
  XloadSwitch(const XloadSwitch&) = delete;
  XloadSwitch& operator=(const XloadSwitch&) = delete;

  // Starts (or restarts) the thread for imageFolder + "/xload.bin"; does nothing when that file
  // does not exist.
  void StartXloadSwitch(const std::string& imageFolder);
  bool Running() const { return thread_.joinable(); }

  // Looks at the first four boot devices listed; true when one is ours and can be opened, with
  // its path (in the letter case the system reported) left in devicePath().
  bool FindUsbBootDevice();
  // The device's pipe `pipeName`; nullptr when no device is found or the pipe cannot be opened.
  std::unique_ptr<UsbBootPipe> OpenUsbBootPipe(const std::string& pipeName);
  const std::string& devicePath() const { return devicePath_; }

private:
  void ThreadFastbootFunc();
  // One attachment: the length, then the image. True when the image went out.
  bool SendImage(UsbBootPipe& pipe, const std::string& image);
  void Report(const std::string& text) const;

  XloadServices services_;
  std::string xloadPath_;
  std::string devicePath_;
  std::atomic<bool> XloadRunFlag{false};
  std::thread thread_;
};

}  // namespace upwend
