// A real USB interface through WinUSB: find its device interface, open it, find the bulk pipes
// of its alternate settings; the transfers themselves are usb_bulk_transport.h's.
#include "tools/adbwinapi/winusb_transport.h"

#include <fmt/format.h>

#include <cerrno>

#include "tools/adbwinapi/usb_bulk_transport.h"
#include "tools/adbwinapi/usb_descriptors.h"
#include "tools/adbwinapi/winusb_bulk_io.h"

namespace upwend::adb {

namespace {

constexpr uint16_t kPacketSizeMask = 0x07FF;

std::string Interface(const UsbPath& path) {
  std::string text = fmt::format("{:04x}:{:04x}", path.vendorId, path.productId);
  if (path.composite) text += fmt::format(" interface {}", path.interfaceNumber);
  return text;
}

// The device-interface path to open: the one given, or the one ADB-class interface present
// with the IDs (and interface, on a composite device) of a "usb:" path. Bus and address have
// no counterpart in Windows' paths.
Expected<std::string, OsError> InterfacePath(const WinUsbFunctions& api, const UsbPath& path) {
  if (!path.systemPath.empty()) return path.systemPath;
  std::vector<std::string> matches;
  for (const std::string& listed : api.listAdbInterfaces()) {
    auto parsed = ParseDevicePath(listed);
    const UsbPath* usb = parsed ? std::get_if<UsbPath>(&*parsed) : nullptr;
    if (usb == nullptr || usb->systemPath.empty()) continue;
    if (usb->vendorId != path.vendorId || usb->productId != path.productId || usb->composite != path.composite) continue;
    if (usb->composite && usb->interfaceNumber != path.interfaceNumber) continue;
    matches.push_back(listed);
  }
  if (matches.empty()) return Unexpected(OsError{ENODEV, fmt::format("no ADB interface of {} is present", Interface(path))});
  if (matches.size() > 1) {
    return Unexpected(OsError{EINVAL, fmt::format("{} ADB interfaces of {} are present; name one by its device-interface path",
                                                  matches.size(), Interface(path))});
  }
  return matches.front();
}

// Every alternate setting of the interface with its pipes, as the descriptors give them.
Expected<UsbConfiguration, OsError> InterfaceSettings(const WinUsbFunctions& api, WINUSB_INTERFACE_HANDLE usb) {
  UsbConfiguration config;
  for (unsigned alt = 0; alt <= 0xFF; ++alt) {
    USB_INTERFACE_DESCRIPTOR d{};
    if (!api.queryInterfaceSettings(usb, static_cast<UCHAR>(alt), &d)) {
      // Past the last setting the query fails (ERROR_NO_MORE_ITEMS); setting 0 always exists.
      if (alt == 0) return Unexpected(WinUsbError(::GetLastError(), "query the interface settings"));
      break;
    }
    UsbAltSetting setting;
    setting.descriptor = {d.bLength,       d.bDescriptorType,   d.bInterfaceNumber,   d.bAlternateSetting, d.bNumEndpoints,
                          d.bInterfaceClass, d.bInterfaceSubClass, d.bInterfaceProtocol, d.iInterface};
    for (UCHAR index = 0; index < d.bNumEndpoints; ++index) {
      WINUSB_PIPE_INFORMATION pipe{};
      if (!api.queryPipe(usb, static_cast<UCHAR>(alt), index, &pipe)) {
        return Unexpected(WinUsbError(::GetLastError(), fmt::format("query pipe {} of setting {}", index, alt)));
      }
      setting.endpoints.push_back({pipe.PipeId, static_cast<uint8_t>(pipe.PipeType),
                                   static_cast<uint16_t>(pipe.MaximumPacketSize & kPacketSizeMask), pipe.Interval});
    }
    config.altSettings.push_back(std::move(setting));
  }
  return config;
}

Expected<BulkInterface, OsError> BulkPipes(const WinUsbFunctions& api, WINUSB_INTERFACE_HANDLE usb, const UsbPath& path) {
  auto config = InterfaceSettings(api, usb);
  if (!config) return Unexpected(config.error());
  const uint8_t number = config->altSettings.front().descriptor.bInterfaceNumber;
  // A "usb:" path, or a composite device's "mi_NN", names the interface it expects.
  if ((path.systemPath.empty() || path.composite) && number != path.interfaceNumber) {
    return Unexpected(OsError{ENODEV, fmt::format("the device interface is interface {}, not {}", number, path.interfaceNumber)});
  }
  auto pipes = SelectBulkInterface(*config, number);
  if (!pipes) return Unexpected(OsError{ENODEV, pipes.error()});
  if (pipes->descriptor.bAlternateSetting != 0 && !api.setAlternateSetting(usb, pipes->descriptor.bAlternateSetting)) {
    return Unexpected(WinUsbError(::GetLastError(), "select the alternate setting"));
  }
  return *pipes;
}

}  // namespace

Expected<std::shared_ptr<Transport>, OsError> OpenWinUsbTransport(const UsbPath& path, const WinUsbFunctions& api) {
  auto target = InterfacePath(api, path);
  if (!target) return Unexpected(target.error());
  HANDLE file = api.createFile(target->c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Unexpected(WinUsbError(::GetLastError(), "open the device interface"));
  WINUSB_INTERFACE_HANDLE usb = nullptr;
  if (!api.initialize(file, &usb)) {
    OsError error = WinUsbError(::GetLastError(), "WinUSB cannot take the interface (is WinUSB its driver?)");
    api.closeHandle(file);
    return Unexpected(std::move(error));
  }
  auto release = [&api, file, usb] {
    api.free(usb);
    api.closeHandle(file);
  };
  auto pipes = BulkPipes(api, usb, path);
  if (!pipes) {
    release();
    return Unexpected(pipes.error());
  }
  return MakeUsbBulkTransport(std::make_unique<WinUsbBulkIo>(api, file, usb, *pipes), *pipes, release);
}

Expected<std::shared_ptr<Transport>, OsError> OpenSystemUsbTransport(const UsbPath& path) {
  return OpenWinUsbTransport(path, SystemWinUsb());
}

}  // namespace upwend::adb
