#!/usr/bin/env python3
"""tarvexd end to end: a station run headless from the settings store, with its auto-send
folder polled; entries dropped there play through Qt Multimedia into the private PulseAudio
server's null sink and decode with multimon-ng. Then the control socket (status, a page
queued, stop, bad and oversized requests), the station hold (a second service is refused and
names the first; a hold left by a service killed with SIGKILL blocks nothing), and SIGTERM in
the middle of a page (the keying line released last, the entries not yet sent handed back).

  tarvexd_e2e.py --env PULSE_ENV --tarvexd tarvexd --cli tarvex-cli --work DIR
"""

import os
import shutil
import signal
import socket
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from pulse_tools import (fixture_args, multimon_decode, pocsag_line, start_recorder,  # noqa: E402
                         stop_recorder, wait_until)

ENTRIES = [  # the entry line, and what the decoder must print for it
    ("11A1200N0001234Hello from tarvexd", pocsag_line(1200, "1234", 3, "alpha",
                                                      "Hello from tarvexd")),
    ("10N2400N00000770123456789", pocsag_line(2400, "77", 2, "numeric", "0123456789")),
]
failures = []


def free_port():
    """A TCP port on loopback that nothing listens on now."""
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what)
    if not ok:
        failures.append(what)


class Station:
    """One private station folder, settings store and runtime folder for tarvexd."""

    def __init__(self, work, args):
        self.work = work
        self.args = args
        shutil.rmtree(work, ignore_errors=True)
        for sub in ("home/config/dovrik-apps", "folder", "run"):
            os.makedirs(os.path.join(work, sub))
        os.chmod(os.path.join(work, "run"), 0o700)
        with open(os.path.join(work, "home/config/dovrik-apps/Tarvex.ini"), "w") as f:
            f.write("[Tarvex]\nAutoSend=1\nCheckRate=2\nLogPages=1\nDelay=100\n")
        self.folder = os.path.join(work, "folder")
        self.port = os.path.join(work, "port.bin")
        self.env = dict(os.environ, HOME=os.path.join(work, "home"),
                        XDG_CONFIG_HOME=os.path.join(work, "home/config"),
                        XDG_RUNTIME_DIR=os.path.join(work, "run"), TARVEX_FOLDER=self.folder,
                        TARVEX_PORT="record:" + self.port)
        self.env.pop("TARVEX_CONTROL", None)
        self.proc = None

    def start(self):
        """Starts a service; returns once it has opened its control socket or ended."""
        log = os.path.join(self.work, "tarvexd.log")
        opened = self.log_text().count("control socket ") if os.path.exists(log) else 0
        self.log = open(log, "a")
        proc = subprocess.Popen([self.args.tarvexd] + getattr(self.args, "tarvexd_extra", []),
                                env=self.env, stdout=subprocess.DEVNULL, stderr=self.log)
        deadline = time.monotonic() + 10
        while self.log_text().count("control socket ") == opened:
            if proc.poll() is not None or time.monotonic() > deadline:
                break
            time.sleep(0.02)
        return proc

    def cli(self, *argv, timeout=20):
        return subprocess.run([self.args.cli] + list(argv), env=self.env, capture_output=True,
                              text=True, timeout=timeout)

    def drop(self, lines):
        with open(os.path.join(self.folder, "AutoSend.Txt"), "ab") as f:
            f.write(b"".join(line.encode() + b"\r\n" for line in lines))

    def port_bytes(self):
        return open(self.port, "rb").read() if os.path.exists(self.port) else b""

    def log_text(self):
        return open(os.path.join(self.work, "tarvexd.log")).read()

    def wait_for_log(self, text, seconds):
        return wait_until(lambda: text in self.log_text(), seconds)


def raw_request(path, data):
    s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    s.settimeout(10)
    s.connect(path)
    s.sendall(data)
    answer = b""
    while True:
        chunk = s.recv(4096)
        if not chunk:
            break
        answer += chunk
    s.close()
    return answer.decode(errors="replace")


def auto_send_on_air(st, args):
    raw = os.path.join(st.work, "monitor.raw")
    rec = start_recorder(raw)
    try:
        st.drop([e for e, _ in ENTRIES])
        st.wait_for_log("page RIC 0000077", 30)
        time.sleep(0.5)
    finally:
        stop_recorder(rec)
    decoded = (multimon_decode(raw, st.work, "alpha", "alpha", False) +
               multimon_decode(raw, st.work, "numeric", "numeric", False))
    for entry, want in ENTRIES:
        check(any(line.startswith(want) for line in decoded.splitlines()),
              f"auto-send entry {entry[:15]}... decoded from the sink: {want}")
    check(not os.path.exists(os.path.join(st.folder, "AutoSend.Txt")),
          "the auto-send file was taken")
    logged = open(os.path.join(st.folder, "Tarvex-LOG.txt"), encoding="utf-8").read()
    check("0001234 - Hello from tarvexd - " in logged, "the page log has the auto-send page")
    check(st.port_bytes().endswith(b"\x01\x00"), "keyed and released through the record port")
    check("from auto send: sent" in st.log_text(), "the service log says what went out")


def control_socket(st):
    status = st.cli("status")
    # It answers: this station's SNPP and WCTP run without a pager directory, which status
    # reports as a fault (exit 2), so any verdict counts here, not only 0.
    check(status.returncode in (0, 1, 2) and "state: idle" in status.stdout and
          "auto send: on" in status.stdout, f"tarvex-cli status answers: {status.stdout!r}")
    queued = st.cli("queue", "--ric", "4321", "--message", "Queued by tarvex-cli")
    check(queued.returncode == 0, f"tarvex-cli queue: {queued.stdout!r} {queued.stderr!r}")
    check(st.wait_for_log("page RIC 0004321 from control", 15), "the queued page went out")
    bad = st.cli("queue", "--entry", "99A1200N0001234bad function bits")
    check(bad.returncode == 2 and "Function bits" in bad.stderr,
          f"a bad entry is refused with its reason: {bad.stderr.strip()!r}")
    # A search runs in the service: both codes go out as pages from the search, then it ends.
    search = st.cli("search", "--from", "7", "--to", "8", "--baud", "2400")
    check(search.returncode == 0 and "search of codes 7 to 8" in search.stdout,
          f"tarvex-cli search: {search.stdout!r} {search.stderr!r}")
    check(st.wait_for_log("page RIC 0000008 from search", 20) and
          "page RIC 0000007 from search" in st.log_text(), "the search sent its two codes")
    check(st.wait_for_log("search ended (done): 2 codes sent, next 0000009", 10),
          "the service logs the search's end")
    path = os.path.join(st.work, "run", "tarvexd.sock")
    check(raw_request(path, b"FROBNICATE\n").startswith("ERR unknown request"),
          "an unknown request gets ERR")
    check(raw_request(path, b"QUEUE " + b"x" * 6000 + b"\n").startswith(
          "ERR request longer than 4096"), "an oversized request gets ERR and changes nothing")
    check(st.cli("status").returncode in (0, 1, 2), "the service still answers after bad requests")


def hold(st, first):
    second = st.start()
    try:
        code = second.wait(timeout=15)
    except subprocess.TimeoutExpired:
        second.kill()
        code = None
    check(code == 3 and f"held by tarvexd (PID {first.pid})" in st.log_text(),
          f"a second tarvexd is refused and names the first (exit {code})")
    first.send_signal(signal.SIGKILL)
    first.wait(timeout=10)
    again = st.start()
    ok = again.poll() is None and st.cli("status").returncode in (0, 1, 2)
    check(ok, "after SIGKILL the hold blocks nothing: a new service starts and answers")
    return again


def sigterm_mid_page(st, proc):
    before = len(st.port_bytes())
    long_page = "11A0512N0000042" + "Cut short by SIGTERM " * 8
    st.drop([long_page, "11A1200N0000043Never sent, handed back"])
    wait_until(lambda: b"\x01" in st.port_bytes()[before:], 20, step=0.01)
    time.sleep(0.5)  # on air
    started = time.monotonic()
    proc.send_signal(signal.SIGTERM)
    code = proc.wait(timeout=15)
    took = time.monotonic() - started
    tail = st.port_bytes()[before:]
    check(code == 0 and tail.endswith(b"\x00"),
          f"SIGTERM mid-page: exit {code} in {took:.2f} s, the last port byte the release")
    returned = open(os.path.join(st.folder, "AutoSend.Txt"), "rb").read()
    check(b"0000043Never sent" in returned, "the entry not yet sent went back to AutoSend.Txt")
    no_service = st.cli("status")
    check(no_service.returncode == 3, f"tarvex-cli status with no service exits 3")


def main():
    args = fixture_args("tarvexd", "cli", "work")
    st = Station(args.work, args)
    proc = st.start()
    if proc.poll() is not None:
        print("FAIL: tarvexd did not start:\n" + st.log_text())
        return 1
    try:
        auto_send_on_air(st, args)
        control_socket(st)
        proc = hold(st, proc)
        sigterm_mid_page(st, proc)
    finally:
        if proc.poll() is None:
            proc.kill()
    print(st.log_text())
    print(f"{len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
