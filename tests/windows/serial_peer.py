#!/usr/bin/env python3
"""The far end of serial lines for the Windows serial port test under Wine.

A Windows program cannot open a pseudo-terminal, so this program runs COMMAND (the test under
Wine) with UPWEND_SERIAL_PEER=127.0.0.1:PORT and serves lines on that port: each connection gets
a fresh pseudo-terminal whose slave is mapped into the Wine prefix under two COM names (dosdevices
links), plus a name mapped to nothing and one mapped to a missing node, named in the greeting
"line PORT ALIAS UNMAPPED DANGLING". The connection then carries the device's side, one text line
per request and answer:

  send HEX       -> ok            the device sends bytes
  recv N MS      -> data HEX      up to N bytes the port wrote, waiting up to MS ms
  queued         -> queued N      bytes waiting on the port's side
  hangup         -> ok            the device goes away (the master closes)

The line and its names are removed when the connection closes. Exits with COMMAND's status.

usage: serial_peer.py COMMAND [ARG...]
"""
import fcntl
import os
import select
import socket
import struct
import subprocess
import sys
import termios
import threading
import time
import tty

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
# COM names of the lines are taken from here up: the first that no running peer holds (a lock
# file per name, held while the line lives, so a killed peer leaves no name taken). Tests that run
# side by side, and the simulator's ports, never share one. The name after the last is never mapped.
FIRST_COM = 100
LAST_COM = 249
UNMAPPED = f"COM{LAST_COM + 1}"
MISSING_NODE = "/nonexistent/upwend-serial-peer"


class Line:
    def __init__(self, dosdevices):
        self.dosdevices = dosdevices
        self.master, self.slave = os.openpty()
        tty.setraw(self.slave)
        self.links = []
        path = os.ttyname(self.slave)
        self.port = self.map(path)
        self.alias = self.map(path)
        self.dangling = self.map(MISSING_NODE)

    def map(self, target):
        """Links the first free COM name to target; a link left by a killed peer is replaced."""
        locks = os.path.join(os.path.dirname(self.dosdevices), "serial-peer-locks")
        os.makedirs(locks, exist_ok=True)
        for number in range(FIRST_COM, LAST_COM + 1):
            lock = os.open(os.path.join(locks, f"com{number}"), os.O_RDWR | os.O_CREAT | os.O_CLOEXEC, 0o600)
            try:
                fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
            except OSError:
                os.close(lock)
                continue
            link = os.path.join(self.dosdevices, f"com{number}")
            if os.path.lexists(link):
                os.unlink(link)
            os.symlink(target, link)
            self.links.append((link, lock))
            return f"COM{number}"
        raise RuntimeError("no free COM name in " + self.dosdevices)

    def send(self, data):
        os.write(self.master, data)

    def receive(self, count, ms):
        got = b""
        deadline = time.monotonic() + ms / 1000
        while len(got) < count:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.master], [], [], left)[0]:
                break
            try:
                piece = os.read(self.master, count - len(got))
            except OSError:
                break
            if not piece:
                break
            got += piece
        return got

    def queued(self):
        return struct.unpack("i", fcntl.ioctl(self.slave, termios.FIONREAD, b"\0\0\0\0"))[0]

    def hangup(self):
        if self.master is not None:
            os.close(self.master)
            self.master = None

    def close(self):
        for link, lock in self.links:
            if os.path.lexists(link):
                os.unlink(link)
            os.close(lock)
        self.hangup()
        os.close(self.slave)


def answer(line, request):
    words = request.split()
    if not words:
        return "error empty request"
    verb = words[0]
    if verb == "send":
        line.send(bytes.fromhex(words[1] if len(words) > 1 else ""))
        return "ok"
    if verb == "recv":
        return "data " + line.receive(int(words[1]), int(words[2])).hex()
    if verb == "queued":
        return f"queued {line.queued()}"
    if verb == "hangup":
        line.hangup()
        return "ok"
    return "error unknown request " + verb


def serve(connection, dosdevices):
    line = None
    try:
        stream = connection.makefile("rw", newline="\n")
        try:
            line = Line(dosdevices)
        except (OSError, RuntimeError) as e:
            stream.write(f"error no line: {e}\n")
            stream.flush()
            return
        stream.write(f"line {line.port} {line.alias} {UNMAPPED} {line.dangling}\n")
        stream.flush()
        for request in stream:
            try:
                reply = answer(line, request)
            except (OSError, ValueError, IndexError) as e:
                reply = f"error {e}"
            stream.write(reply + "\n")
            stream.flush()
    except OSError:
        pass
    finally:
        if line is not None:
            line.close()
        connection.close()


def main():
    if len(sys.argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    # The prefix cmake/wine-run uses, named to it explicitly so both sides agree.
    prefix = os.environ.get("WINEPREFIX", os.path.join(SOURCE, "build", "windows", "wineprefix"))
    # Wine creates the prefix with its first program; the lines are mapped only once the test
    # runs, so the folder is never made here (Wine would then take it for a prefix of its own).
    dosdevices = os.path.join(prefix, "dosdevices")
    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.bind(("127.0.0.1", 0))
    server.listen(8)

    def accept():
        while True:
            try:
                connection, _ = server.accept()
            except OSError:
                return
            threading.Thread(target=serve, args=(connection, dosdevices), daemon=True).start()

    threading.Thread(target=accept, daemon=True).start()
    env = dict(os.environ, WINEPREFIX=prefix, UPWEND_SERIAL_PEER=f"127.0.0.1:{server.getsockname()[1]}")
    status = subprocess.call(sys.argv[1:], env=env)
    server.close()
    return status


if __name__ == "__main__":
    sys.exit(main())
