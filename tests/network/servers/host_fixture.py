"""The test host as the Python tests drive it: a station folder with a small pager
directory, the host started on free ports (it binds port 0 and says which it got), its page
lines read as they come, and the durable queue read back after it has stopped."""

import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import threading

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "e2e"))
from pulse_tools import wait_until  # noqa: E402,F401  (the network tests take it from here)

PAGERS = [  # id, coding, charset, max-length
    ("1001", "alphanumeric", "de", 40),
    ("1002", "numeric", "us", 20),
    ("1003", "tone", "us", 0),
    ("1004", "alphanumeric", "us", 80),
]

PAGE_LINE = re.compile(r"^PAGE id=(\d+) source=(\S+) to=(\S+) from=(\S+) text=(\S*)$")


def unescape(text):
    out, i = bytearray(), 0
    while i < len(text):
        if text.startswith("\\\\", i):
            out += b"\\"; i += 2
        elif text.startswith("\\n", i):
            out += b"\n"; i += 2
        elif text.startswith("\\x", i):
            out.append(int(text[i + 2:i + 4], 16)); i += 4
        else:
            out += text[i].encode(); i += 1
    return out.decode("latin-1")


def parse_pages(lines):
    pages = []
    for line in lines:
        m = PAGE_LINE.match(line)
        if m:
            pages.append({"id": int(m[1]), "source": m[2], "to": unescape(m[3]),
                          "from": unescape(m[4]), "text": unescape(m[5])})
    return pages


def write_directory(folder, pagers=PAGERS):
    with open(os.path.join(folder, "Pagers.txt"), "w") as f:
        for pin, coding, charset, length in pagers:
            f.write(f"[{pin}]\nric = {pin}\nfunction = 3\ncoding = {coding}\nbaud = 1200\n"
                    f"polarity = normal\ncharset = {charset}\nmax-length = {length}\n\n")


class Host:
    def __init__(self, binary, folder, *options):
        self.binary, self.folder = binary, folder
        self.lines, self.log = [], []
        self.proc = subprocess.Popen([binary, "--folder", folder, *options],
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                                     errors="replace")
        self.ready = threading.Event()
        threading.Thread(target=self._read_out, daemon=True).start()
        threading.Thread(target=self._read_err, daemon=True).start()
        if not self.ready.wait(20):
            self.kill()
            raise RuntimeError("host did not start: " + "\n".join(self.log[-5:]))
        ports = dict(line.split() for line in self.lines if line.endswith(tuple("0123456789"))
                     and line.split()[0].endswith("_PORT"))
        self.snpp_port, self.wctp_port = int(ports["SNPP_PORT"]), int(ports["WCTP_PORT"])

    def _read_out(self):
        for line in self.proc.stdout:
            self.lines.append(line.rstrip("\n"))
            if line.startswith("READY"):
                self.ready.set()

    def _read_err(self):
        for line in self.proc.stderr:
            self.log.append(line.rstrip("\n"))

    def pages(self):
        return parse_pages(list(self.lines))

    def running(self):
        return self.proc.poll() is None

    def stop(self):
        if self.running():
            self.proc.send_signal(signal.SIGTERM)
        return self.proc.wait(20)

    def kill(self):
        if self.running():
            self.proc.kill()
        self.proc.wait(20)

    def queued(self):
        """The pages in the durable queue, read by a fresh host process."""
        out = subprocess.run([self.binary, "--folder", self.folder, "--dump-queue"],
                             capture_output=True, text=True, errors="replace", timeout=60)
        if out.returncode != 0:
            raise RuntimeError("dump failed: " + out.stderr)
        return parse_pages(out.stdout.splitlines())


class SnppClient:
    """A plain SNPP client on a socket: one command, one reply (HELP's 214 lines skipped)."""

    def __init__(self, port, timeout=30):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=timeout)
        self.file = self.sock.makefile("rb")
        self.greeting = self.reply()

    def reply(self):
        while True:
            line = self.file.readline().decode("utf-8", "replace").rstrip("\r\n")
            if not line.startswith("214"):
                return line

    def send_raw(self, data):
        self.sock.sendall(data)

    def command(self, line):
        self.sock.sendall(line.encode("utf-8") + b"\r\n")
        return self.reply()

    def close(self):
        self.file.close()  # the socket stays open while its file is
        self.sock.close()


def fresh_folder(path):
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)
    write_directory(path)
    return path
