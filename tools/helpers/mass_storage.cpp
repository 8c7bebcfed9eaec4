#include "tools/helpers/mass_storage.h"

#include <libusb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <fmt/format.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/device_selector.h"
#include "platform/ini_file.h"
#include "platform/sim_bus.h"

namespace upwend::helpers {

namespace {

constexpr unsigned kUsbTimeoutMs = 5000;
constexpr int kSocketTimeoutMs = 5000;
constexpr uint8_t kMassStorageClass = 0x08, kScsiSubClass = 0x06, kBulkOnlyProtocol = 0x50;

bool Matches(const std::string& name, const std::string& match) {
  return !match.empty() && AsciiLower(name).find(AsciiLower(match)) != std::string::npos;
}

std::string UsbString(libusb_device_handle* h, uint8_t index) {
  if (index == 0) return {};
  unsigned char text[256] = {};
  int n = libusb_get_string_descriptor_ascii(h, index, text, sizeof text);
  return n > 0 ? std::string(reinterpret_cast<char*>(text), static_cast<size_t>(n)) : std::string();
}

// The bulk-only interface of a device and its two bulk endpoints; false when it has none.
bool FindBulkOnly(libusb_device* d, int& iface, int& out, int& in) {
  libusb_config_descriptor* config = nullptr;
  if (libusb_get_active_config_descriptor(d, &config) != 0) return false;
  bool found = false;
  for (int i = 0; i < config->bNumInterfaces && !found; ++i) {
    const libusb_interface& it = config->interface[i];
    for (int a = 0; a < it.num_altsetting && !found; ++a) {
      const libusb_interface_descriptor& alt = it.altsetting[a];
      if (alt.bInterfaceClass != kMassStorageClass || alt.bInterfaceSubClass != kScsiSubClass ||
          alt.bInterfaceProtocol != kBulkOnlyProtocol)
        continue;
      out = in = -1;
      for (int e = 0; e < alt.bNumEndpoints; ++e) {
        const libusb_endpoint_descriptor& ep = alt.endpoint[e];
        if ((ep.bmAttributes & 0x03) != LIBUSB_TRANSFER_TYPE_BULK) continue;
        (ep.bEndpointAddress & 0x80 ? in : out) = ep.bEndpointAddress;
      }
      iface = alt.bInterfaceNumber;
      found = out >= 0 && in >= 0;
    }
  }
  libusb_free_config_descriptor(config);
  return found;
}

SendResult SendToSocket(const std::string& name, const ScsiCommand& command, std::string& detail) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::string path = name;
  if (path.empty() || path.size() >= sizeof addr.sun_path) {
    detail = "bad socket name " + name;
    return SendResult::Failed;
  }
  std::memcpy(addr.sun_path, path.data(), path.size());
  if (path[0] == '@') addr.sun_path[0] = '\0';
  auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + (path[0] == '@' ? 0 : 1));
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&addr), length) != 0) {
    detail = fmt::format("cannot reach the disk: {}", std::strerror(errno));
    if (fd >= 0) ::close(fd);
    return SendResult::Failed;
  }
  auto cbw = BuildCbw(command);
  if (::send(fd, cbw.data(), cbw.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(cbw.size())) {
    detail = "the disk did not take the command";
    ::close(fd);
    return SendResult::Failed;
  }
  uint8_t csw[kCswSize];
  size_t got = 0;
  while (got < sizeof csw) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, kSocketTimeoutMs) <= 0) break;
    ssize_t n = ::read(fd, csw + got, sizeof csw - got);
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  ::close(fd);
  auto status = CswStatus(csw, got, command.tag);
  if (got == 0) return SendResult::Sent;  // it went away answering: what a switching device does
  if (!status) {
    detail = "the disk answered with no status wrapper";
    return SendResult::Failed;
  }
  detail = fmt::format("status {}", *status);
  return *status == 0 ? SendResult::Sent : SendResult::Refused;
}

SendResult SendToUsb(const std::string& endpoint, const ScsiCommand& command, std::string& detail) {
  int bus = 0, address = 0, iface = 0, out = 0, in = 0;
  if (std::sscanf(endpoint.c_str(), "usb:%d:%d:%d:%d:%d", &bus, &address, &iface, &out, &in) != 5) {
    detail = "bad endpoint " + endpoint;
    return SendResult::Failed;
  }
  libusb_context* ctx = nullptr;
  if (libusb_init(&ctx) != 0) return SendResult::Failed;
  libusb_device** list = nullptr;
  ssize_t n = libusb_get_device_list(ctx, &list);
  libusb_device_handle* h = nullptr;
  for (ssize_t i = 0; i < n && h == nullptr; ++i) {
    if (libusb_get_bus_number(list[i]) == bus && libusb_get_device_address(list[i]) == address) libusb_open(list[i], &h);
  }
  if (n >= 0) libusb_free_device_list(list, 1);
  SendResult result = SendResult::Failed;
  if (h == nullptr) {
    detail = "cannot open the disk's USB device (permissions?)";
  } else {
    libusb_set_auto_detach_kernel_driver(h, 1);
    int rc = libusb_claim_interface(h, iface);
    auto cbw = BuildCbw(command);
    int done = 0;
    if (rc == 0) rc = libusb_bulk_transfer(h, static_cast<uint8_t>(out), cbw.data(), static_cast<int>(cbw.size()), &done, kUsbTimeoutMs);
    if (rc != 0 || done != static_cast<int>(cbw.size())) {
      detail = fmt::format("the command did not go out: {}", libusb_strerror(rc));
    } else {
      uint8_t csw[kCswSize];
      int got = 0;
      rc = libusb_bulk_transfer(h, static_cast<uint8_t>(in), csw, sizeof csw, &got, kUsbTimeoutMs);
      auto status = rc == 0 ? CswStatus(csw, static_cast<size_t>(got), command.tag) : std::nullopt;
      // A device that re-enumerates at once never sends its status: the command reached it.
      result = status && *status != 0 ? SendResult::Refused : SendResult::Sent;
      detail = status ? fmt::format("status {}", *status) : std::string("no status (the device went away)");
      libusb_release_interface(h, iface);
    }
    libusb_close(h);
  }
  libusb_exit(ctx);
  return result;
}

// With one device chosen (upwend --device), the other devices' disks are not switched.
bool Chosen(DeviceSelector* selector, const std::string& path, const std::string& serial) {
  if (selector == nullptr) return true;
  UsbDeviceInfo d;
  d.path = path;
  d.serial = serial;
  return selector->Matches(d);
}

// "1-1.2": the bus and the port numbers, as sysfs names the device.
std::string UsbPortPath(libusb_device* device) {
  uint8_t ports[8];
  int n = libusb_get_port_numbers(device, ports, sizeof ports);
  std::string path = std::to_string(libusb_get_bus_number(device));
  for (int i = 0; i < n; ++i) path += (i == 0 ? "-" : ".") + std::to_string(ports[i]);
  return path;
}

}  // namespace

std::vector<Disk> FindBusDisks(const std::string& busDir, const std::string& match) {
  auto selector = SelectorFromEnvironment();
  std::vector<Disk> out;
  std::error_code ec;
  std::vector<std::filesystem::path> files;
  for (std::filesystem::directory_iterator it(busDir, ec), end; !ec && it != end; it.increment(ec))
    if (it->path().extension() == ".bus") files.push_back(it->path());
  std::sort(files.begin(), files.end());
  for (const auto& f : files) {
    std::ifstream in(f, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    std::string error;
    auto snapshot = ParseBusSnapshot(text.str(), error);
    if (!snapshot) continue;
    std::string path = snapshot->usbPath.empty() ? f.stem().string() : snapshot->usbPath;
    if (!Chosen(selector.get(), path, snapshot->serial)) continue;
    for (const auto& d : snapshot->disks)
      if (Matches(d.name, match)) out.push_back({d.name, d.endpoint});
  }
  return out;
}

std::vector<Disk> FindUsbDisks(const std::string& match) {
  auto selector = SelectorFromEnvironment();
  std::vector<Disk> out;
  libusb_context* ctx = nullptr;
  if (libusb_init(&ctx) != 0) return out;
  libusb_device** list = nullptr;
  ssize_t n = libusb_get_device_list(ctx, &list);
  for (ssize_t i = 0; i < n; ++i) {
    int iface = 0, epOut = 0, epIn = 0;
    libusb_device_descriptor desc{};
    if (libusb_get_device_descriptor(list[i], &desc) != 0 || !FindBulkOnly(list[i], iface, epOut, epIn)) continue;
    libusb_device_handle* h = nullptr;
    if (libusb_open(list[i], &h) != 0) continue;
    std::string name = UsbString(h, desc.iManufacturer) + " " + UsbString(h, desc.iProduct);
    std::string serial = UsbString(h, desc.iSerialNumber);
    libusb_close(h);
    if (Matches(name, match) && Chosen(selector.get(), UsbPortPath(list[i]), serial))
      out.push_back({name, fmt::format("usb:{}:{}:{}:{}:{}", libusb_get_bus_number(list[i]),
                                       libusb_get_device_address(list[i]), iface, epOut, epIn)});
  }
  if (n >= 0) libusb_free_device_list(list, 1);
  libusb_exit(ctx);
  return out;
}

SendResult SendCommand(const Disk& disk, const ScsiCommand& command, std::string& detail) {
  if (disk.endpoint.rfind("unix:", 0) == 0) return SendToSocket(disk.endpoint.substr(5), command, detail);
  return SendToUsb(disk.endpoint, command, detail);
}

}  // namespace upwend::helpers
