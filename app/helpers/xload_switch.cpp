#include "app/helpers/xload_switch.h"

#include <fmt/format.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "platform/clock.h"
#include "platform/device_backend.h"
#include "platform/ini_file.h"
#include "platform/usb_boot_pipe.h"

namespace upwend {

namespace {

constexpr uint64_t kRetryMs = 1000;
constexpr const char* kOurDevice = "VID_0451&PID_D00E";

// Reads at most kXloadImageMax bytes; nullopt when the file cannot be opened as a file.
std::optional<std::string> ReadImage(const std::string& path) {
  std::error_code ec;
  // A folder opens for reading on POSIX; it is no image.
  if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string image(kXloadImageMax, '\0');
  in.read(image.data(), static_cast<std::streamsize>(image.size()));
  if (in.bad()) return std::nullopt;
  image.resize(static_cast<size_t>(in.gcount()));
  return image;
}

}  // namespace

XloadSwitch::XloadSwitch(XloadServices services) : services_(std::move(services)) {}

XloadSwitch::~XloadSwitch() {
  XloadRunFlag = false;
  if (thread_.joinable()) thread_.join();
}

void XloadSwitch::Report(const std::string& text) const {
  if (services_.appendRunLog) services_.appendRunLog(text);
}

void XloadSwitch::StartXloadSwitch(const std::string& imageFolder) {
  std::string path = imageFolder + "/xload.bin";
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return;
  xloadPath_ = path;
  if (services_.setDownloadSupport) services_.setDownloadSupport(false);
  XloadRunFlag = false;
  if (thread_.joinable()) thread_.join();
  XloadRunFlag = true;
  if (services_.setDownloadSupport) services_.setDownloadSupport(true);
  thread_ = std::thread([this] { ThreadFastbootFunc(); });
}

bool XloadSwitch::FindUsbBootDevice() {
  if (services_.devices == nullptr) return false;
  std::vector<UsbBootInfo> list = services_.devices->ListUsbBootDevices();
  for (size_t i = 0; i < list.size() && i < kUsbBootMembersExamined; ++i) {
    const std::string& path = list[i].devicePath;
    devicePath_ = path;
    Report(fmt::format("Attempting to open {}", path));
    if (AsciiUpper(path).find(kOurDevice) == std::string::npos) {
      Report(fmt::format("{} is not our device", path));
      continue;
    }
    int error = 0;
    if (!services_.port.ProbeDevice(path, error)) {
      Report(fmt::format("FAILED to open {}", path));
      continue;
    }
    return true;
  }
  return false;
}

std::unique_ptr<UsbBootPipe> XloadSwitch::OpenUsbBootPipe(const std::string& pipeName) {
  if (!FindUsbBootDevice()) {
    Report(fmt::format("Failed to GetUsbDeviceFileName err - {}", ENODEV));
    return nullptr;
  }
  std::string pipePath = devicePath_ + "\\";
  if (pipePath.size() + pipeName.size() > kUsbBootPipePathMax) {
    Report("Failed to open handle - possibly long filename");
    return nullptr;
  }
  pipePath += pipeName;
  Report(fmt::format("completeDeviceName = ({})", pipePath));
  int error = 0;
  auto pipe = services_.port.OpenPipe(pipePath, error);
  if (!pipe) {
    Report(fmt::format("Failed to open ({}) = {}", pipePath, error));
  } else {
    Report("Opened successfully.");
  }
  return pipe;
}

void XloadSwitch::ThreadFastbootFunc() {
  Report("ThreadFastbootFunc start");
  std::optional<std::string> image = ReadImage(xloadPath_);
  if (!image) {
    Report(fmt::format("Failed to read file {} , please check whether it's in the exe dir.", xloadPath_));
    return;
  }
  while (XloadRunFlag) {
    std::unique_ptr<UsbBootPipe> pipe = OpenUsbBootPipe(kUsbBootPipeName);
    if (!pipe) {
      Report("Failed to find device. try again");
      services_.clock.SleepMs(kRetryMs);
      continue;
    }
    if (!XloadRunFlag) {
      pipe.reset();
      Report("_endthread();");
      return;
    }
    bool sent = SendImage(*pipe, *image);
    pipe.reset();
    if (sent) services_.clock.SleepMs(kRetryMs);
  }
}

bool XloadSwitch::SendImage(UsbBootPipe& pipe, const std::string& image) {
  const uint32_t n = static_cast<uint32_t>(image.size());
  const uint8_t length[4] = {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n >> 16),
                             static_cast<uint8_t>(n >> 24)};
  size_t written = 0;
  if (!pipe.Write(length, sizeof length, written)) {
    Report("Failed to write file's size to board, try to continue....");
    return false;  // the device is looked for again at once
  }
  Report(fmt::format("size {} nBytesWrite {}", n, written));
  if (!pipe.Write(reinterpret_cast<const uint8_t*>(image.data()), image.size(), written)) {
    Report("Failed to write file to board, try to continue....");
    return false;
  }
  Report("Successfully make download....");
  return true;
}

}  // namespace upwend
