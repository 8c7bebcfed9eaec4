// The device backend for real hardware on Windows: SetupAPI lists of the COM-port class (friendly
// name, description, first hardware ID, the "PortName" value of the device's key), of the ADB
// and USB boot interface classes, and the serial port map under HKLM\HARDWARE\DEVICEMAP\SERIALCOMM.
// Device changes come as WM_DEVICECHANGE to a message-only window on the watch thread; each one,
// and a rescan once a second, is compared with the previous lists and the difference reported.
#include <windows.h>
#include <dbt.h>
#include <devguid.h>
#include <initguid.h>
#include <setupapi.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "platform/clock.h"
#include "platform/device_backend.h"
#include "platform/port_names.h"
#include "platform/win32/device_backends.h"

namespace upwend {

namespace {

// {f72fe0d4-cbcb-407d-8814-9ed673d0dd6b}: the ADB device-interface class.
DEFINE_GUID(kAdbInterfaceGuid, 0xf72fe0d4, 0xcbcb, 0x407d, 0x88, 0x14, 0x9e, 0xd6, 0x73, 0xd0, 0xdd, 0x6b);
// {00873fdf-61a8-11d1-aa5e-00c04fb1728b}: the USB boot device-interface class.
DEFINE_GUID(kUsbBootInterfaceGuid, 0x00873fdf, 0x61a8, 0x11d1, 0xaa, 0x5e, 0x00, 0xc0, 0x4f, 0xb1, 0x72, 0x8b);

constexpr UINT kRescanTimerMs = 1000;

std::string DeviceProperty(HDEVINFO set, SP_DEVINFO_DATA& info, DWORD property) {
  char buf[1024] = {};
  DWORD type = 0;
  if (!::SetupDiGetDeviceRegistryPropertyA(set, &info, property, &type, reinterpret_cast<BYTE*>(buf), sizeof buf - 2,
                                           nullptr))
    return {};
  return buf;  // a multi-string gives its first entry
}

std::string PortNameOf(HDEVINFO set, SP_DEVINFO_DATA& info) {
  HKEY key = ::SetupDiOpenDevRegKey(set, &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
  if (key == INVALID_HANDLE_VALUE) return {};
  char buf[64] = {};
  DWORD size = sizeof buf - 1;
  DWORD type = 0;
  std::string out;
  if (::RegQueryValueExA(key, "PortName", nullptr, &type, reinterpret_cast<BYTE*>(buf), &size) == ERROR_SUCCESS &&
      type == REG_SZ)
    out = buf;
  ::RegCloseKey(key);
  return out;
}

std::vector<std::string> InterfacePaths(const GUID& guid) {
  std::vector<std::string> out;
  HDEVINFO set = ::SetupDiGetClassDevsA(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE) return out;
  SP_DEVICE_INTERFACE_DATA data{};
  data.cbSize = sizeof data;
  for (DWORD i = 0; ::SetupDiEnumDeviceInterfaces(set, nullptr, &guid, i, &data); ++i) {
    DWORD size = 0;
    ::SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &size, nullptr);
    if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) continue;
    std::vector<char> buf(size);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buf.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (::SetupDiGetDeviceInterfaceDetailA(set, &data, detail, size, nullptr, nullptr)) out.emplace_back(detail->DevicePath);
  }
  ::SetupDiDestroyDeviceInfoList(set);
  return out;
}

struct Lists {
  std::vector<ComPortInfo> comPorts;
  std::vector<std::string> adb;
  std::vector<std::string> boot;
};

Lists ScanLists() {
  Lists lists;
  lists.comPorts = ListSetupApiComPorts();
  lists.adb = InterfacePaths(kAdbInterfaceGuid);
  lists.boot = InterfacePaths(kUsbBootInterfaceGuid);
  return lists;
}

// Removals before arrivals; ports before interfaces on removal, after them on arrival.
std::vector<DeviceEvent> Diff(const Lists& before, const Lists& after) {
  std::vector<DeviceEvent> events;
  auto has = [](const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
  };
  auto portNames = [](const Lists& l) {
    std::vector<std::string> names;
    for (const auto& p : l.comPorts) names.push_back(p.portName);
    return names;
  };
  const auto portsBefore = portNames(before), portsAfter = portNames(after);
  for (const auto& p : portsBefore)
    if (!has(portsAfter, p)) events.push_back({DeviceEventKind::RemoveComplete, DeviceType::Port, p});
  using PathList = std::vector<std::string> Lists::*;
  for (PathList kind : {&Lists::adb, &Lists::boot}) {
    for (const auto& d : before.*kind)
      if (!has(after.*kind, d)) events.push_back({DeviceEventKind::RemoveComplete, DeviceType::Interface, d});
  }
  for (PathList kind : {&Lists::adb, &Lists::boot}) {
    for (const auto& d : after.*kind)
      if (!has(before.*kind, d)) events.push_back({DeviceEventKind::Arrival, DeviceType::Interface, d});
  }
  for (const auto& p : portsAfter)
    if (!has(portsBefore, p)) events.push_back({DeviceEventKind::Arrival, DeviceType::Port, p});
  return events;
}

class SetupApiBackend final : public DeviceBackend {
public:
  ~SetupApiBackend() override { Unwatch(); }

  std::vector<ComPortInfo> ListComPorts() override { return ListSetupApiComPorts(); }
  std::vector<SerialMapEntry> SerialPortMap() override { return ReadSerialPortMap(); }
  std::vector<AdbInterfaceInfo> ListAdbInterfaces() override {
    std::vector<AdbInterfaceInfo> out;
    for (auto& p : InterfacePaths(kAdbInterfaceGuid)) out.push_back({std::move(p)});
    return out;
  }
  std::vector<UsbBootInfo> ListUsbBootDevices() override {
    std::vector<UsbBootInfo> out;
    for (auto& p : InterfacePaths(kUsbBootInterfaceGuid)) out.push_back({std::move(p)});
    return out;
  }

  // The port is opened by its own name; the "node" is that name in device form.
  std::optional<std::string> DeviceNodeForPort(const std::string& portName) override {
    std::string wanted = StripPortPrefix(portName);
    if (wanted.empty()) wanted = portName;
    for (const auto& c : ListComPorts())
      if (EqualsPortName(c.portName, wanted)) return c.deviceNode;
    for (const auto& m : SerialPortMap())
      if (EqualsPortName(m.portName, wanted)) return "\\\\.\\" + m.portName;
    return std::nullopt;
  }

  void Watch(std::function<void(const DeviceEvent&)> onEvent) override {
    if (thread_.joinable() && thread_.get_id() == std::this_thread::get_id()) return;
    Unwatch();
    stop_ = false;
    ready_ = false;
    thread_ = std::thread(&SetupApiBackend::Run, this, std::move(onEvent), ScanLists());
    // The window exists before Watch returns, so a change right after it is heard.
    while (!ready_) std::this_thread::yield();
  }

  void Unwatch() override {
    if (!thread_.joinable()) return;
    stop_ = true;
    ::PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
    if (thread_.get_id() == std::this_thread::get_id()) return;
    thread_.join();
  }

private:
  static bool EqualsPortName(const std::string& a, const std::string& b) {
    auto na = ParsePortName(a), nb = ParsePortName(b);
    return na && nb && *na == *nb;
  }

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_DEVICECHANGE) {
      auto* self = reinterpret_cast<SetupApiBackend*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
      if (self && (wp == DBT_DEVICEARRIVAL || wp == DBT_DEVICEREMOVECOMPLETE)) self->changed_ = true;
      return TRUE;
    }
    return ::DefWindowProcA(hwnd, msg, wp, lp);
  }

  void Run(std::function<void(const DeviceEvent&)> onEvent, Lists last) {
    threadId_ = ::GetCurrentThreadId();
    WNDCLASSA wc{};
    wc.lpfnWndProc = &SetupApiBackend::WindowProc;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = "upwend-device-watch";
    ::RegisterClassA(&wc);  // fails harmlessly when registered by an earlier watch
    HWND hwnd = ::CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    HDEVNOTIFY notify = nullptr;
    if (hwnd != nullptr) {
      ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
      DEV_BROADCAST_DEVICEINTERFACE_A filter{};
      filter.dbcc_size = sizeof filter;
      filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
      notify = ::RegisterDeviceNotificationA(hwnd, &filter,
                                             DEVICE_NOTIFY_WINDOW_HANDLE | DEVICE_NOTIFY_ALL_INTERFACE_CLASSES);
      ::SetTimer(hwnd, 1, kRescanTimerMs, nullptr);
    }
    MSG msg;
    ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue exists from here on
    ready_ = true;
    while (!stop_ && ::GetMessageA(&msg, nullptr, 0, 0) > 0) {
      ::DispatchMessageA(&msg);
      if (msg.message != WM_TIMER && !changed_.exchange(false)) continue;
      Lists now = ScanLists();
      for (const auto& event : Diff(last, now)) {
        if (stop_) break;
        onEvent(event);
      }
      last = std::move(now);
    }
    if (notify) ::UnregisterDeviceNotification(notify);
    if (hwnd) ::DestroyWindow(hwnd);
  }

  std::thread thread_;
  std::atomic<DWORD> threadId_{0};
  std::atomic<bool> stop_{false};
  std::atomic<bool> ready_{false};
  std::atomic<bool> changed_{false};
};

}  // namespace

std::vector<ComPortInfo> ListSetupApiComPorts() {
  std::vector<ComPortInfo> out;
  HDEVINFO set = ::SetupDiGetClassDevsA(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
  if (set == INVALID_HANDLE_VALUE) return out;
  SP_DEVINFO_DATA info{};
  info.cbSize = sizeof info;
  for (DWORD i = 0; ::SetupDiEnumDeviceInfo(set, i, &info); ++i) {
    ComPortInfo port;
    port.portName = PortNameOf(set, info);
    if (!ParsePortName(port.portName)) continue;  // printer ports (LPT) share the class
    port.friendlyName = DeviceProperty(set, info, SPDRP_FRIENDLYNAME);
    port.description = DeviceProperty(set, info, SPDRP_DEVICEDESC);
    port.hardwareId = DeviceProperty(set, info, SPDRP_HARDWAREID);
    port.deviceNode = "\\\\.\\" + port.portName;
    out.push_back(std::move(port));
  }
  ::SetupDiDestroyDeviceInfoList(set);
  std::sort(out.begin(), out.end(),
            [](const ComPortInfo& a, const ComPortInfo& b) { return ParsePortName(a.portName) < ParsePortName(b.portName); });
  return out;
}

std::vector<SerialMapEntry> ReadSerialPortMap() {
  std::vector<SerialMapEntry> out;
  HKEY key = nullptr;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS)
    return out;
  for (DWORD i = 0;; ++i) {
    char name[256] = {};
    BYTE data[256] = {};
    DWORD nameSize = sizeof name, dataSize = sizeof data - 1, type = 0;
    LONG rc = ::RegEnumValueA(key, i, name, &nameSize, nullptr, &type, data, &dataSize);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS || type != REG_SZ) continue;
    out.push_back({name, reinterpret_cast<const char*>(data)});
  }
  ::RegCloseKey(key);
  return out;
}

std::unique_ptr<DeviceBackend> CreateSetupApiBackend() { return std::make_unique<SetupApiBackend>(); }

}  // namespace upwend
