#include "tests/integration/faults/fault_cases.h"

namespace upwend {

namespace {

FaultCase Pass(std::string name, std::string phase, std::vector<std::string> faults) {
  FaultCase c;
  c.name = std::move(name);
  c.phase = std::move(phase);
  c.simFaults = std::move(faults);
  c.expectedEnd = "PASS";
  return c;
}

FaultCase Fails(std::string name, std::string phase, std::vector<std::string> faults, std::string firstError,
                Recovery recovery) {
  FaultCase c;
  c.name = std::move(name);
  c.phase = std::move(phase);
  c.simFaults = std::move(faults);
  c.exitCode = 1;
  c.firstError = std::move(firstError);
  c.recovery = recovery;
  switch (recovery) {
    case Recovery::kStart: c.expectedEnd = "exit 1, \"" + c.firstError + "\"; replug, Start: PASS"; break;
    case Recovery::kReupdate: c.expectedEnd = "exit 1, \"" + c.firstError + "\"; replug, Re-update: PASS"; break;
    case Recovery::kReupdateInBootLoader:
      c.expectedEnd = "exit 1, \"" + c.firstError + "\"; Re-update of the device in its boot loader: PASS";
      break;
    case Recovery::kUnchanged: c.expectedEnd = "exit 1, \"" + c.firstError + "\"; device unchanged"; break;
    case Recovery::kNone: break;
  }
  return c;
}

FaultCase Unplug(std::string name, std::string phase, std::string fault, std::string firstError, Recovery recovery) {
  return Fails(std::move(name), std::move(phase), {std::move(fault)}, std::move(firstError), recovery);
}

FaultCase Stop(std::string name, std::string phase, std::string stopOn, Recovery recovery) {
  FaultCase c = Fails(std::move(name), std::move(phase), {}, "", recovery);
  c.stopOn = std::move(stopOn);
  c.expectedEnd = "Stop: exit 1, no verdict; replug, " +
                  std::string(recovery == Recovery::kReupdate ? "Re-update" : "Start") + ": PASS";
  return c;
}

FaultCase BadProduct(std::string name, std::string product, int exitCode, std::string expectedEnd) {
  FaultCase c;
  c.name = std::move(name);
  c.phase = "start-up";
  c.product = std::move(product);
  c.exitCode = exitCode;
  c.recovery = Recovery::kUnchanged;
  c.expectedEnd = std::move(expectedEnd);
  return c;
}

}  // namespace

std::string FaultCase::FaultText() const {
  if (!product.empty()) return "product: " + product;
  if (!stopOn.empty()) return "SIGINT at \"" + stopOn + "\"";
  std::string text;
  for (const auto& f : simFaults) text += (text.empty() ? "" : " ") + f;
  return text.empty() ? "none" : text;
}

std::vector<FaultCase> FaultCases() {
  const Recovery start = Recovery::kStart;
  const Recovery reupdate = Recovery::kReupdate;
  std::vector<FaultCase> cases = {
      Pass("NoFault", "whole run", {}),
      // The device pulled out at each phase, then plugged in again.
      Unplug("UnplugAtIdentityBackup", "identity backup", "unplug-at:AT+VXTSN=0,7", "Could not read from serial port",
             start),
      Unplug("UnplugAtNvBackup", "NV backup", "unplug-diag:26", "The device was removed", start),
      Unplug("UnplugAtEfsBackup", "EFS item backup", "unplug-diag:4b1302", "The device was removed", start),
      Unplug("UnplugAtRebootToBootLoader", "reboot to the boot loader", "unplug-at:AT+SYSCMD=SYS_REBOOT",
             "ADB Interface Invalid", reupdate),
      Unplug("UnplugAtFirstFlash", "flash sbl", "unplug-fastboot:flash:sbl", "Could not read OKAY reply", reupdate),
      Unplug("UnplugAtErase", "erase system", "unplug-fastboot:erase:system", "ADB Interface Invalid", reupdate),
      Unplug("UnplugAtFirstDownload", "download sbl", "unplug-fastboot:download:", "Receive handshake command failed",
             reupdate),
      Unplug("UnplugAtLastFlash", "flash cdrom", "unplug-fastboot:flash:cdrom", "Could not read OKAY reply",
             reupdate),
      Unplug("UnplugAtReturn", "reboot back to normal", "unplug-fastboot:reboot", "Could not read OKAY reply",
             reupdate),
      Unplug("UnplugAtNvRestore", "NV restore", "unplug-diag:27", "The device was removed", reupdate),
      Unplug("UnplugAtEfsRestore", "EFS item restore", "unplug-diag:4b1305", "The device was removed", reupdate),
      Unplug("UnplugAtIdentityRestore", "identity restore", "unplug-at:AT+VXTSN=1,5", "Fail to Send Wirte SN Command!",
             reupdate),
      Unplug("UnplugAtEndCommands", "end AT commands", "unplug-at:AT+SYSCMD=SYS_MODE_SET",
             "Could not read from serial port", reupdate),
      // Stop (SIGINT) at each phase.
      Stop("StopAtIdentityBackup", "identity backup", "Read SN", start),
      Stop("StopAtNvBackup", "NV backup", "READ NV ITEM ID:540", start),
      Stop("StopAtFlash", "flash", "download successfully.", reupdate),
      Stop("StopAtRestore", "NV restore", "WRITE NV ITEM ID:540", reupdate),
      // AT channel.
      Fails("AtErrorOnSn", "identity backup", {"at-error:AT+VXTSN=0,5"}, "[Dload] Fail to Read IMEI", start),
      Fails("AtSilentImei", "identity backup", {"at-silent:AT+VXTSN=0,7"}, "[Dload] Fail to Read IMEI", start),
      Pass("AtErrorOnceOnBluetooth", "identity backup", {"at-error:AT+VXTSN=0,10@1"}),
      Pass("AtErrorTwiceOnUit87", "identity backup", {"at-error:AT+CUIT87?@2"}),
      Fails("AtErrorOnceOnCfun", "start AT commands", {"at-error:AT+CFUN=5@1"}, "Fail to send command(start) :1", start),
      // DIAG (the NV and EFS item backup and restore over the QMSL library).
      Pass("DiagDropOnce", "NV backup", {"diag-drop:26@1"}),
      Pass("DiagBadCrcOnce", "NV backup", {"diag-badcrc:26@1"}),
      Pass("DiagNakOnce", "NV restore", {"diag-nak:27@1"}),
      Pass("DiagDelay", "NV backup", {"diag-delay:26:1500@5"}),
      Fails("DiagDropAlways", "NV backup", {"diag-drop:26"}, "READ ERROR", start),
      // NV items.
      Fails("NvReadOnlyOnRestore", "NV restore", {"nv-readonly:540"}, "Items not restored: NV 540", reupdate),
      Fails("NvStatusOnBackup", "NV backup", {"nv-status:571:4@1"}, "Command failed", start),
      Fails("EfsErrorOnBackup", "EFS item backup", {"efs-error:nv/item_files/rfnv/00020309:2@1"}, "READ ERROR",
            start),
      // Fastboot.
      Fails("FastbootFail", "flash boot", {"fastboot-fail:boot"}, "Could not read OKAY reply", reupdate),
      Fails("FastbootFailLeftInBootLoader", "flash boot", {"fastboot-fail:boot"}, "Could not read OKAY reply",
            Recovery::kReupdateInBootLoader),
      Fails("FastbootDisconnect", "flash", {"fastboot-disconnect:5000"}, "Could not read OKAY reply", reupdate),
      Pass("FastbootSlow", "flash", {"fastboot-slow:4096"}),
      // The return.
      Pass("Renumber", "return", {"renumber"}),
      Fails("NoReturn", "return", {"no-return"}, "ComPort0 timeout", reupdate),
      Pass("Latency", "every reply", {"latency:30"}),
  };
  FaultCase inactive = Pass("NvInactiveOnBackup", "NV backup", {"nv-inactive:540"});
  inactive.exceptItems = {"540"};
  inactive.expectedEnd = "PASS; item 540 (inactive on the device) not saved";
  cases.push_back(inactive);
  // Bad products: nothing may reach the device.
  cases.push_back(BadProduct("ZeroByteImage", "empty-sbl1", 2, "Start refused (exit 2); device unchanged"));
  cases.push_back(BadProduct("MissingImage", "missing-sbl1", 1, "start-up error (exit 1); device unchanged"));
  cases.push_back(BadProduct("GarbageConfig", "garbage-config", 2, "start-up asks to quit (exit 2); device unchanged"));
  cases.push_back(BadProduct("TruncatedProduct", "truncated-product", 1, "start-up error (exit 1); device unchanged"));
  FaultCase truncatedImage = Pass("TruncatedImage", "flash sbl", {});
  truncatedImage.product = "truncated-sbl1";
  truncatedImage.expectedEnd = "PASS with the shorter image flashed as packed; saved items as before";
  truncatedImage.recovery = Recovery::kNone;
  cases.push_back(truncatedImage);
  // The product carries no check of its own: a flipped bit inside an image is flashed as packed.
  FaultCase flipped = truncatedImage;
  flipped.name = "BitFlippedProduct";
  flipped.phase = "flash cdrom";
  flipped.product = "bitflipped-product";
  flipped.expectedEnd = "PASS with the flipped byte flashed as packed (no product checksum); saved items as before";
  cases.push_back(flipped);
  return cases;
}

}  // namespace upwend
