#!/usr/bin/env python3
"""One update of the Windows upwend.exe under Wine against the Linux device simulator.

The simulator publishes its DIAG and AT ports as pseudo-terminals under COM names; each one is
mapped into the Wine prefix as that COM port (a dosdevices link, Wine's port mapping), and
removed again when the simulator removes the port, so the Win32 serial code talks to the
simulated device. Fastboot goes over TCP. Passes when upwend.exe exits 0 ("PASS") and the
simulator's state shows the flashed images.

usage: integration_run.py WINDOWS_BUILD_DIR LINUX_BUILD_DIR
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time

SCALE = "0.05"


def main():
    win_build, linux_build = (os.path.abspath(a) for a in sys.argv[1:3])
    source = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    wine_run = os.path.join(source, "cmake", "wine-run")
    prefix = os.environ.get("WINEPREFIX", os.path.join(win_build, "wineprefix"))
    dosdevices = os.path.join(prefix, "dosdevices")
    sim = os.path.join(linux_build, "sim", "upwend-sim")
    upwend = os.path.join(win_build, "app", "console", "upwend.exe")
    home = tempfile.mkdtemp(prefix="upwend-win-run-", dir=os.path.join(win_build))
    bus, state = os.path.join(home, "bus"), os.path.join(home, "device")
    env = dict(os.environ, WINEPREFIX=prefix)

    simulator = subprocess.Popen([sim, "--bus", bus, "--state", state, "--time-scale", SCALE],
                                 stdout=subprocess.PIPE, stdin=subprocess.DEVNULL, text=True)
    mapped = {}
    published = threading.Event()

    def unmap(com):
        """Drops Wine's link for a COM port; returns where the link goes."""
        link = os.path.join(dosdevices, com.lower())
        if os.path.lexists(link):
            os.unlink(link)
        return link

    def follow():
        for line in simulator.stdout:
            m = re.match(r"published \w+ (COM\d+) (\S+)", line)
            if m:
                os.symlink(m.group(2), unmap(m.group(1)))
                mapped[m.group(1)] = m.group(2)
                published.set()
            m = re.match(r"removed \w+ (COM\d+)", line)
            if m:
                unmap(m.group(1))
                mapped.pop(m.group(1), None)

    threading.Thread(target=follow, daemon=True).start()
    try:
        if not published.wait(60):
            print("windows run: the simulator published no port", file=sys.stderr)
            return 1
        before = json.loads(subprocess.run([sim, "--state", state, "--dump"], capture_output=True, text=True,
                                           check=True).stdout)
        # A drive-less path: Wine reads it on the current drive (Z:, the build machine's root).
        run_env = dict(env, UPWEND_HOME=os.path.join(home, "upwend"))
        started = time.monotonic()
        run = subprocess.run([wine_run, upwend, "--headless", "--time-scale", SCALE, "--start", "--wait", "60",
                              "--devices", "sim:Z:" + bus], env=run_env, stdin=subprocess.DEVNULL,
                             capture_output=True, text=True, timeout=600)
        print(run.stdout[-3000:])
        print(run.stderr[-3000:], file=sys.stderr)
        after = json.loads(subprocess.run([sim, "--state", state, "--dump"], capture_output=True, text=True,
                                          check=True).stdout)
        print(f"windows run: exit {run.returncode} after {time.monotonic() - started:.1f} s")
        if run.returncode != 0 or "PASS" not in run.stdout + run.stderr:
            return 1
        if before.get("partitions") == after.get("partitions"):
            print("windows run: the device's partitions did not change", file=sys.stderr)
            return 1
        return 0
    finally:
        simulator.terminate()
        simulator.wait(30)
        for port in list(mapped):
            link = os.path.join(dosdevices, port.lower())
            if os.path.lexists(link):
                os.unlink(link)
        shutil.rmtree(home, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
