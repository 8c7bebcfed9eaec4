#include "tools/helpers/modem_reset.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>

#include "platform/clock.h"
#include "platform/device_backend.h"
#include "platform/ini_file.h"

namespace upwend::helpers {

namespace {

constexpr uint64_t kProbeMs = 1000;
constexpr uint64_t kResetReplyMs = 3000;
constexpr uint64_t kGoneWithinMs = 15000;
constexpr uint64_t kBackWithinMs = 60000;
constexpr uint64_t kPollMs = 250;
constexpr uint64_t kSettleMs = 1000;  // a port that has just appeared may not answer at once

bool IsDiagPort(DeviceBackend& devices, const std::string& portName) {
  for (const auto& c : devices.ListComPorts()) {
    if (c.portName == portName &&
        (c.friendlyName.find("Diag") != std::string::npos || c.friendlyName.find("DIAG") != std::string::npos))
      return true;
  }
  return false;
}

bool Answered(const std::string& reply) { return reply.find("\r\nOK\r\n") != std::string::npos; }

}  // namespace

std::string AtExchange(const std::string& node, const std::string& command, Clock& clock, uint64_t timeoutMs) {
  int fd = ::open(node.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return {};
  termios tio{};
  if (::tcgetattr(fd, &tio) == 0) {
    ::cfmakeraw(&tio);
    ::cfsetspeed(&tio, B115200);
    ::tcsetattr(fd, TCSANOW, &tio);
  }
  ::tcflush(fd, TCIOFLUSH);
  std::string reply;
  if (::write(fd, command.data(), command.size()) == static_cast<ssize_t>(command.size())) {
    uint64_t until = clock.NowMs() + timeoutMs;
    while (clock.NowMs() < until && !Answered(reply) && reply.find("ERROR") == std::string::npos) {
      pollfd p{fd, POLLIN, 0};
      int r = ::poll(&p, 1, RealPollMs(clock, static_cast<int64_t>(std::min<uint64_t>(kPollMs, until - clock.NowMs()))));
      if (r < 0 || (r > 0 && (p.revents & (POLLHUP | POLLERR)) && !(p.revents & POLLIN))) break;
      if (r == 0) continue;
      char buf[256];
      ssize_t n = ::read(fd, buf, sizeof buf);
      if (n <= 0) break;
      reply.append(buf, static_cast<size_t>(n));
    }
  }
  ::close(fd);
  return reply;
}

ModemPort FindModemPort(DeviceBackend& devices, Clock& clock) {
  for (const auto& entry : devices.SerialPortMap()) {
    const std::string& name = entry.portName;
    if (name == "COM1" || name == "COM2" || name.find("COM") == std::string::npos || IsDiagPort(devices, name)) continue;
    auto node = devices.DeviceNodeForPort(name);
    if (node && Answered(AtExchange(*node, "AT\r\n", clock, kProbeMs))) return {name, *node};
  }
  return {};
}

std::string ResetModem(DeviceBackend& devices, Clock& clock, std::string& detail) {
  ModemPort modem = FindModemPort(devices, clock);
  if (modem.portName.empty()) {
    detail = "no modem port answers AT";
    return kNoModemPort;
  }
  std::string reply = AtExchange(modem.node, "AT+CFUN=1,1\r\n", clock, kResetReplyMs);
  if (!Answered(reply)) {
    detail = modem.portName + " did not accept AT+CFUN=1,1";
    return kResetNotExecuted;
  }
  // The port goes away while the modem restarts, then a modem port answers again.
  uint64_t start = clock.NowMs();
  while (clock.NowMs() - start < kGoneWithinMs && devices.DeviceNodeForPort(modem.portName) == modem.node)
    clock.SleepMs(kPollMs);
  while (clock.NowMs() - start < kBackWithinMs) {
    clock.SleepMs(kPollMs);
    if (FindModemPort(devices, clock).portName.empty()) continue;
    clock.SleepMs(kSettleMs);
    detail = "the modem is back";
    return kResetDone;
  }
  detail = "the modem did not come back within 60 s";
  return kResetFailed;
}

}  // namespace upwend::helpers
