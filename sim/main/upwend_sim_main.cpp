// upwend-sim: runs a simulated modem until SIGTERM or SIGINT, or dumps a state folder.
#include <csignal>
#include <unistd.h>
#include <cstdio>
#include <cctype>
#include <cstdlib>
#include <vector>
#include <iostream>
#include <string>

#include <fmt/format.h>

#include "platform/cli_parse.h"
#include "platform/clock.h"
#include "sim/dump.h"
#include "sim/sim_device.h"

namespace {

bool ParseCdb(const std::string& hex, std::vector<uint8_t>& out) {
  if (hex.empty() || hex.size() % 2 != 0 || hex.size() > 32) return false;
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < hex.size(); i += 2) {
    if (!std::isxdigit(static_cast<unsigned char>(hex[i])) || !std::isxdigit(static_cast<unsigned char>(hex[i + 1])))
      return false;
    bytes.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  }
  out = std::move(bytes);
  return true;
}

int Fail(const std::string& message) {
  std::cerr << "upwend-sim: " << message << "\n";
  return 2;
}

// The options; checks that need more than one value follow the parse.
void AddOptions(CLI::App& app, upwend::sim::SimOptions& o, bool& dump, double& timeScale,
                std::vector<std::string>& faults, std::vector<std::string>& faultFiles, std::string& mode, bool& noAdb,
                std::string& diskSwitch, std::string& afterBoot) {
  app.set_version_flag("--version", upwend::ProgramVersion("upwend-sim"));
  app.footer(
      "Prints one line on stdout for each port or endpoint it publishes or removes, e.g.\n"
      "  published DIAG COM5 /dev/pts/3\n"
      "Runs until SIGTERM or SIGINT. See docs/simulator.md for the faults.\n"
      "Exit codes: 0 normal end, 2 a bad command line or the device could not start.");
  app.add_option("--bus", o.busDir, "the device bus folder the tool reads (upwend --devices sim:DIR)")->type_name("DIR");
  app.add_option("--state", o.stateDir, "the device's state folder (partitions, NV items, EFS, identity)")
      ->type_name("DIR")
      ->required();
  app.add_flag("--dump", dump, "print the state folder as JSON and end");
  app.add_option("--time-scale", timeScale, "scale every wait and delay (0.01: a hundred times faster)")
      ->type_name("F")
      ->check(upwend::CheckPositiveNumber);
  app.add_option("--mode", mode,
                 "mode at start (normal); disk: mass storage until the switch command; boot: the USB boot "
                 "device that takes xload.bin")
      ->check(CLI::IsMember({"normal", "fastboot", "disk", "boot"}));
  app.add_option("--disk-switch", diskSwitch, "the SCSI command (CDB, hex) that switches the disk (110620000000)")
      ->type_name("HEX")
      ->check([](const std::string& v) {
        std::vector<uint8_t> cdb;
        return ParseCdb(v, cdb) ? "" : "1 to 16 bytes in hex";
      });
  app.add_option("--disk-name", o.diskName, "the disk's vendor and model (Simulated Mass Storage)")->type_name("TEXT");
  app.add_option("--after-boot", afterBoot, "where the boot device goes once it has its image (fastboot)")
      ->check(CLI::IsMember({"normal", "fastboot"}));
  app.add_option("--fault", faults, "inject a fault (repeatable)")->type_name("FAULT");
  app.add_option("--faults", faultFiles, "faults, one per line")->type_name("FILE");
  app.add_option("--id", o.deviceId, "device name on the bus: the bus file is DIR/NAME.bus (sim)")
      ->type_name("NAME")
      ->check([](const std::string& v) { return v.empty() || v.find('/') != std::string::npos ? "a plain name" : ""; });
  auto plainText = [](const std::string& v) {
    for (unsigned char c : v)
      if (c <= 0x20 || c == 0x7F) return "no blanks or control characters";
    return "";
  };
  app.add_option("--usb-path", o.usbPath, "where the device sits on the USB, as upwend --device names it (its --id)")
      ->type_name("PATH")
      ->check(plainText);
  app.add_option("--serial", o.serial, "the device's USB serial number, as upwend --device names it (none)")
      ->type_name("TEXT")
      ->check(plainText);
  app.add_option("--com-diag", o.comDiag, "COM number of the DIAG port (5)")->check(CLI::Range(1, 255));
  app.add_option("--com-at", o.comAt, "COM number of the AT port (6)")->check(CLI::Range(1, 255));
  app.add_option("--com-app", o.comApp, "COM number of the application port (none)")->check(CLI::Range(1, 255));
  app.add_flag("--no-composite-adb", noAdb, "no ADB interface in normal mode");
  app.add_option("--usb-id", o.usbId, "hardware ID stem (USB\\VID_05C6&PID_9025&REV_0000); \"&MI_nn\" follows")
      ->type_name("TEXT")
      ->check([](const std::string& v) { return v.empty() ? "a hardware ID stem" : ""; });
  app.add_option("--bootloader-delay", o.bootloaderDelayMs, "reboot to fastboot endpoint (3000)")
      ->type_name("MS")
      ->check(CLI::Range(uint64_t{0}, uint64_t{3600000}));
  app.add_option("--normal-delay", o.normalDelayMs, "reset or fastboot reboot to serial ports (5000)")
      ->type_name("MS")
      ->check(CLI::Range(uint64_t{0}, uint64_t{3600000}));
  app.add_option("--fastboot-port", o.fastbootPort, "loopback port of the fastboot endpoint (any free one)");
  app.add_option("--max-download", o.maxDownload, "largest download accepted (0x20000000)")
      ->type_name("BYTES")
      ->check(CLI::Range(uint64_t{0}, uint64_t{0xFFFFFFFF}));
  app.add_option("--seed", o.seed, "identity and calibration of a new state folder (1)");
}

}  // namespace

int main(int argc, char** argv) {
  using namespace upwend;
  sim::SimOptions options;
  bool dump = false;
  bool noAdb = false;
  double timeScale = 0;
  std::vector<std::string> faults, faultFiles;
  std::string mode, diskSwitch, afterBoot;
  CLI::App app("upwend-sim: a simulated modem for upwend", "upwend-sim");
  AddOptions(app, options, dump, timeScale, faults, faultFiles, mode, noAdb, diskSwitch, afterBoot);
  if (auto code = FinishCli(ParseCli(app, std::vector<std::string>(argv + 1, argv + argc)), "upwend-sim")) return *code;
  options.startInFastboot = mode == "fastboot";
  options.startInDisk = mode == "disk";
  options.startInBoot = mode == "boot";
  options.afterBootNormal = afterBoot == "normal";
  if (!diskSwitch.empty()) ParseCdb(diskSwitch, options.diskSwitchCdb);
  options.compositeAdb = !noAdb;
  std::string error;
  for (const auto& f : faults)
    if (!options.faults.Add(f, error)) return Fail(error);
  for (const auto& f : faultFiles)
    if (!options.faults.LoadFile(f, error)) return Fail(error);
  if (dump) {
    std::string json;
    if (!sim::DumpState(options.stateDir, json, error)) return Fail(error);
    std::cout << json;
    return 0;
  }
  if (options.busDir.empty()) return Fail("--bus is required (see upwend-sim --help)");
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
  // Pulling the device out ends the program as SIGTERM does: its ports leave the bus.
  options.faults.SetUnplugHandler([] { kill(getpid(), SIGTERM); });
  sim::SimDevice device(options, SystemClock(), announce);
  if (!device.Start(error)) {
    device.Stop();
    return Fail(error);
  }
  int sig = 0;
  sigwait(&signals, &sig);
  device.Stop();
  return 0;
}
