#pragma once
// The USB boot device (the boot ROM that takes xload.bin) as the tool opens it: the device by
// its device-interface path, and one of its pipes by that path + "\" + the pipe name.
//
// Two kinds of device path reach it (docs/helper-programs.md):
//   a real device, from the sysfs backend:
//     \\?\usb#vid_0451&pid_d00e#bus_001&dev_009#{00873fdf-61a8-11d1-aa5e-00c04fb1728b}
//     opened through libusb; "PIPE01" is bulk OUT endpoint 0x01 of interface 0;
//   the simulator's device, from its bus:
//     \\?\usb#vid_0451&pid_d00e#unix:@upwend-sim-SESSION-ID-boot#{00873fdf-61a8-11d1-aa5e-00c04fb1728b}
//     a Unix stream socket ("@NAME": in the abstract namespace); every pipe of the device is
//     that socket.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace upwend {

class Clock;

class UsbBootPipe {
public:
  virtual ~UsbBootPipe() = default;
  // One synchronous write. False when the device refused it, went away or did not take all of it
  // within the write time-out; `written` is what it took.
  virtual bool Write(const uint8_t* data, size_t size, size_t& written) = 0;
};

class UsbBootPort {
public:
  virtual ~UsbBootPort() = default;
  // Opens the device for reading and writing and closes it again: can it be used? `error` gets
  // an errno value on failure.
  virtual bool ProbeDevice(const std::string& devicePath, int& error) = 0;
  // Opens a pipe by its full path; nullptr (and `error`) on failure.
  virtual std::unique_ptr<UsbBootPipe> OpenPipe(const std::string& pipePath, int& error) = 0;
};

// Writes time out after `writeTimeoutMs` logical milliseconds (at least a small real floor).
std::unique_ptr<UsbBootPort> CreateUsbBootPort(Clock& clock, uint64_t writeTimeoutMs = 5000);

// The socket path of a simulator device path ("...#unix:PATH#..."), with or without a pipe
// suffix; nullopt when the path is not of that form.
std::optional<std::string> UsbBootSocketPath(const std::string& devicePath);

}  // namespace upwend
