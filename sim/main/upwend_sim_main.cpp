// upwend-sim: runs a simulated modem until SIGTERM or SIGINT, or dumps a state folder.
#include <csignal>
#include <cstdio>
#include <cctype>
#include <cstdlib>
#include <vector>
#include <iostream>
#include <string>

#include <fmt/format.h>

#include "platform/clock.h"
#include "sim/dump.h"
#include "sim/sim_device.h"

namespace {

constexpr const char* kUsage =
    "usage: upwend-sim --bus DIR --state DIR [options]\n"
    "       upwend-sim --state DIR --dump\n"
    "options:\n"
    "  --time-scale F          scale every wait and delay (0.01: a hundred times faster)\n"
    "  --mode normal|fastboot|disk|boot  mode at start (normal); disk: mass storage until the\n"
    "                          switch command; boot: the USB boot device that takes xload.bin\n"
    "  --disk-switch HEX       the SCSI command (CDB) that switches the disk (110620000000)\n"
    "  --disk-name TEXT        the disk's vendor and model (Simulated Mass Storage)\n"
    "  --after-boot fastboot|normal  where the boot device goes once it has its image (fastboot)\n"
    "  --fault FAULT           inject a fault (repeatable; see docs/simulator.md)\n"
    "  --faults FILE           faults, one per line\n"
    "  --id NAME               device name on the bus (sim): the bus file is DIR/NAME.bus\n"
    "  --com-diag N --com-at N --com-app N   COM numbers (5, 6, none)\n"
    "  --no-composite-adb      no ADB interface in normal mode\n"
    "  --usb-id TEXT           hardware ID stem (USB\\VID_05C6&PID_9025&REV_0000); \"&MI_nn\" follows\n"
    "  --bootloader-delay MS   reboot to fastboot endpoint (3000)\n"
    "  --normal-delay MS       reset or fastboot reboot to serial ports (5000)\n"
    "  --fastboot-port N       loopback port of the fastboot endpoint (any free one)\n"
    "  --max-download BYTES    largest download accepted (0x20000000)\n"
    "  --seed N                identity and calibration of a new state folder (1)\n";

bool ParseUnsigned(const std::string& text, uint64_t& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  unsigned long long v = std::strtoull(text.c_str(), &end, 0);
  if (errno != 0 || *end != '\0' || text[0] == '-') return false;
  value = v;
  return true;
}

bool ParseCdb(const std::string& hex, std::vector<uint8_t>& out) {
  if (hex.empty() || hex.size() % 2 != 0 || hex.size() > 32) return false;
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < hex.size(); i += 2) {
    uint64_t v = 0;
    std::string pair = "0x" + hex.substr(i, 2);
    if (!std::isxdigit(static_cast<unsigned char>(hex[i])) || !std::isxdigit(static_cast<unsigned char>(hex[i + 1])) ||
        !ParseUnsigned(pair, v))
      return false;
    bytes.push_back(static_cast<uint8_t>(v));
  }
  out = std::move(bytes);
  return true;
}

int Fail(const std::string& message) {
  std::cerr << "upwend-sim: " << message << "\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace upwend;
  sim::SimOptions options;
  bool dump = false;
  double timeScale = 0;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    auto number = [&](uint64_t& out, uint64_t max) {
      std::string t;
      return value(t) && ParseUnsigned(t, out) && out <= max;
    };
    uint64_t n = 0;
    std::string text, error;
    if (a == "--help" || a == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (a == "--bus") {
      if (!value(options.busDir)) return Fail("--bus needs a folder");
    } else if (a == "--state") {
      if (!value(options.stateDir)) return Fail("--state needs a folder");
    } else if (a == "--dump") {
      dump = true;
    } else if (a == "--time-scale") {
      if (!value(text)) return Fail("--time-scale needs a number");
      char* end = nullptr;
      timeScale = std::strtod(text.c_str(), &end);
      if (*end != '\0' || !(timeScale > 0)) return Fail("--time-scale needs a positive number");
    } else if (a == "--mode") {
      if (!value(text) || (text != "normal" && text != "fastboot" && text != "disk" && text != "boot"))
        return Fail("--mode is normal, fastboot, disk or boot");
      options.startInFastboot = text == "fastboot";
      options.startInDisk = text == "disk";
      options.startInBoot = text == "boot";
    } else if (a == "--disk-switch") {
      if (!value(text) || !ParseCdb(text, options.diskSwitchCdb)) return Fail("--disk-switch needs 1 to 16 bytes in hex");
    } else if (a == "--disk-name") {
      if (!value(options.diskName) || options.diskName.empty()) return Fail("--disk-name needs a text");
    } else if (a == "--after-boot") {
      if (!value(text) || (text != "normal" && text != "fastboot")) return Fail("--after-boot is normal or fastboot");
      options.afterBootNormal = text == "normal";
    } else if (a == "--fault") {
      if (!value(text) || !options.faults.Add(text, error)) return Fail(error.empty() ? "--fault needs a value" : error);
    } else if (a == "--faults") {
      if (!value(text) || !options.faults.LoadFile(text, error)) return Fail(error.empty() ? "--faults needs a file" : error);
    } else if (a == "--id") {
      if (!value(options.deviceId) || options.deviceId.empty() || options.deviceId.find('/') != std::string::npos) {
        return Fail("--id needs a plain name");
      }
    } else if (a == "--com-diag" || a == "--com-at" || a == "--com-app") {
      if (!number(n, 255)) return Fail(a + " needs a port number up to 255");
      (a == "--com-diag" ? options.comDiag : a == "--com-at" ? options.comAt : options.comApp) = static_cast<int>(n);
    } else if (a == "--usb-id") {
      if (!value(options.usbId) || options.usbId.empty()) return Fail("--usb-id needs a hardware ID stem");
    } else if (a == "--no-composite-adb") {
      options.compositeAdb = false;
    } else if (a == "--bootloader-delay") {
      if (!number(options.bootloaderDelayMs, 3600000)) return Fail("--bootloader-delay needs milliseconds");
    } else if (a == "--normal-delay") {
      if (!number(options.normalDelayMs, 3600000)) return Fail("--normal-delay needs milliseconds");
    } else if (a == "--fastboot-port") {
      if (!number(n, 65535)) return Fail("--fastboot-port needs a port number");
      options.fastbootPort = static_cast<uint16_t>(n);
    } else if (a == "--max-download") {
      if (!number(options.maxDownload, 0xFFFFFFFFull)) return Fail("--max-download needs a byte count");
    } else if (a == "--seed") {
      if (!number(n, 0xFFFFFFFFull)) return Fail("--seed needs a number");
      options.seed = static_cast<uint32_t>(n);
    } else {
      return Fail(fmt::format("unknown argument {}\n{}", a, kUsage));
    }
  }
  if (options.stateDir.empty()) return Fail(std::string("--state is required\n") + kUsage);
  if (dump) {
    std::string json, error;
    if (!sim::DumpState(options.stateDir, json, error)) return Fail(error);
    std::cout << json;
    return 0;
  }
  if (options.busDir.empty()) return Fail(std::string("--bus is required\n") + kUsage);
  if (options.comDiag == options.comAt || (options.comApp > 0 && (options.comApp == options.comDiag || options.comApp == options.comAt))) {
    return Fail("the ports need different COM numbers");
  }
  if (timeScale > 0) SetSystemTimeScale(timeScale);

  // Termination signals are taken by this thread alone, through sigwait; the device's threads
  // inherit the blocked mask.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  auto announce = [](const std::string& line) {
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
  };
  sim::SimDevice device(options, SystemClock(), announce);
  std::string error;
  if (!device.Start(error)) {
    device.Stop();
    return Fail(error);
  }
  int sig = 0;
  sigwait(&signals, &sig);
  device.Stop();
  return 0;
}
