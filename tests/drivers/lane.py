#!/usr/bin/env python3
"""The driver lane: bc245xlt-cli on the kernel's real serial drivers.

An emulated PC (QEMU, software emulation) boots Debian's own kernel with the
project's toolkit-free programs in an initramfs. It has a 16550 UART (the
guest's ttyS1, COM2) and an emulated FTDI USB adapter (ttyUSB0, COM1); both
reach this host through unix sockets, on which the virtual receiver plays
the scanner. Each check passes or fails by name; the lane ends with
"N passed, M failed" and fails when any check fails or the machine does not
boot.

    tests/drivers/lane.py [--build DIR] [--keep]

The kernel comes from Debian's package, fetched with apt-get download and
unpacked into DIR/drivers, never installed.
"""

import argparse
import json
import lzma
import os
import queue
import re
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
MODULES = ["usb-common", "usbcore", "xhci-hcd", "xhci-pci", "usbserial", "ftdi_sio"]
RECORDS = 512
IMAGE = bytes((i * 7 + i // 256 + 3) & 0xFF for i in range(RECORDS * 16))
# A full transfer moves 25,618 bytes; at 9600 baud, 10 bits a byte.
LINE_SECONDS = 25618 * 10 / 9600
BACKUP_HEADER = b"BC245XLT MRVv1.0\n"


class CheckFailed(Exception):
    pass


def say(text):
    print(text, flush=True)


# --- The machine's parts ------------------------------------------------------


def fetch_kernel(work):
    """Debian's kernel, uncompressed (it boots several times faster under
    emulation), and the USB serial modules."""
    vmlinux = work / "vmlinux"
    modules = work / "modules"
    if vmlinux.exists() and all((modules / f"{m}.ko").exists() for m in MODULES):
        return vmlinux, modules
    depends = subprocess.run(["apt-cache", "depends", "linux-image-amd64"], check=True,
                             capture_output=True, text=True).stdout
    found = re.search(r"Depends: (linux-image-[0-9][^\s]*)", depends)
    if not found:
        raise SystemExit("lane: apt-cache names no kernel for linux-image-amd64 (run apt-get update)")
    package = found.group(1)
    fetch = work / "fetch"
    shutil.rmtree(fetch, ignore_errors=True)
    fetch.mkdir(parents=True)
    subprocess.run(["apt-get", "download", package], cwd=fetch, check=True,
                   stdout=subprocess.DEVNULL)
    deb = next(fetch.glob("*.deb"))
    unpacked = fetch / "root"
    unpacked.mkdir()
    tar = subprocess.Popen(["dpkg-deb", "--fsys-tarfile", str(deb)], stdout=subprocess.PIPE)
    subprocess.run(["tar", "-x", "-C", str(unpacked), "--wildcards", "./boot/vmlinuz-*"]
                   + [f"*/{m}.ko" for m in MODULES], stdin=tar.stdout, check=True)
    tar.wait()
    image = next((unpacked / "boot").glob("vmlinuz-*")).read_bytes()
    start = image.find(b"\xfd7zXZ\x00")
    if start < 0:
        raise SystemExit("lane: the kernel image holds no xz stream")
    elf = lzma.LZMADecompressor().decompress(image[start:])
    if elf[:4] != b"\x7fELF":
        raise SystemExit("lane: the kernel's payload is not an ELF image")
    modules.mkdir(exist_ok=True)
    for module in MODULES:
        shutil.copy(next(unpacked.rglob(f"{module}.ko")), modules / f"{module}.ko")
    vmlinux.write_bytes(elf)
    shutil.rmtree(fetch)
    return vmlinux, modules


def shared_libraries(program):
    libraries = []
    for line in subprocess.run(["ldd", program], check=True, capture_output=True,
                               text=True).stdout.splitlines():
        found = re.search(r"(/\S+) \(0x", line)
        if found:
            libraries.append(found.group(1))
    return libraries


def backup_file(image, description=b"Driver lane"):
    return BACKUP_HEADER + description + b"\n" + struct.pack("<I", len(image)) + image


def write_initramfs(path, files):
    """A newc cpio of {guest path: (mode, bytes or link target)}."""
    out = bytearray()
    inode = 1

    def entry(name, mode, data):
        nonlocal inode
        name_bytes = name.encode() + b"\0"
        header = "070701" + "".join(f"{v:08x}" for v in (
            inode, mode, 0, 0, 1, 0, len(data), 0, 0, 0, 0, len(name_bytes), 0))
        inode += 1
        out.extend(header.encode() + name_bytes)
        out.extend(b"\0" * (-len(out) % 4))
        out.extend(data)
        out.extend(b"\0" * (-len(out) % 4))

    folders = set()
    for name in files:
        parts = name.split("/")[:-1]
        for i in range(1, len(parts) + 1):
            folders.add("/".join(parts[:i]))
    for folder in sorted(folders):
        entry(folder, 0o040755, b"")
    for name, (mode, data) in sorted(files.items()):
        entry(name, mode, data)
    entry("TRAILER!!!", 0, b"")
    path.write_bytes(bytes(out))


def make_initramfs(work, build, modules):
    programs = [build / "tools" / "bc245xlt-cli", build / "tests" / "bc245xlt-lane-probe"]
    files = {
        "init": (0o100755, (ROOT / "tests/drivers/guest-init.sh").read_bytes()),
        "bin/busybox": (0o100755, Path("/bin/busybox").read_bytes()),
        "bin/sh": (0o120777, b"busybox"),
        "etc/passwd": (0o100644, b"root:x:0:0:root:/root:/bin/sh\nscan:x:1000:1000:scan:/tmp:/bin/sh\n"),
        "etc/group": (0o100644, b"root:x:0:\ndialout:x:20:scan\nscan:x:1000:\n"),
        "images/pattern.mrv": (0o100644, backup_file(IMAGE)),
        "images/pattern.bin": (0o100644, IMAGE),
    }
    for program in programs:
        files[f"bin/{program.name}"] = (0o100755, program.read_bytes())
        for library in shared_libraries(program):
            real = Path(os.path.realpath(library))
            files[library.lstrip("/")] = (0o100755, real.read_bytes())
    for module in MODULES:
        files[f"lib/modules/{module}.ko"] = (0o100644, (modules / f"{module}.ko").read_bytes())
    initramfs = work / "initramfs.cpio"
    write_initramfs(initramfs, files)
    return initramfs


# --- The running parts --------------------------------------------------------


class Lines:
    """The lines a process prints, each with the time it came."""

    def __init__(self, stream, log):
        self.queue = queue.Queue()
        self.seen = []
        # Lines that came while something else was waited for: a job's end
        # can come before the command that started it has answered.
        self.unclaimed = []
        self.log = log
        threading.Thread(target=self._read, args=(stream,), daemon=True).start()

    def _read(self, stream):
        for raw in iter(stream.readline, b""):
            text = raw.decode(errors="replace").rstrip("\r\n")
            self.log.write(f"{time.monotonic():.3f} {text}\n")
            self.log.flush()
            self.queue.put((time.monotonic(), text))
        self.queue.put((time.monotonic(), None))

    def forget(self, pattern):
        """Drops the unclaimed lines that match, left by an earlier job."""
        self.unclaimed = [(at, text) for at, text in self.unclaimed if not re.search(pattern, text)]

    def wait(self, pattern, timeout):
        """The first unclaimed line that matches, or the first one from now on:
        (time, match)."""
        for i, (at, text) in enumerate(self.unclaimed):
            found = re.search(pattern, text)
            if found:
                del self.unclaimed[i]
                return at, found
        deadline = time.monotonic() + timeout
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                raise CheckFailed(f"no line matching {pattern!r} within {timeout} s")
            try:
                at, text = self.queue.get(timeout=left)
            except queue.Empty:
                continue
            if text is None:
                raise CheckFailed(f"the output ended before a line matching {pattern!r}")
            self.seen.append(text)
            found = re.search(pattern, text)
            if found:
                return at, found
            if text.startswith("@@EXIT"):
                self.unclaimed = self.unclaimed[-100:] + [(at, text)]


class Guest:
    def __init__(self, work, sockets, vmlinux, initramfs):
        self.trace = sockets / "trace.log"
        events = sockets / "trace-events"
        events.write_text("usb_serial_handle_control\nusb_serial_set_baud\nusb_serial_set_data\n"
                          "usb_serial_set_flow_control\nusb_serial_reset\n")
        self.qmp_path = sockets / "qmp.sock"
        command = [
            "qemu-system-x86_64", "-M", "pc", "-m", "256", "-smp", "1", "-accel", "tcg",
            "-nodefaults", "-display", "none", "-no-reboot",
            "-kernel", str(vmlinux), "-initrd", str(initramfs),
            "-append", "console=ttyS0 quiet loglevel=1 panic=-1",
            "-chardev", "stdio,id=console,signal=off", "-serial", "chardev:console",
            "-chardev", f"socket,id=uart,path={sockets}/uart.sock,reconnect=1",
            "-serial", "chardev:uart",
            "-device", "qemu-xhci,id=xhci",
            "-chardev", f"socket,id=ftdi,path={sockets}/ftdi.sock,reconnect=1",
            "-device", "usb-serial,id=adapter,bus=xhci.0,chardev=ftdi,always-plugged=on",
            "-qmp", f"unix:{self.qmp_path},server=on,wait=off",
            "-trace", f"events={events},file={self.trace}",
        ]
        self.process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=open(work / "qemu.err", "wb"))
        self.console = Lines(self.process.stdout, open(work / "console.log", "w"))
        self.qmp = None
        self.unresponsive = False

    def boot(self, timeout=120):
        self.console.wait(r"^@@READY", timeout)
        self.qmp = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.qmp.connect(str(self.qmp_path))
        self.qmp_file = self.qmp.makefile("rwb")
        json.loads(self.qmp_file.readline())
        self.qmp_command("qmp_capabilities")

    def qmp_command(self, command, **arguments):
        self.qmp_file.write(json.dumps({"execute": command, "arguments": arguments}).encode() + b"\n")
        self.qmp_file.flush()
        while True:
            reply = json.loads(self.qmp_file.readline())
            if "return" in reply:
                return reply["return"]
            if "error" in reply:
                raise CheckFailed(f"QMP {command}: {reply['error']['desc']}")

    def run(self, command, timeout=30):
        """Runs a shell command in the guest: (status, output lines)."""
        if self.unresponsive:
            raise CheckFailed("the test machine no longer answers")
        self.console.seen = []
        self.process.stdin.write(command.encode() + b"\n")
        self.process.stdin.flush()
        try:
            self.console.wait(r"^@@RC (\d+)$", timeout)
        except CheckFailed:
            self.unresponsive = True
            raise
        lines = self.console.seen
        status = int(re.match(r"^@@RC (\d+)$", lines[-1]).group(1))
        return status, [line for line in lines[:-1] if not line.startswith("@@")]

    def ok(self, command, timeout=30):
        status, lines = self.run(command, timeout)
        if status != 0:
            raise CheckFailed(f"`{command}` ended with {status}: {' | '.join(lines[-5:])}")
        return lines

    def output(self, command, timeout=30):
        return "\n".join(self.run(command, timeout)[1])

    def stop(self):
        if self.process.poll() is None:
            try:
                self.run("poweroff -f", timeout=5)
            except CheckFailed:
                pass
            self.process.kill()
        self.process.wait()


class Receiver:
    """The virtual receiver on the host end of one of the guest's ports."""

    def __init__(self, program, log, *arguments):
        self.process = subprocess.Popen([str(program), *arguments], stdout=subprocess.PIPE,
                                        stderr=subprocess.STDOUT)
        self.lines = Lines(self.process.stdout, log)

    def wait(self, pattern, timeout=10):
        return self.lines.wait(pattern, timeout)

    def end(self):
        if self.process.poll() is None:
            self.process.terminate()
        try:
            self.process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


# --- The checks ---------------------------------------------------------------


class Lane:
    def __init__(self, guest, work, sockets, receiver_program):
        self.guest = guest
        self.work = work
        self.sockets = sockets
        self.receiver_program = receiver_program
        self.receiver_log = open(work / "receivers.log", "w")
        self.results = []
        (work / "pattern.bin").write_bytes(IMAGE)

    def receiver(self, port, *arguments):
        self.receiver_log.write(f"--- {port['name']}: {' '.join(arguments)}\n")
        return Receiver(self.receiver_program, self.receiver_log, *arguments,
                        "--socket", str(self.sockets / port["socket"]), "--timeout", "20")

    def check(self, name, body):
        started = time.monotonic()
        try:
            detail = body()
            self.results.append((name, True))
            say(f"PASS {name} ({time.monotonic() - started:.1f} s){': ' + detail if detail else ''}")
        except CheckFailed as failure:
            self.results.append((name, False))
            say(f"FAIL {name}: {failure}")
        except Exception as failure:  # a fault of the lane itself still fails only its check
            self.results.append((name, False))
            say(f"FAIL {name}: {type(failure).__name__}: {failure}")

    # A download into the guest: the tool waits first, then the receiver
    # (which cannot see the port being opened) starts sending.
    def download(self, port, target, tool_port, receiver_arguments=(), tool_arguments="",
                 timeout=60, during=None):
        guest = self.guest
        guest.console.forget(r"^@@EXIT get ")
        guest.ok(f"bg get bc245xlt-cli get --port {tool_port} -o {target} --force {tool_arguments}")
        guest.ok("waitfor /tmp/get.log 'Awaiting MDL query' 20")
        # From here on the port is set up: what the device is told is the tool's doing.
        self.set_up_at = os.path.getsize(guest.trace)
        receiver = self.receiver(port, "first", "--image", str(self.work / "pattern.bin"),
                                 *receiver_arguments)
        try:
            connected, _ = receiver.wait(r"^Connected\.", 10)
            extra = during(receiver) if during else None
            ended, found = guest.console.wait(r"^@@EXIT get (\d+)$", timeout)
            self.ended_at = ended
            return int(found.group(1)), ended - connected, extra, receiver
        finally:
            receiver.end()

    # An upload from the guest: the receiver listens first.
    def upload(self, port, source, tool_port, receiver_arguments=(), timeout=60, during=None):
        guest = self.guest
        received = self.work / f"received-{port['name']}.bin"
        received.unlink(missing_ok=True)
        receiver = self.receiver(port, "clone", "--out", str(received), *receiver_arguments)
        try:
            connected, _ = receiver.wait(r"^Connected\.", 10)
            guest.console.forget(r"^@@EXIT send ")
            guest.ok(f"bg send bc245xlt-cli send --yes --port {tool_port} {source}")
            extra = during(receiver) if during else None
            ended, found = guest.console.wait(r"^@@EXIT send (\d+)$", timeout)
            self.ended_at = ended
            try:
                receiver.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                pass  # an exchange that was cut off; the receiver is ended below
            data = received.read_bytes() if received.exists() else b""
            return int(found.group(1)), data, extra
        finally:
            receiver.end()

    def expect_exit(self, status, wanted, log):
        if status != wanted:
            raise CheckFailed(f"exit status {status}, not {wanted}: "
                              + self.guest.output(f"tail -n 3 /tmp/{log}.log").replace("\n", " | "))

    def transfers(self, port, by):
        tool_port = port["com"] if by == "name" else port["device"]
        status, _, _, _ = self.download(port, "/tmp/got.mrv", tool_port)
        self.expect_exit(status, 0, "get")
        self.guest.ok("bc245xlt-cli diff /tmp/got.mrv /images/pattern.bin")
        status, data, _ = self.upload(port, "/images/pattern.mrv", tool_port)
        self.expect_exit(status, 0, "send")
        if data != IMAGE:
            raise CheckFailed(f"the receiver kept {len(data)} bytes that differ from the image")
        return f"get and send of {RECORDS} records byte-exact by {tool_port}"

    def trace_lines(self, start, end):
        with open(self.guest.trace, "rb") as trace:
            trace.seek(start)
            return trace.read(end - start).decode(errors="replace").splitlines()

    def latency_changes(self, start, end):
        """The latency timers the adapter was told between two trace offsets
        (FTDI's vendor request 0x09, the value in ms)."""
        told = []
        for line in self.trace_lines(start, end):
            found = re.search(r"got control (0x[0-9a-f]+), value (0x[0-9a-f]+)", line)
            if found and int(found.group(1), 16) == 0x4009:
                told.append(int(found.group(2), 16) & 0xFF)
        return told

    def modem_changes(self, start, end):
        """What the adapter was told of DTR and RTS between two trace offsets."""
        with open(self.guest.trace, "rb") as trace:
            trace.seek(start)
            text = trace.read(end - start).decode(errors="replace")
        changes = []
        for found in re.finditer(r"got control (0x[0-9a-f]+), value (0x[0-9a-f]+)", text):
            request, value = int(found.group(1), 16), int(found.group(2), 16)
            if request == 0x4001:  # FTDI SET_MODEM_CTRL: mask in the high byte
                if value & 0x0100:
                    changes.append(("DTR", bool(value & 0x01)))
                if value & 0x0200:
                    changes.append(("RTS", bool(value & 0x02)))
        return changes

    def line_and_access(self, port):
        """One paced download, with the line watched from outside the port and
        a second opener as an ordinary user and as root."""
        guest = self.guest
        uart = port["name"] == "uart"
        opened_at = os.path.getsize(guest.trace)
        probes = {}

        def during(receiver):
            guest.ok("waitfor /tmp/get.log 'Writing model information' 20 && sleep 0.3")
            if uart:
                guest.ok("uartlines watch")
            pid = guest.output("cat /tmp/get.pid").strip()
            probes["settings"] = guest.output(f"bc245xlt-lane-probe termios {pid} {port['device']}")
            probes["user"] = guest.run(f"su scan -c 'bc245xlt-cli get -q --port {port['com']} "
                                       f"-o /tmp/user.mrv'")
            probes["root"] = guest.run(f"bc245xlt-cli get -q --port {port['device']} "
                                       f"-o /tmp/root.mrv")
            probes["user-probe"] = guest.run(f"su scan -c 'bc245xlt-lane-probe open {port['com']}'")
            probes["trace-mid"] = os.path.getsize(guest.trace)

        status, _, _, _ = self.download(port, "/tmp/watched.mrv", port["com"], ("--pace", "8"),
                                        during=during)
        trace_end = os.path.getsize(guest.trace)
        trace_start = self.set_up_at
        self.expect_exit(status, 0, "get")
        guest.ok("bc245xlt-cli diff /tmp/watched.mrv /images/pattern.bin")
        results = {}

        # Line settings, read through the tool's own descriptor.
        words = probes["settings"].split()
        wanted = ["9600", "cs8", "-parenb", "-cstopb", "clocal", "cread", "-crtscts", "-ixon",
                  "-ixoff", "-iflag-translation", "-opost", "-icanon", "-echo", "-isig", "-iexten"]
        if not uart:
            wanted.append("low-latency")
        missing = [w for w in wanted if w not in words]
        if missing or "min 1 time 0" not in probes["settings"]:
            results["line settings"] = f"{probes['settings']!r} lacks {missing}"
        else:
            results["line settings"] = (None, probes["settings"])

        # DTR and RTS, as the port's driver or the device was told.
        if uart:
            guest.ok("touch /tmp/watch.stop; sleep 0.05")
            samples = guest.output("sort -u /tmp/watch.lines").split("\n")
            count = guest.output("wc -l < /tmp/watch.lines").strip()
            raised = [s for s in samples if re.search(r"\b(DTR|RTS)\b", s)]
            results["DTR and RTS low"] = (f"raised in {raised}" if raised else None,
                                          f"{count} samples of /proc/tty/driver/serial: "
                                          f"{' / '.join(s.strip() for s in samples)}")
        else:
            raised = [c for c in self.modem_changes(trace_start, trace_end) if c[1]]
            at_open = self.modem_changes(opened_at, trace_start)
            results["DTR and RTS low"] = (
                f"the adapter was told {raised} during the transfer" if raised else None,
                f"nothing raised them during the transfer; the open and the set-up told the "
                f"adapter {', '.join(f'{line} {int(on)}' for line, on in at_open)}")

        # The adapter's latency timer: 1 ms while the port is open, the
        # driver's own again once it is closed.
        if not uart:
            told = self.latency_changes(opened_at, os.path.getsize(guest.trace))
            during_transfer = self.latency_changes(opened_at, trace_start)
            problem = None
            if 1 not in during_transfer:
                problem = f"not told 1 ms when the port opened (told {told})"
            elif not told or told[-1] == 1:
                problem = f"left at 1 ms after the port closed (told {told})"
            lines = [line for line in self.trace_lines(opened_at, os.path.getsize(guest.trace))
                     if "0x4009" in line]
            results["latency timer"] = (problem or None,
                                        f"told {', '.join(f'{ms} ms' for ms in told)}: "
                                        f"{lines[0].strip() if lines else ''}")

        # Exclusive use.
        user_status, user_lines = probes["user"]
        root_status, root_lines = probes["root"]
        problems = []
        if user_status != 3 or "busy" not in " ".join(user_lines):
            problems.append(f"ordinary user: {user_status} {user_lines}")
        if root_status != 3 or "busy" not in " ".join(root_lines):
            problems.append(f"root: {root_status} {root_lines}")
        if probes["user-probe"][0] != 3:
            problems.append(f"probe: {probes['user-probe']}")
        results["second opener refused"] = ("; ".join(problems) if problems else None,
                                             (root_lines or ["?"])[-1])
        return results

    def free_after(self, port):
        guest = self.guest
        lines = guest.ok(f"su scan -c 'bc245xlt-lane-probe open {port['com']}'")
        guest.console.forget(r"^@@EXIT get ")
        guest.ok(f"bg get bc245xlt-cli get --port {port['com']} -o /tmp/killed.mrv --force")
        guest.ok("waitfor /tmp/get.log 'Awaiting MDL query' 20")
        guest.ok("kill -9 $(cat /tmp/get.pid)")
        guest.console.wait(r"^@@EXIT get \d+$", 10)
        started = time.monotonic()
        after_kill = guest.ok(f"su scan -c 'bc245xlt-lane-probe open {port['com']}'")
        leftover = guest.output("ls /run/lock")
        if guest.run("test -e /tmp/killed.mrv")[0] == 0:
            raise CheckFailed("the killed download left its file")
        return (f"after a transfer: {lines[-1]}; after SIGKILL: {after_kill[-1]} "
                f"({time.monotonic() - started:.2f} s; lock folder: {leftover or 'empty'})")

    def silent(self, port):
        def during(receiver):
            receiver.wait(r"hung up by request", 30)
            return time.monotonic()

        status, _, hung_up, _ = self.download(port, "/tmp/silent.mrv", port["com"],
                                              ("--hang-up", "100"), during=during)
        ended = self.ended_at
        self.expect_exit(status, 4, "get")
        text = self.guest.output("cat /tmp/get.log")
        if "No response from scanner" not in text:
            raise CheckFailed(f"the tool said {text!r}")
        waited = ended - hung_up
        if not 4.8 <= waited <= 6.0:
            raise CheckFailed(f"it ended {waited:.2f} s after the far end closed")
        return f"'No response from scanner' {waited:.2f} s after the host end closed"

    def replug(self):
        guest = self.guest
        guest.qmp_command("device_add", driver="usb-serial", id="adapter", bus="xhci.0",
                          chardev="ftdi", **{"always-plugged": True})
        guest.ok("waitfor /proc/tty/driver/usbserial '^0:' 20 && "
                 "while [ ! -e /dev/ttyUSB0 ]; do usleep 20000; done; ports")

    def unplug(self, port):
        guest = self.guest
        guest.ok("cp /tmp/got.mrv /tmp/earlier.mrv && md5sum /tmp/earlier.mrv > /tmp/earlier.md5")
        timings = []

        def pull(receiver):
            time.sleep(1.5)
            guest.qmp_command("device_del", id="adapter")
            return time.monotonic()

        def expect_line_lost(status, pulled, command, log, when):
            """The tool ended with a line failure soon after the pull. The pull
            is met by a read or by a write, whichever comes first."""
            timings.append(self.ended_at - pulled)
            self.expect_exit(status, 4, command)
            text = guest.output(f"cat {log}")
            if ("ERROR: Serial port read failed" not in text and
                    "ERROR: Serial port write failed" not in text):
                raise CheckFailed(f"{when} the tool said {text!r}")

        status, _, pulled, _ = self.download(port, "/tmp/earlier.mrv", port["com"],
                                             ("--pace", "20"), during=pull)
        try:
            expect_line_lost(status, pulled, "get", "/tmp/get.log", "mid-download")
            guest.ok("md5sum -c /tmp/earlier.md5")
            console = guest.output(f"bc245xlt-lane-probe open {port['com']}")
            if "system console" not in console:
                raise CheckFailed(
                    f"with the adapter gone, COM1 on the console was not refused: {console!r}")
        finally:
            self.replug()  # the cases after this one need the adapter
        status, _, _, _ = self.download(port, "/tmp/replugged.mrv", port["com"])
        self.expect_exit(status, 0, "get")
        guest.ok("bc245xlt-cli diff /tmp/replugged.mrv /images/pattern.bin")

        status, _, pulled = self.upload(port, "/images/pattern.mrv", port["com"], ("--pace", "20"),
                                        during=pull)
        try:
            expect_line_lost(status, pulled, "send", "/tmp/send.log", "mid-upload")
        finally:
            self.replug()  # the cases after this one need the adapter
        if max(timings) > 1.0:
            raise CheckFailed(f"the tool took {max(timings):.2f} s to end")
        return (f"ended {timings[0] * 1000:.0f} ms after the pull mid-download and "
                f"{timings[1] * 1000:.0f} ms mid-upload; earlier file intact; replugged adapter "
                f"downloaded again; COM1 then led to the console and was refused")

    def paced(self, port):
        status, elapsed, _, _ = self.download(port, "/tmp/paced.mrv", port["com"],
                                              ("--baud", "9600"), timeout=90)
        self.expect_exit(status, 0, "get")
        self.guest.ok("bc245xlt-cli diff /tmp/paced.mrv /images/pattern.bin")
        # The receiver waits 0.1 s after the connection before its query.
        ratio = (elapsed - 0.1) / LINE_SECONDS
        return f"wall/line time {ratio:.4f} ({elapsed - 0.1:.2f} s for {LINE_SECONDS:.2f} s)"

    def doctor(self):
        """What `ports` reads off the kernel: drivers, USB ids, the console and
        the phantom UART."""
        data = json.loads(self.guest.output("bc245xlt-cli ports --json"))
        names = {entry["name"]: entry for entry in data["names"]}
        devices = {entry["path"]: entry for entry in data["devices"]}
        problems = []
        if names["COM1"]["device"] != "/dev/ttyUSB0" or names["COM2"]["device"] != "/dev/ttyS1":
            problems.append(f"COM1 and COM2 lead to {names['COM1']['device']} and "
                            f"{names['COM2']['device']}")
        if names["COM3"]["device"] is not None or "no UART" not in (names["COM3"]["problem"] or ""):
            problems.append(f"COM3: {names['COM3']}")
        usb = devices.get("/dev/ttyUSB0", {})
        if usb.get("driver") != "ftdi_sio" or usb.get("usb_id") != "0403:6001":
            problems.append(f"ttyUSB0: {usb}")
        if not isinstance(usb.get("latency_timer"), int):
            problems.append(f"ttyUSB0's latency timer is not read from sysfs: {usb}")
        uart = devices.get("/dev/ttyS1", {})
        if not uart.get("driver") or uart.get("usb_id") is not None or not uart.get("may_open"):
            problems.append(f"ttyS1: {uart}")
        if not devices.get("/dev/ttyS0", {}).get("console"):
            problems.append("ttyS0 is not shown as the console")
        if "/dev/ttyS2" in devices:
            problems.append("the phantom ttyS2 is listed")
        if problems:
            raise CheckFailed("; ".join(problems))
        return (f"ttyUSB0 {usb['driver']} {usb['usb_id']} ({usb['product']}, latency timer "
                f"{usb['latency_timer']} ms), ttyS1 "
                f"{uart['driver']}, ttyS0 the console, phantom ttyS2 not listed")

    def held_open(self):
        """A program with the adapter open and no lock, as a modem manager's
        probe is: the tool refuses the port and names it, and `ports` too."""
        guest = self.guest
        # Only the holder itself has the device: its sleeps do not inherit it.
        guest.ok("printf '#!/bin/sh\\nexec 3<>/dev/ttyUSB0\\nwhile :; do sleep 1 3<&-; done\\n' "
                 "> /tmp/ModemManager && chmod +x /tmp/ModemManager")
        guest.console.forget(r"^@@EXIT hold ")
        guest.ok("bg hold /tmp/ModemManager")
        try:
            guest.ok("rounds=250; while ! ls -l /proc/$(cat /tmp/hold.pid)/fd | grep -q ttyUSB0; "
                     "do usleep 20000; rounds=$((rounds - 1)); [ $rounds -gt 0 ] || exit 1; done")
            status, lines = guest.run("bc245xlt-cli get --port COM1 -o /tmp/held.mrv --force")
            said = " | ".join(lines)
            if status != 3 or "busy: held by process" not in said:
                raise CheckFailed(f"exit status {status}: {said}")
            if "sudo systemctl stop ModemManager" not in said:
                raise CheckFailed(f"the remedy is missing: {said}")
            doctor = json.loads(guest.output("bc245xlt-cli ports --json"))
            usb = [entry for entry in doctor["devices"] if entry["path"] == "/dev/ttyUSB0"][0]
            if not usb["busy"] or not usb["holders"]:
                raise CheckFailed(f"ports says {usb}")
            return f"{said.split(': busy: ')[-1].split(';')[0]}; ports names it too"
        finally:
            guest.run("kill $(cat /tmp/hold.pid)")
            guest.console.wait(r"^@@EXIT hold \d+$", 10)

    def run(self):
        guest = self.guest
        adapter = {"name": "adapter", "com": "COM1", "device": "/dev/ttyUSB0", "socket": "ftdi.sock"}
        uart = {"name": "uart", "com": "COM2", "device": "/dev/ttyS1", "socket": "uart.sock"}

        def names():
            com3 = guest.output("bc245xlt-lane-probe open COM3")
            if "no UART behind /dev/ttyS2" not in com3:
                raise CheckFailed(f"COM3: {com3!r}")
            product = guest.output("cat /sys/class/tty/ttyUSB0/device/../../product")
            return f"COM1 is ttyUSB0 ({product}), COM2 ttyS1; {com3}"

        self.check("port names: COM1 adapter, COM2 UART, COM3 on a phantom ttyS2", names)
        self.check("port doctor on the kernel's own sysfs", self.doctor)
        self.check("adapter: held open without a lock, it is busy", self.held_open)
        for port in (adapter, uart):
            label = port["name"]
            self.check(f"{label}: transfers by COM name", lambda p=port: self.transfers(p, "name"))
            self.check(f"{label}: transfers by path", lambda p=port: self.transfers(p, "path"))
            watched = {}

            def watch(p=port):
                watched.update(self.line_and_access(p))
                return "paced download byte-exact"

            self.check(f"{label}: watched download", watch)
            names = ["line settings", "DTR and RTS low", "second opener refused"]
            if port["name"] != "uart":
                names.insert(2, "latency timer")
            for name in names:
                def verdict(name=name):
                    if name not in watched:
                        raise CheckFailed("the watched download did not run")
                    outcome = watched[name]
                    problem, detail = outcome if isinstance(outcome, tuple) else (outcome, None)
                    if problem:
                        raise CheckFailed(problem)
                    return detail
                self.check(f"{label}: {name}", verdict)
            self.check(f"{label}: port free after a transfer and after SIGKILL",
                       lambda p=port: self.free_after(p))
            if port is adapter:
                self.check(f"{label}: unplug mid-download and mid-upload",
                           lambda p=port: self.unplug(p))
            self.check(f"{label}: far side silent", lambda p=port: self.silent(p))
            self.check(f"{label}: paced download at 9600 baud", lambda p=port: self.paced(p))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default="build", help="the build folder (default: build)")
    parser.add_argument("--keep", action="store_true", help="keep the sockets and logs")
    args = parser.parse_args()
    build = (ROOT / args.build).resolve() if not Path(args.build).is_absolute() else Path(args.build)
    work = build / "drivers"
    work.mkdir(parents=True, exist_ok=True)
    started = time.monotonic()
    vmlinux, modules = fetch_kernel(work)
    initramfs = make_initramfs(work, build, modules)
    say(f"lane: kernel and initramfs ready in {time.monotonic() - started:.1f} s")
    # Socket paths must stay short; they live in a folder of their own.
    sockets = Path(tempfile.mkdtemp(prefix="bcu-lane-"))
    guest = Guest(work, sockets, vmlinux, initramfs)
    lane = Lane(guest, work, sockets, build / "tools" / "bc245xlt-virtual-receiver")
    try:
        booted = time.monotonic()
        lane.check("the test machine boots", lambda: (guest.boot(), f"in {time.monotonic() - booted:.1f} s")[1])
        if lane.results[-1][1]:
            lane.run()
    finally:
        guest.stop()
        if not args.keep:
            shutil.rmtree(sockets, ignore_errors=True)
    passed = sum(1 for _, ok in lane.results if ok)
    failed = len(lane.results) - passed
    say(f"lane: {time.monotonic() - started:.0f} s in all; logs in {work}")
    say(f"{passed} passed, {failed} failed")
    return 0 if failed == 0 and passed > 1 else 1


if __name__ == "__main__":
    sys.exit(main())
