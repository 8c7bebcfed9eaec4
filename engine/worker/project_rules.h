#pragma once
// What each product family does differently, named. The project type is the number the
// configuration's Project key maps to ("PT00".."PT48" -> 0..48, "MDM9x15" -> 1013, else -1);
// every decision that hangs on it is one of the predicates below, so a family's behaviour is
// read here and nowhere else. Each says in one line why the family differs.
#include <initializer_list>

namespace upwend {

// The one membership test of the tree: `value` is one of `set`.
constexpr bool OneOf(int value, std::initializer_list<int> set) {
  for (int v : set) {
    if (v == value) return true;
  }
  return false;
}
constexpr bool InRange(int value, int low, int high) { return value >= low && value <= high; }

namespace project {

// ---- the device and its family ---------------------------------------------------------------

// Handsets rather than data cards: they reset through the streaming request and carry no PC Suite.
constexpr bool IsPhone(int pt) { return OneOf(pt, {5, 7, 11}); }
// The shipped MDM9607 family: its boot loader is sbl1 and its device check shows "Version:".
constexpr bool IsMdm9x15(int pt) { return pt == 1013; }  // "MDM9x15"
// One build with three customer variants, told apart by the software version (SWVA/SWVB/SWVC).
constexpr bool HasCustomerVariants(int pt) { return pt == 3; }
// A customer variant of the variant build is running (`variantSet`: one of its three flags is on).
constexpr bool IsCustomerVariant(int pt, bool variantSet) { return HasCustomerVariants(pt) && variantSet; }
// The operator's own product, sold in Japan; the customer variants of project 3 share its window.
constexpr bool IsOperatorProduct(int pt) { return pt == 42; }
// The Japanese operator builds: Japanese warnings, the start timer, the operator's contact, the
// Close button after a run.
constexpr bool IsOperatorBuild(int pt, bool variantSet) {
  return IsOperatorProduct(pt) || IsCustomerVariant(pt, variantSet);
}
// The two Japanese retail builds: Japanese status texts, boxes and their own program folder.
constexpr bool UsesJapaneseLayout(int pt) { return pt == 27 || pt == 28; }
// The Japanese retail product: a version question before each update, a guide with a text of
// its own, and its run log in its own program folder.
constexpr bool IsJapaneseRetailProduct(int pt) { return pt == 28; }
// The build whose guide (TFormGuide1) comes before the normal title.
constexpr bool UsesGuide1(int pt) { return pt == 19; }
// The factory build: a compact stay-on-top window with its own guide, no device watcher.
constexpr bool UsesCompactWindow(int pt) { return pt == 41; }
// The Japanese builds share the licence wizard (TFormGuide2) with its Japanese pages.
constexpr bool UsesGuide2(int pt, bool variantSet) {
  return IsOperatorBuild(pt, variantSet) || IsJapaneseRetailProduct(pt);
}
// The factory build's guide (TFormGuide3) checks the port itself and then presses Start.
constexpr bool UsesGuide3(int pt) { return UsesCompactWindow(pt); }
// The titled data card: it updates only devices whose version carries SWVD004.
constexpr bool IsTitledDataCard(int pt) { return pt == 2; }
// The titled mobile device: it updates only devices whose version carries SWVE005.
constexpr bool IsTitledMobileDevice(int pt) { return pt == 6; }
// The two titled builds: a product title of their own in place of the caption and the About title.
constexpr bool IsTitledBuild(int pt) { return IsTitledDataCard(pt) || IsTitledMobileDevice(pt); }
// The titled builds show the variant's product title and the device's version.
constexpr bool ShowsDeviceVersion(int pt) { return IsTitledBuild(pt); }
// The titled builds open with the guide (TFormGuide) that installs their software.
constexpr bool UsesGuide(int pt) { return IsTitledBuild(pt); }
// Start set B of the pictures: the builds with a product title of their own.
constexpr bool UsesStartSetB(int pt, bool variantSet) {
  return OneOf(pt, {2, 6, 27, 28, 42}) || IsCustomerVariant(pt, variantSet);
}

// ---- configuration -------------------------------------------------------------------------

// Their device check or version gate compares the product's software version.
constexpr bool ReadsSoftwareVersion(int pt) { return OneOf(pt, {2, 3, 6, 25, 26, 41, 42}); }
// ... and of those, these cannot run without it.
constexpr bool RequiresSoftwareVersion(int pt) { return OneOf(pt, {2, 3, 6, 41}); }
// The one build that offers the alternative NV item list (the IsAlcatel key).
constexpr bool OffersAlternativeNvList(int pt) { return pt == 12; }
// The alternative NV list is in use: its own backup list, nv.bak layout and restore.
constexpr bool UsesAlternativeNvList(int pt, bool isAlcatel) { return OffersAlternativeNvList(pt) && isAlcatel; }

// ---- images and payload ----------------------------------------------------------------------

// Its flash layout is fixed in the boot loader: there is no partition.mbn to write.
constexpr bool HasNoPartitionTable(int pt) { return pt == 35; }
// Older boot chain dbl/fsbl/osbl, without an AMSS header image.
constexpr bool UsesDblBootChain(int pt) { return InRange(pt, 43, 47); }
// EFS comes as a modem part and an apps part ("CEfsFile" and "AppEfsFile").
constexpr bool HasModemAndAppsEfs(int pt) { return pt == 7; }
// EFS comes as an apps part only ("AppEfsFile").
constexpr bool HasAppsEfsOnly(int pt) { return pt == 46; }
// These builds carry a USB driver installer and its clean-up programs.
constexpr bool InstallsDriver(int pt) { return OneOf(pt, {6, 19, 20, 42}); }
// The same builds' DIAG port (their own driver) answers slowly: longer time-outs.
constexpr bool HasSlowDiagPort(int pt) { return InstallsDriver(pt); }

// ---- identity and NV items -------------------------------------------------------------------

// CDMA-only devices: no IMEI to read, and their NV items are saved to nv.bak over DIAG.
constexpr bool IsCdmaOnly(int pt) { return OneOf(pt, {35, 36, 37, 38, 39, 41, 48}); }
// The CDMA devices that carry an MEID and the CDMA NV item groups (the oldest, 35, does not).
constexpr bool HasMeid(int pt) { return OneOf(pt, {36, 37, 38, 39, 41, 48}); }
// With RTRECFG, these also keep their CDMA subscription items.
constexpr bool HasCdmaSubscriptionItems(int pt) { return pt == 36 || pt == 37; }
// Items 6503 and 6504 (the UIT values) live in NV on these unless UIT_NewWays moved them.
constexpr bool KeepsUitItemsInNv(int pt) { return OneOf(pt, {38, 39, 48}); }
// The ESN is read before the IMEI.
constexpr bool ReadsEsn(int pt) { return pt == 35 || pt == 36; }
// Dual-SIM: a second IMEI.
constexpr bool HasSecondImei(int pt) { return pt == 47; }
// Carrier items CLLEN, VXREQ and GMI.
constexpr bool HasCarrierItems(int pt) { return pt == 8 || pt == 10; }
// The GMI item alone.
constexpr bool HasGmiItemOnly(int pt) { return pt == 18; }
// No SIM lock on this device, whatever the configuration says.
constexpr bool HasNoSimLock(int pt) { return pt == 35; }

// ---- the worker's sequence -------------------------------------------------------------------

// After an AMSS-only update these switch their USB composition to the disk mode, which needs
// the AT port and a reset.
constexpr bool SwitchesToDiskAfterAmss(int pt) { return pt == 20 || pt == 29; }
// The disk-mode command of the build: "D1", "D2", or none.
constexpr const char* DiskModeOf(int pt) {
  if (OneOf(pt, {3, 12, 15, 16, 17, 18, 21, 22, 38, 39, 48}) || InRange(pt, 24, 33)) return "D1";
  if (OneOf(pt, {13, 23, 34})) return "D2";
  return "";
}
// Resets after every update, with or without a fastboot list.
constexpr bool AlwaysResets(int pt) { return pt == 35; }
// Data cards that restart by the DIAG power-off request (phones use the streaming reset).
constexpr bool ResetsByPowerOff(int pt) { return OneOf(pt, {0, 1, 2, 14, 19, 20, 42}) || InRange(pt, 4, 11); }
// Their DIAG port comes back within seconds of a reset, so it is tried every 3 s, not every 10 s.
constexpr bool ReturnsQuicklyAfterReset(int pt) {
  return OneOf(pt, {3, 6, 12, 13, 48}) || InRange(pt, 16, 34) || InRange(pt, 36, 42);
}
// Their ports need one more reset and reconnect at the end of a run (20 only after a full update).
constexpr bool ReconnectsAtEnd(int pt, bool amssOnly) { return pt == 6 || pt == 19 || (pt == 20 && !amssOnly); }

// ---- the window and the device check ---------------------------------------------------------

// The 20-second start timer runs: the operator builds quit when no device is ready in time.
constexpr bool HasStartTimer(int pt, bool variantSet) { return IsOperatorBuild(pt, variantSet); }
// Start is refused when the device's version is not current.
constexpr bool GatesStartOnDeviceVersion(int pt, bool variantSet) {
  return pt == 25 || pt == 26 || IsOperatorBuild(pt, variantSet);
}
// The Close button works after a run, so the Finish pictures respond.
constexpr bool EnablesCloseAfterRun(int pt, bool variantSet) { return pt == 6 || IsOperatorBuild(pt, variantSet); }
// The device check shows no version for these; it only says Ready.
constexpr bool ReadyWithoutVersion(int pt) { return pt == 10 || pt == 12; }
// The device watcher ends once the device is ready: the update follows at once.
constexpr bool EndsWatchWhenReady(int pt) { return OneOf(pt, {27, 28, 41}); }
// ... and for these after the check has shown the version.
constexpr bool EndsWatchAfterVersion(int pt) { return pt == 3 || pt == 29; }
// The watcher comes back after a refusal or a run on these (and with bCheckProjectCode).
constexpr bool RestartsDeviceWatch(int pt) { return UsesJapaneseLayout(pt); }
// The factory build has no device watcher: its guide has checked the port and presses Start.
constexpr bool WatchesDevices(int pt) { return !UsesCompactWindow(pt); }
// The factory build ends with a result page whose only button ends the program.
constexpr bool EndsProgramAfterRun(int pt) { return UsesCompactWindow(pt); }
// The builds with a product title of their own lock the Close picture while a run writes the device.
constexpr bool LocksCloseDuringRun(int pt, bool variantSet) {
  return IsTitledBuild(pt) || UsesJapaneseLayout(pt) || IsOperatorBuild(pt, variantSet);
}
// The titled data card's Finish picture stays greyed after a run: the device watcher decides.
constexpr bool GreysFinishAfterRun(int pt) { return IsTitledDataCard(pt); }

}  // namespace project
}  // namespace upwend
