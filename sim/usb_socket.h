#pragma once
// A USB endpoint of the simulated device that is not a serial port (the disk's bulk-only
// transport, the boot ROM's pipe): a listening Unix socket in the abstract namespace, served
// one connection at a time on a thread of its own.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "sim/service_thread.h"

namespace upwend::sim {

class UsbSocket {
public:
  // Called with each accepted connection; the socket is closed when it returns.
  using Handler = std::function<void(int fd, const std::atomic<bool>& stop)>;

  UsbSocket() = default;
  ~UsbSocket() { Close(); }
  UsbSocket(const UsbSocket&) = delete;
  UsbSocket& operator=(const UsbSocket&) = delete;

  // Listens on the abstract name `name` (without the leading NUL).
  bool Open(const std::string& name, std::string& error);
  void Start(Handler handler);
  void Close();
  // "unix:@NAME", the form device paths carry.
  std::string Endpoint() const { return "unix:@" + name_; }

  // Reads exactly `size` bytes; false when the peer closed first or `stop` was raised.
  static bool ReadFull(int fd, uint8_t* data, size_t size, const std::atomic<bool>& stop);
  static bool WriteFull(int fd, const uint8_t* data, size_t size);
  // Waits until the peer closes its end (or `stop`), reading nothing.
  static void WaitForHangUp(int fd, const std::atomic<bool>& stop);

private:
  std::string name_;
  int listenFd_ = -1;
  ServiceThread service_;  // last: it stops before the rest goes
};

}  // namespace upwend::sim
