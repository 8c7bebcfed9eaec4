#include "usb_fastboot_device.h"

#include <fcntl.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <umockdev.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <filesystem>
#include <thread>

namespace upwend::testing {

namespace {

constexpr uint8_t kOut = UsbFastbootModel::kOut, kIn = UsbFastbootModel::kIn;
// Zero packets, bulk continuation, no packet size limit, scatter-gather: libusb then submits
// each transfer as one URB and may ask for zero-length packets.
constexpr uint32_t kCapabilities = 0x0F;
constexpr uint8_t kGetDescriptor = 6, kDeviceType = 1, kConfigType = 2;
constexpr size_t kSetupSize = 8;

const std::vector<uint8_t> kDeviceDescriptor = {18, 1, 0x00, 0x02, 0, 0, 0, 64, 0xD1, 0x18, 0x0D, 0xD0, 0x00, 0x01, 1, 2, 3, 1};
// One configuration: interface 0, class ff/42/03, bulk IN 0x81 and OUT 0x01 of 512 bytes.
const std::vector<uint8_t> kConfigDescriptor = {9, 2, 32, 0, 1, 1, 0, 0x80, 50,
                                                9, 4, 0, 0, 2, 0xFF, 0x42, 0x03, 0,
                                                7, 5, kIn, 2, 0x00, 0x02, 0,
                                                7, 5, kOut, 2, 0x00, 0x02, 0};

struct Urb {
  UMockdevIoctlData* urb = nullptr;
  UMockdevIoctlData* buffer = nullptr;
  usbdevfs_urb* fields() const { return reinterpret_cast<usbdevfs_urb*>(urb->data); }
};

void Release(Urb& u) {
  if (u.buffer != nullptr) g_object_unref(u.buffer);
  if (u.urb != nullptr) g_object_unref(u.urb);
  u = {};
}

}  // namespace

struct UsbFastbootDevice::State {
  std::mutex mutex;
  UsbFastbootModel model;
  std::deque<std::string>& replies = model.replies;
  bool stalled = false;
  std::deque<Urb> waitingIn;  // IN URBs without a reply yet
  std::deque<Urb> held;       // OUT URBs of a stalled device
  std::deque<Urb> done;       // ready to be reaped
  bool lastReapEmpty = false;

  void Answer() {
    while (!stalled && !waitingIn.empty() && !replies.empty()) {
      Urb u = waitingIn.front();
      waitingIn.pop_front();
      const std::string reply = replies.front();
      replies.pop_front();
      const size_t n = std::min<size_t>(reply.size(), static_cast<size_t>(u.fields()->buffer_length));
      std::memcpy(u.buffer->data, reply.data(), n);
      u.fields()->actual_length = static_cast<int>(n);
      u.fields()->status = 0;
      done.push_back(u);
    }
  }

  void Control(Urb& u) {
    usbdevfs_urb* f = u.fields();
    uint8_t* setup = u.buffer->data;
    const std::vector<uint8_t>* descriptor = nullptr;
    if (setup[1] == kGetDescriptor && setup[3] == kDeviceType) descriptor = &kDeviceDescriptor;
    if (setup[1] == kGetDescriptor && setup[3] == kConfigType) descriptor = &kConfigDescriptor;
    const size_t want = static_cast<size_t>(setup[6] | setup[7] << 8);
    if (descriptor == nullptr) {
      f->status = -EPIPE;
      f->actual_length = 0;
    } else {
      const size_t n = std::min({want, descriptor->size(), static_cast<size_t>(f->buffer_length) - kSetupSize}, std::less<size_t>());
      std::memcpy(setup + kSetupSize, descriptor->data(), n);
      f->status = 0;
      f->actual_length = static_cast<int>(n);
    }
    done.push_back(u);
  }

  void Submit(UMockdevIoctlClient* client) {
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    Urb u;
    u.urb = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr);
    usbdevfs_urb* f = u.fields();
    u.buffer = umockdev_ioctl_data_resolve(u.urb, offsetof(usbdevfs_urb, buffer), static_cast<gsize>(f->buffer_length), nullptr);
    if (f->type == USBDEVFS_URB_TYPE_CONTROL) {
      Control(u);
    } else if (f->endpoint == kOut) {
      model.Out(u.buffer->data, static_cast<size_t>(f->buffer_length), (f->flags & USBDEVFS_URB_ZERO_PACKET) != 0);
      f->actual_length = f->buffer_length;
      f->status = 0;
      (stalled ? held : done).push_back(u);
    } else {
      waitingIn.push_back(u);
    }
    Answer();
    umockdev_ioctl_client_complete(client, 0, 0);
  }

  void Reap(UMockdevIoctlClient* client) {
    if (done.empty()) {
      // libusb polls a regular file that is always readable: slow its empty reaps a little.
      if (lastReapEmpty) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      lastReapEmpty = true;
      umockdev_ioctl_client_complete(client, -1, EAGAIN);
      return;
    }
    lastReapEmpty = false;
    Urb u = done.front();
    done.pop_front();
    UMockdevIoctlData* slot = umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0, sizeof(void*), nullptr);
    umockdev_ioctl_data_set_ptr(slot, 0, u.urb);
    umockdev_ioctl_client_complete(client, 0, 0);
    g_object_unref(slot);
    Release(u);
  }

  void Discard(UMockdevIoctlClient* client) {
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    unsigned long address = 0;
    std::memcpy(&address, arg->data, std::min<size_t>(sizeof address, static_cast<size_t>(arg->data_len)));
    for (auto* queue : {&waitingIn, &held}) {
      for (auto it = queue->begin(); it != queue->end(); ++it) {
        if (it->urb->client_addr != address) continue;
        it->fields()->status = -ENOENT;
        it->fields()->actual_length = 0;
        done.push_back(*it);
        queue->erase(it);
        umockdev_ioctl_client_complete(client, 0, 0);
        return;
      }
    }
    umockdev_ioctl_client_complete(client, -1, EINVAL);
  }
};

namespace {

gboolean OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data) {
  auto* state = static_cast<UsbFastbootDevice::State*>(data);
  std::lock_guard lock(state->mutex);
  switch (umockdev_ioctl_client_get_request(client)) {
    case USBDEVFS_GET_CAPABILITIES: {
      UMockdevIoctlData* caps = umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0, sizeof(uint32_t), nullptr);
      std::memcpy(caps->data, &kCapabilities, sizeof kCapabilities);
      umockdev_ioctl_client_complete(client, 0, 0);
      g_object_unref(caps);
      return TRUE;
    }
    case USBDEVFS_SUBMITURB: state->Submit(client); return TRUE;
    case USBDEVFS_REAPURBNDELAY: state->Reap(client); return TRUE;
    case USBDEVFS_DISCARDURB: state->Discard(client); return TRUE;
    case USBDEVFS_GETDRIVER:  // no kernel driver holds the interface
    case USBDEVFS_IOCTL: umockdev_ioctl_client_complete(client, -1, ENODATA); return TRUE;
    case USBDEVFS_DISCONNECT_CLAIM: umockdev_ioctl_client_complete(client, 0, 0); return TRUE;
    default: return FALSE;  // claim, release, clear-halt, reset: umockdev lets them succeed
  }
}

}  // namespace

std::unique_ptr<UsbFastbootDevice> UsbFastbootDevice::Create(std::string& reason) {
  // The testbed first: the environment check caches its answer at its first call.
  UMockdevTestbed* tb = umockdev_testbed_new();
  if (!umockdev_in_mock_environment()) {
    g_object_unref(tb);
    reason = "not running under umockdev-wrapper (umockdev's preload library is needed to emulate the device)";
    return nullptr;
  }
  gchar* sysfs = umockdev_testbed_add_device(
      tb, "usb", "usb1/1-1", nullptr, "idVendor", "18d1\n", "idProduct", "d00d\n", "busnum", "1\n", "devnum", "2\n", "speed",
      "480\n", "bConfigurationValue", "1\n", "bNumConfigurations", "1\n", nullptr, "DEVNAME", "/dev/bus/usb/001/002", "DEVTYPE",
      "usb_device", "BUSNUM", "001", "DEVNUM", "002", nullptr);
  std::vector<uint8_t> descriptors = kDeviceDescriptor;
  descriptors.insert(descriptors.end(), kConfigDescriptor.begin(), kConfigDescriptor.end());
  umockdev_testbed_set_attribute_binary(tb, sysfs, "descriptors", descriptors.data(), static_cast<gint>(descriptors.size()));
  g_free(umockdev_testbed_add_device(tb, "usb", "1-1:1.0", sysfs, "bInterfaceNumber", "00", "bInterfaceClass", "ff",
                                     "bInterfaceSubClass", "42", "bInterfaceProtocol", "03", nullptr, "DEVTYPE",
                                     "usb_interface", nullptr));
  g_free(sysfs);
  gchar* root = umockdev_testbed_get_root_dir(tb);
  std::filesystem::create_directories(std::string(root) + "/dev/bus/usb/001");
  const int fd = ::open((std::string(root) + "/dev/bus/usb/001/002").c_str(), O_CREAT | O_WRONLY, 0666);
  if (fd >= 0) ::close(fd);
  g_free(root);

  std::unique_ptr<UsbFastbootDevice> device(new UsbFastbootDevice);
  device->state_ = std::make_shared<State>();
  UMockdevIoctlBase* handler = umockdev_ioctl_base_new();
  g_signal_connect(handler, "handle-ioctl", G_CALLBACK(OnIoctl), device->state_.get());
  GError* error = nullptr;
  if (!umockdev_testbed_attach_ioctl(tb, "/dev/bus/usb/001/002", handler, &error)) {
    reason = std::string("umockdev could not attach the device handler: ") + (error ? error->message : "?");
    if (error) g_error_free(error);
    g_object_unref(handler);
    g_object_unref(tb);
    return nullptr;
  }
  device->testbed_ = tb;
  device->handler_ = handler;
  return device;
}

UsbFastbootDevice::~UsbFastbootDevice() {
  if (testbed_ != nullptr) {
    umockdev_testbed_detach_ioctl(static_cast<UMockdevTestbed*>(testbed_), "/dev/bus/usb/001/002", nullptr);
    g_object_unref(testbed_);
  }
  if (handler_ != nullptr) g_object_unref(handler_);
}

UsbFastbootDevice::Counts UsbFastbootDevice::counts() {
  std::lock_guard lock(state_->mutex);
  return state_->model.counts;
}

void UsbFastbootDevice::SetStalled(bool stalled) {
  std::lock_guard lock(state_->mutex);
  state_->stalled = stalled;
  if (stalled) return;
  for (auto& u : state_->held) state_->done.push_back(u);
  state_->held.clear();
  state_->Answer();
}

}  // namespace upwend::testing
