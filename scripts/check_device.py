#!/usr/bin/env python3
"""Compares a simulated device's state after an update with the product and with its state before.

usage: check_device.py PRODUCT_DIR BEFORE.json AFTER.json [--except KEY]...

--except KEY leaves one saved item out of the comparison (an identity name, an NV id or an EFS
path), for a device that said it does not have it.

PRODUCT_DIR is what `upwend-pack --extract` wrote (manifest.txt, Config.ini and the files).
Every partition of the product's fastboot list must hold its image byte for byte (by SHA-256);
the identity values, NV items, EFS item files and user files that the product saves before an
update must be as they were before. Exits 1 on any difference.
"""
import configparser
import hashlib
import json
import os
import sys


def fastboot_list(product):
    ini = configparser.ConfigParser(interpolation=None, strict=False)
    with open(resource_file(product, "Config.ini", "ConfigFile"), encoding="latin-1") as f:
        ini.read_string(f.read())
    entries = []
    section = next((s for s in ini.sections() if s.lower() == "fastbootdownloadfiles"), None)
    if section is None:
        return entries
    for n in range(15):
        value = ini[section].get(f"DL{n}", "").strip()
        if not value:
            break
        partition, _, file = value.partition("|")
        entries.append((partition.strip(), file.strip()))
    return entries


def resource_file(product, name, resource=None):
    # The manifest maps resource names (file name up to its first "." + "File") to files.
    stem = (resource or name.split(".")[0] + "File").lower()
    with open(os.path.join(product, "manifest.txt"), encoding="latin-1") as f:
        for line in f:
            parts = line.split("#")[0].split()
            if len(parts) == 3 and parts[1].lower() == stem:
                return os.path.join(product, parts[2])
    raise SystemExit(f"check: {name} is not in the product")


# The identity items the built-in product saves (dump names), and the RF calibration items it
# saves over the QMSL library: ids of 20000 and above are EFS item files.
SAVED_IDENTITY = ["SN", "IMEI", "BLUETOOTH", "WIFICAL", "SALESCOUNT", "SALESINFO", "TESTINF", "UIT87", "UIT89"]
RF_CALIBRATION = [540, 571, 1864, 2892, 3691, 4212, 4953, 4954, 5459, 5461, 5463, 5464, 6735, 6736, 20309, 20310,
                  20790, 20794, 20795, 20825, 20826, 20837, 20838, 20840, 20883, 20884, 20364, 20365, 22982, 23112,
                  23113, 23172, 23173, 24964, 24965, 24966, 24967, 24972, 24973, 24974, 24975, 24226, 24228, 24230,
                  24233, 24241, 24242, 24244, 24252, 24255, 24256, 24257, 27779, 27781, 27786, 27794, 27795, 27797,
                  28329, 28331, 28333, 28334]


def sha256(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            h.update(block)
    return h.hexdigest()


def main():
    product, before_path, after_path = sys.argv[1:4]
    excepted = {sys.argv[i + 1] for i in range(4, len(sys.argv) - 1) if sys.argv[i] == "--except"}
    with open(before_path) as f:
        before = json.load(f)
    with open(after_path) as f:
        after = json.load(f)
    failures = 0
    last = {}
    for partition, file in fastboot_list(product):
        if file != "erase":
            last[partition] = file
    for partition, file in last.items():
        want = sha256(resource_file(product, file))
        got = after.get("partitions", {}).get(partition, {}).get("sha256")
        ok = got == want
        failures += not ok
        print(f"  partition {partition:8} {file:18} {'same bytes' if ok else 'DIFFERENT'}")
    checks = [("identity", SAVED_IDENTITY, "identity")]
    checks.append(("nv", [str(i) for i in RF_CALIBRATION if i < 20000], "NV items"))
    checks.append(("efs", [f"nv/item_files/rfnv/000{i}" for i in RF_CALIBRATION if i >= 20000], "EFS item files"))
    # The device's user files, which the product saves as user data.
    user = sorted(k for k in before.get("efs", {}) if k.startswith("user/"))
    checks.append(("efs", user, "user files"))
    for part, keys, label in checks:
        keys = [k for k in keys if k not in excepted]
        changed = [k for k in keys if before.get(part, {}).get(k) != after.get(part, {}).get(k)]
        missing = [k for k in keys if k not in before.get(part, {})]
        failures += len(changed) + len(missing)
        verdict = "as before" if not changed and not missing else f"{len(changed)} CHANGED, {len(missing)} unknown"
        print(f"  {label:15} {len(keys)} saved, {verdict}")
        for key in changed:
            print(f"    {key}: {before.get(part, {}).get(key)!r} -> {after.get(part, {}).get(key)!r}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
