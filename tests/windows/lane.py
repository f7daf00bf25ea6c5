#!/usr/bin/env python3
"""The Windows lane: bc245xlt-cli.exe under Wine against the Linux virtual
receiver, byte for byte against the Linux tool, and the COM port backend's
tests against a peer on a pseudo-terminal.

Wine gets a prefix of its own under the build folder. COM1 to COM255 are
mapped to links in the lane's own folder (Wine would give the host's
/dev/ttyS* the free numbers), and the one number above them that Wine still
hands to a host device is removed before any program runs. Links are removed
after each case. One wineserver serves the whole lane; its standard error
goes to a file, since it dumps its object table when a line hangs up.

  python3 tests/windows/lane.py --build build-windows --linux-build build
"""

import argparse
import os
import pty
import shutil
import signal
import subprocess
import sys
import tempfile
import termios
import threading
import time

PORTS = 255  # every number Wine takes from the registry


class Lane:
    def __init__(self, build, linux_build):
        self.build = os.path.abspath(build)
        self.linux = os.path.abspath(linux_build)
        self.folder = os.path.join(self.build, "lane")
        self.prefix = os.path.join(self.build, "wine-prefix")
        self.cli = os.path.join(self.build, "tools", "bc245xlt-cli.exe")
        self.tests = os.path.join(self.build, "tests", "windows", "test_windows.exe")
        self.window = os.path.join(self.build, "ui", "bc245xlt.exe")
        self.driver = os.path.join(self.build, "tests", "windows", "window_driver.exe")
        self.linux_cli = os.path.join(self.linux, "tools", "bc245xlt-cli")
        self.receiver = os.path.join(self.linux, "tools", "bc245xlt-virtual-receiver")
        self.env = dict(os.environ)
        self.env.update({
            "WINEPREFIX": self.prefix,
            "WINEDLLOVERRIDES": "mscoree,mshtml=;winemenubuilder.exe=d",
            "WINEDEBUG": "-all",
        })
        self.passed = 0
        self.failed = 0
        self.server = None

    # -- Wine -------------------------------------------------------------

    def run(self, command, env=None, timeout=120, check=False):
        """Runs a command with its output in files: Wine's services, started
        by the first program, would hold pipes open after it ended."""
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            process = subprocess.Popen(command, env=env or self.env, stdin=subprocess.DEVNULL,
                                       stdout=out, stderr=err)
            try:
                process.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
            out.seek(0)
            err.seek(0)
            result = subprocess.CompletedProcess(command, process.returncode, out.read(),
                                                 err.read())
        if check and result.returncode != 0:
            raise SystemExit("%s failed: %s" % (" ".join(command), result.stderr))
        return result

    def wine(self, *args, timeout=120, check=False):
        return self.run(["wine", *args], timeout=timeout, check=check)

    def link(self, number):
        return os.path.join(self.folder, "com%d" % number)

    def start(self):
        os.makedirs(self.folder, exist_ok=True)
        self.clear_links()
        first = not os.path.exists(os.path.join(self.prefix, "system.reg"))
        if first:
            self.run(["wineboot", "-i"], timeout=300, check=True)
        # Wine's Tahoma, as "MS Shell Dlg": dialog units come out as on Windows
        # at 96 DPI. Marlett draws the frame's buttons.
        fonts = os.path.join(self.prefix, "drive_c", "windows", "Fonts")
        for name in ("tahoma.ttf", "tahomabd.ttf", "marlett.ttf"):
            shutil.copy(os.path.join("/usr/share/wine/fonts", name), fonts)
        lines = ["Windows Registry Editor Version 5.00", "",
                 "[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]"]
        lines += ['"COM%d"="%s"' % (n, self.link(n)) for n in range(1, PORTS + 1)]
        registry = os.path.join(self.folder, "ports.reg")
        with open(registry, "w", encoding="utf-16") as out:
            out.write("\r\n".join(lines) + "\r\n")
        self.wine("reg", "import", "Z:" + registry.replace("/", "\\"), check=True, timeout=120)
        # The ports are made anew when the wineserver starts.
        self.run(["wineserver", "-k"])
        self.run(["wineserver", "-w"])
        self.server_log = open(os.path.join(self.folder, "wineserver.log"), "w")
        self.server = subprocess.Popen(["wineserver", "-f", "-p"], env=self.env,
                                       stdout=self.server_log, stderr=self.server_log)
        self.wine("cmd", "/c", "exit", check=True, timeout=120)
        devices = os.path.join(self.prefix, "dosdevices")
        for name in os.listdir(devices):
            path = os.path.join(devices, name)
            if name.startswith("com") and os.path.islink(path):
                if not os.readlink(path).startswith(self.folder + "/"):
                    os.unlink(path)  # a host device: never reached by the lane
        stray = [n for n in os.listdir(devices) if n.startswith("com")
                 and not os.readlink(os.path.join(devices, n)).startswith(self.folder + "/")]
        if stray:
            raise SystemExit("Wine still maps host devices: %s" % stray)

    def stop(self):
        self.clear_links()
        self.run(["wineserver", "-k"])
        if self.server is not None:
            try:
                self.server.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.server.kill()
            self.server_log.close()

    def clear_links(self):
        if os.path.isdir(self.folder):
            for name in os.listdir(self.folder):
                if name.startswith("com"):
                    os.unlink(os.path.join(self.folder, name))

    # -- Results -----------------------------------------------------------

    def check(self, what, ok, detail=""):
        if ok:
            self.passed += 1
            print("  ok    %s" % what)
        else:
            self.failed += 1
            print("  FAIL  %s %s" % (what, detail))
        sys.stdout.flush()

    def receiver_start(self, *args):
        """The virtual receiver behind COM1."""
        process = subprocess.Popen(
            [self.receiver, *args, "--link", self.link(1), "--timeout", "60"],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        deadline = time.monotonic() + 10
        while not os.path.islink(self.link(1)) and time.monotonic() < deadline:
            time.sleep(0.01)
        return process

    def receiver_end(self, process):
        try:
            process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
        self.clear_links()
        return process.stdout.read().decode(errors="replace")

    def win_cli(self, *args, timeout=90):
        return self.wine(self.cli, *args, timeout=timeout)

    def interrupted_get(self, image, out, interrupt):
        """A get from a paced receiver, interrupted part-way: its exit status,
        what it said, and how long it took to end after the interruption."""
        receiver = self.receiver_start("first", "--image", image, "--pace", "20")
        with tempfile.TemporaryFile() as err:
            getting = subprocess.Popen(["wine", self.cli, "get", "-q", "--port", "COM1", "-o",
                                        self.windows_path(out)], env=self.env,
                                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                       stderr=err)
            time.sleep(1.5)
            interrupt(getting, receiver)
            start = time.monotonic()
            try:
                getting.wait(timeout=30)
            except subprocess.TimeoutExpired:
                getting.kill()
                getting.wait()
            took = time.monotonic() - start
            err.seek(0)
            said = err.read()
        receiver.kill()
        self.receiver_end(receiver)
        return getting.returncode, said, took

    def linux_get(self, image, out):
        receiver = self.receiver_start("first", "--image", image)
        result = self.run([self.linux_cli, "get", "-q", "--port", self.link(1), "-o", out,
                           "-d", "Lane image"], timeout=90)
        self.receiver_end(receiver)
        return result

    @staticmethod
    def windows_path(path):
        return "Z:" + path.replace("/", "\\")

    @staticmethod
    def read(path):
        with open(path, "rb") as source:
            return source.read()

    # -- Cases ---------------------------------------------------------------

    def transfers(self):
        work = os.path.join(self.folder, "work")
        shutil.rmtree(work, ignore_errors=True)
        os.makedirs(work)
        image = os.path.join(work, "image.bin")
        with open(image, "wb") as out:
            out.write(bytes((i * 37 + 11) & 0xFF for i in range(8192)))

        print("get")
        linux = os.path.join(work, "linux.mrv")
        result = self.linux_get(image, linux)
        self.check("the Linux tool's get", result.returncode == 0, result.stderr)
        windows = os.path.join(work, "Windows – prüfung.mrv")
        receiver = self.receiver_start("first", "--image", image)
        result = self.win_cli("get", "-q", "--port", "COM1", "-o", self.windows_path(windows),
                              "-d", "Lane image")
        self.receiver_end(receiver)
        self.check("get exits 0", result.returncode == 0, result.stderr.decode(errors="replace"))
        self.check("get saves the Linux tool's bytes, under a name beyond ASCII",
                   os.path.exists(windows) and self.read(windows) == self.read(linux))

        print("show")
        shown_linux = self.run([self.linux_cli, "show", linux])
        shown = self.win_cli("show", self.windows_path(windows))
        self.check("show prints the Linux tool's rows", shown.returncode == 0 and
                   shown.stdout == shown_linux.stdout, shown.stdout[:200])

        print("send")
        received = os.path.join(work, "received.bin")
        receiver = self.receiver_start("clone", "--out", received)
        result = self.win_cli("send", "-q", "--yes", "--port", "COM1", self.windows_path(linux))
        self.receiver_end(receiver)
        self.check("send exits 0", result.returncode == 0, result.stderr.decode(errors="replace"))
        self.check("the receiver holds the image byte for byte",
                   os.path.exists(received) and self.read(received) == self.read(image))

        print("send --verify")
        receiver = self.receiver_start("clone", "--then", "first")
        result = self.win_cli("send", "--yes", "--verify", "--port", "COM1",
                              self.windows_path(linux))
        self.receiver_end(receiver)
        self.check("send --verify exits 0 and says all blocks are identical",
                   result.returncode == 0 and
                   b"verified: 512 of 512 blocks identical" in result.stdout,
                   result.stdout + result.stderr)

        print("verify")
        receiver = self.receiver_start("first", "--image", image)
        result = self.win_cli("verify", "--port", "COM1", self.windows_path(linux))
        self.receiver_end(receiver)
        self.check("verify exits 0", result.returncode == 0, result.stdout + result.stderr)
        other = os.path.join(work, "other.bin")
        with open(other, "wb") as out:
            out.write(bytes(8192))
        receiver = self.receiver_start("first", "--image", other)
        result = self.win_cli("verify", "--port", "COM1", self.windows_path(linux))
        self.receiver_end(receiver)
        self.check("verify of another memory exits 6", result.returncode == 6,
                   result.returncode)

        print("a receiver that falls silent")
        silent = os.path.join(work, "silent.mrv")
        receiver = self.receiver_start("first", "--pace", "8000")
        start = time.monotonic()
        result = self.win_cli("get", "-q", "--port", "COM1", "-o", self.windows_path(silent))
        took = time.monotonic() - start
        receiver.kill()
        self.receiver_end(receiver)
        self.check("ends with no response, within the 5 s deadline",
                   result.returncode == 4 and b"no response" in result.stderr and took < 7,
                   "%s after %.1f s" % (result.stderr, took))
        self.check("nothing is saved", not os.path.exists(silent))

        print("a receiver that hangs up")
        hung = os.path.join(work, "hung.mrv")
        status, said, took = self.interrupted_get(image, hung, lambda get, receiver: receiver.kill())
        # The hang-up is seen by the read or by the answer's write, whichever
        # comes first.
        self.check("ends at once with a read or write failure", status == 4 and
                   (b"read failed" in said or b"write failed" in said) and took < 1.5,
                   "%s after %.1f s" % (said, took))
        self.check("nothing is saved", not os.path.exists(hung))

        print("Ctrl-C")
        interrupted = os.path.join(work, "interrupted.mrv")
        # Wine makes SIGINT the console's Ctrl-C.
        status, said, took = self.interrupted_get(
            image, interrupted, lambda get, receiver: get.send_signal(signal.SIGINT))
        self.check("cancels with exit 130", status == 130 and
                   b"cancelled; nothing was written" in said, "%s %s" % (status, said))
        self.check("nothing is saved", not os.path.exists(interrupted))

        print("a second copy of the program")
        receiver = self.receiver_start("first", "--image", image, "--pace", "20")
        first = subprocess.Popen(["wine", self.cli, "get", "-q", "--port", "COM1", "-o",
                                  self.windows_path(os.path.join(work, "first.mrv"))],
                                 env=self.env, stdin=subprocess.DEVNULL,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(1.5)
        second = self.win_cli("get", "-q", "--port", "COM1", "-o",
                              self.windows_path(os.path.join(work, "second.mrv")))
        first.wait(timeout=90)
        self.receiver_end(receiver)
        self.check("is refused as busy, exit 3", second.returncode == 3 and
                   b"busy: in use by another program" in second.stderr, second.stderr)
        self.check("and the first completes", first.returncode == 0, first.returncode)

        print("a port that is not there")
        result = self.win_cli("get", "-q", "--port", "COM9", "-o",
                              self.windows_path(os.path.join(work, "none.mrv")))
        self.check("exits 3 and names the port", result.returncode == 3 and
                   b"COM9" in result.stderr, result.stderr)

    # -- The window ------------------------------------------------------------

    def drive(self, case, *args, timeout=180):
        """The driver program on Wine's own desktop (which draws the frames),
        starting bc245xlt.exe and driving it through one case."""
        result = self.run(["wine", "explorer", "/desktop=lane,1024x768", self.driver, case,
                           self.windows_path(self.window), *args], env=self.display_env,
                          timeout=timeout)
        lines = result.stdout.decode(errors="replace").splitlines()
        for line in lines:
            if line.startswith("ok ") or line.startswith("FAIL "):
                ok, _, what = line.partition(" ")
                self.check(what, ok == "ok")
        if not any(line.startswith("ok the window opens") for line in lines):
            self.check("the driver ran", False, result.stderr[-2000:])
        return lines

    @staticmethod
    def took(lines):
        for line in lines:
            if line.startswith("took "):
                return float(line.split()[1])
        return None

    def window_cases(self, paced):
        work = os.path.join(self.folder, "work")
        image = os.path.join(work, "image.bin")
        linux = os.path.join(work, "linux.mrv")
        saved = os.path.join(work, "window – gespeichert.mrv")
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24",
                                 "-nolisten", "tcp"], stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL)
        display = xvfb.stdout.readline().decode().strip()
        self.display_env = dict(self.env, DISPLAY=":" + display)
        try:
            print("the window at start, the About box")
            self.drive("start")

            print("Get Data in the window, saved")
            shot = os.path.join(work, "window.bmp")
            receiver = self.receiver_start("first", "--image", image)
            lines = self.drive("get", self.windows_path(saved), self.windows_path(shot))
            self.receiver_end(receiver)
            shown = self.run([self.linux_cli, "show", linux]).stdout.decode().splitlines()[1:]
            rows = [line[4:] for line in lines if line.startswith("row ")]
            self.check("the listing shows the Linux tool's rows", rows == shown,
                       "%d rows" % len(rows))
            self.check("the saved file is the Linux tool's, byte for byte",
                       os.path.exists(saved) and self.read(saved) == self.read(linux))
            for line in lines:
                if line.startswith("window "):
                    print("  " + line)
            if os.path.exists(shot):
                png = os.path.join(self.build, "window-after-download.png")
                bmp_to_png(shot, png)
                print("  screenshot: %s" % png)

            print("Send Data in the window, loaded")
            received = os.path.join(work, "window-received.bin")
            receiver = self.receiver_start("clone", "--out", received)
            self.drive("send", self.windows_path(saved))
            self.receiver_end(receiver)
            self.check("the receiver holds the image byte for byte",
                       os.path.exists(received) and self.read(received) == self.read(image))

            print("a port that is not there")
            self.drive("missing")

            print("Escape and the close button during a transfer")
            receiver = self.receiver_start("first", "--image", image, "--pace", "20",
                                           "--repeat")
            during = os.path.join(work, "during.bmp")
            self.drive("escape", self.windows_path(during))
            if os.path.exists(during):
                bmp_to_png(during, os.path.join(self.build, "window-during-download.png"))
            receiver.kill()
            self.receiver_end(receiver)

            if paced:
                self.paced_window(image, saved)
        finally:
            xvfb.kill()
            xvfb.wait()

    def paced_window(self, image, saved, runs=3):
        """The window's transfers at the line's own rate: wall time from the
        answered prompt to the final status, against the time the exchange's
        bytes take on a 9600-baud line (both directions, as the benchmark
        counts them)."""
        line_time = (4 + 512 * 47 + 4 + 10 + 512 * 3) * 10 / 9600
        print("paced at 9600 baud, %.3f s of line time" % line_time)
        ratios = {"get": [], "send": []}
        for run in range(runs):
            for case, mode, args in (("get", "first", ["--delay", "0", "--image", image]),
                                     ("send", "clone", [])):
                receiver = self.receiver_start(mode, "--baud", "9600", *args)
                target = os.path.join(self.folder, "work", "paced.mrv") if case == "get" \
                    else saved
                if case == "get" and os.path.exists(target):
                    os.remove(target)  # the Save dialog would ask before replacing it
                took = self.took(self.drive(case, self.windows_path(target)))
                said = self.receiver_end(receiver)
                if took:
                    ratios[case].append(took / line_time)
                    print("  %s: %.2f s, ratio %.4f; %s" % (
                        case, took, took / line_time,
                        " ".join(l for l in said.splitlines() if l.startswith("Paced"))))
        for case, values in ratios.items():
            if values:
                values.sort()
                print("  %s: median %.4f (%.4f to %.4f) over %d runs" % (
                    case, values[len(values) // 2], values[0], values[-1], len(values)))

    # -- The installer ---------------------------------------------------------

    def installer(self):
        """The installer, silent, in the lane's prefix; what it leaves is
        checked, not its exit status (Wine may give 0 for a failure)."""
        print("the installer")
        setups = [name for name in os.listdir(self.build)
                  if name.startswith("bc245xlt-") and name.endswith("-win64-setup.exe")]
        self.check("cpack -G NSIS64 made the installer", len(setups) == 1, setups)
        if len(setups) != 1:
            return
        folder = os.path.join(self.prefix, "drive_c", "Program Files", "BC245XLT Morvane Utility")
        key = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" \
              "BC245XLT Morvane Utility"
        # What an earlier run may have left would make the installer remove it first.
        shutil.rmtree(folder, ignore_errors=True)
        for stale in (key, "HKLM\\Software\\BC245XLT Morvane Utility authors",
                      "HKCU\\Software\\BC245XLT Morvane Utility authors"):
            self.wine("reg", "delete", stale, "/f")
        self.wine(os.path.join(self.build, setups[0]), "/S", timeout=180)
        installed = sorted(os.listdir(folder)) if os.path.isdir(folder) else []
        self.check("installs both programs, the licence and the README, and an uninstaller",
                   installed == ["LICENSE", "README.md", "Uninstall.exe", "bc245xlt-cli.exe",
                                 "bc245xlt.exe"], installed)
        self.check("the licence is the project's",
                   os.path.exists(os.path.join(folder, "LICENSE")) and
                   self.read(os.path.join(folder, "LICENSE")) ==
                   self.read(os.path.join(os.path.dirname(__file__), "..", "..", "LICENSE")))
        version = self.wine(os.path.join(folder, "bc245xlt-cli.exe"), "--version")
        self.check("the installed tool runs", b"1.0.0.1" in version.stdout, version.stdout)
        menu = os.path.join(self.prefix, "drive_c", "ProgramData", "Microsoft", "Windows",
                            "Start Menu", "Programs", "BC245XLT Morvane Utility")
        links = sorted(os.listdir(menu)) if os.path.isdir(menu) else []
        self.check("a Start-menu shortcut to the window and to the uninstaller",
                   links == ["BC245XLT Morvane Utility.lnk", "Uninstall.lnk"], links)
        entry = self.wine("reg", "query", key).stdout.decode("utf-8", errors="replace")
        self.check("an Add/Remove Programs entry with version and publisher",
                   "DisplayVersion" in entry and "1.0.0.1" in entry and
                   "BC245XLT Morvane Utility authors" in entry, entry)
        # The uninstaller copies itself away and carries on after the command
        # returns: what it removes is waited for.
        self.wine("C:\\Program Files\\BC245XLT Morvane Utility\\Uninstall.exe", "/S",
                  timeout=120)

        def removed():
            entry = self.wine("reg", "query", key).stdout.decode("utf-8", errors="replace")
            return (not os.path.exists(os.path.join(folder, "bc245xlt.exe")) and
                    not os.path.isdir(menu) and "DisplayVersion" not in entry)
        deadline = time.monotonic() + 60
        while not removed() and time.monotonic() < deadline:
            time.sleep(0.5)
        self.check("the uninstaller removes the programs, the shortcuts and the entry",
                   removed())
        shutil.rmtree(folder, ignore_errors=True)

    def serial_backend(self):
        """The COM port backend's tests, each against a peer that plays its part."""
        print("COM port backend")
        peers = {
            "TheLineIsSetAsTheReceiverNeedsIt": self.peer_line_settings,
            "EveryByteArrivesOneReadAtATime": self.peer_bytes,
            "AReadEndsAtItsDeadline": self.peer_silent,
            "AHungUpLineFailsAtOnce": self.peer_hang_up,
            "ASecondOpenerIsRefusedAsBusy": self.peer_silent,
        }
        for case, peer in peers.items():
            master, slave = pty.openpty()
            os.symlink(os.ttyname(slave), self.link(2))
            stop = threading.Event()
            thread = threading.Thread(target=peer, args=(master, slave, stop), daemon=True)
            thread.start()
            env = dict(self.env, BCU_PEER_PORT="COM2")
            result = self.run(["wine", self.tests, "--gtest_filter=SerialPeer." + case,
                               "--gtest_brief=1"], env=env)
            stop.set()
            thread.join(timeout=5)
            for fd in (master, slave):
                try:
                    os.close(fd)
                except OSError:
                    pass
            self.clear_links()
            output = result.stdout.decode(errors="replace")
            self.check(case, result.returncode == 0 and "SKIPPED" not in output, output)

    @staticmethod
    def wait_for(master, stop):
        while not stop.is_set():
            try:
                if os.read(master, 1):
                    return True
            except OSError:
                time.sleep(0.01)
        return False

    def peer_line_settings(self, master, slave, stop):
        if not self.wait_for(master, stop):
            return
        iflag, oflag, cflag, lflag, ispeed, ospeed, cc = termios.tcgetattr(slave)
        wrong = []
        if ispeed != termios.B9600 or ospeed != termios.B9600:
            wrong.append("speed")
        if cflag & termios.CSIZE != termios.CS8 or cflag & (termios.PARENB | termios.CSTOPB):
            wrong.append("8N1")
        if iflag & (termios.IXON | termios.IXOFF):
            wrong.append("xon/xoff")
        if lflag & (termios.ICANON | termios.ECHO | termios.ISIG):
            wrong.append("not raw")
        os.write(master, ("OK" if not wrong else ",".join(wrong)).encode() + b"\r")

    def peer_bytes(self, master, slave, stop):
        if self.wait_for(master, stop):
            os.write(master, bytes((i * 31 + 7) & 0xFF for i in range(27652)))
            stop.wait(30)

    def peer_silent(self, master, slave, stop):
        stop.wait(60)

    def peer_hang_up(self, master, slave, stop):
        if self.wait_for(master, stop):
            os.close(slave)
            os.close(master)


def bmp_to_png(bmp, png):
    """A 24-bit bottom-up BMP as a PNG file, with the standard library only."""
    import struct
    import zlib
    data = open(bmp, "rb").read()
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    stride = (width * 3 + 3) & ~3
    raw = bytearray()
    for y in range(height):
        row = data[offset + (height - 1 - y) * stride:][:width * 3]
        raw.append(0)
        for x in range(width):
            b, g, r = row[3 * x:3 * x + 3]
            raw += bytes((r, g, b))

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    with open(png, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        out.write(chunk(b"IDAT", zlib.compress(bytes(raw), 9)))
        out.write(chunk(b"IEND", b""))


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default="build-windows")
    parser.add_argument("--linux-build", default="build")
    parser.add_argument("--paced", action="store_true",
                        help="also time the window's transfers at 9600 baud")
    options = parser.parse_args()
    lane = Lane(options.build, options.linux_build)
    start = time.monotonic()
    lane.start()
    try:
        lane.transfers()
        lane.window_cases(options.paced)
        lane.installer()
        lane.serial_backend()
    finally:
        lane.stop()
    print("Windows lane: %.0f s" % (time.monotonic() - start))
    print("%d passed, %d failed" % (lane.passed, lane.failed))
    return 1 if lane.failed else 0


if __name__ == "__main__":
    sys.exit(main())
