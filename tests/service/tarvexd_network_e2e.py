#!/usr/bin/env python3
"""Pages from the network through the station: HylaFAX's sendpage, Perl's Net::SNPP and curl
(WCTP) hand pages to tarvexd, which plays them into the private PulseAudio server's null sink;
they decode with multimon-ng (German text with -C DE). Then a crash test: SNPP clients send
while tarvexd is on air, tarvexd is killed with SIGKILL, started again, and every page that
got its 250 goes out: none lost, none twice beyond a logged repeat of the page on air, each
client's pages in its order.

  tarvexd_network_e2e.py --env PULSE_ENV --tarvexd tarvexd --cli tarvex-cli --work DIR
"""

import os
import re
import signal
import socket
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from pulse_tools import fixture_args, start_recorder, stop_recorder, wait_until  # noqa: E402
from tarvexd_e2e import Station, check, failures, free_port  # noqa: E402

NET_SNPP = r'''
my ($port) = @ARGV;
my $s = Net::SNPP->new("127.0.0.1", Port => $port, Timeout => 20) or die "no connection\n";
$s->send(Pager => ["1004"], Message => "Perl via Net::SNPP") or die "send: " . $s->message;
$s->quit;
print "net-snpp ok\n";
'''
WCTP = ('<?xml version="1.0"?>\n<!DOCTYPE wctp-Operation SYSTEM '
        '"http://dtd.wctp.org/wctpv1-0.dtd">\n<wctp-Operation wctpVersion="wctp-dtd-v1r1">'
        '<wctp-SubmitRequest><wctp-SubmitHeader><wctp-Originator senderID="ward7"/>'
        '<wctp-MessageControl messageID="42"/><wctp-Recipient recipientID="1004"/>'
        '</wctp-SubmitHeader><wctp-Payload><wctp-Alphanumeric>WCTP from curl</wctp-Alphanumeric>'
        '</wctp-Payload></wctp-SubmitRequest></wctp-Operation>')


def decode(raw, work, charset):
    s16 = os.path.join(work, "net.s16")
    subprocess.run(["sox", "-q", "-V1", "-t", "raw", "-r", "96000", "-e", "unsigned-integer",
                    "-b", "8", "-c", "1", raw, "-t", "raw", "-r", "22050", "-e",
                    "signed-integer", "-b", "16", "-c", "1", s16], check=True)
    with open(s16, "ab") as f:
        f.write(bytes(442))
    cmd = ["multimon-ng", "-q", "-t", "raw", "-a", "POCSAG1200", "-f", "alpha", "-i"]
    if charset:
        cmd += ["-C", charset]
    return subprocess.run(cmd + [s16], capture_output=True, text=True).stdout


def real_clients(args):
    st = Station(os.path.join(args.work, "clients"), args)
    snpp, wctp = free_port(), free_port()
    st.args.tarvexd_extra = ["--snpp-port", str(snpp), "--wctp-port", str(wctp)]
    for pager in (["1001", "--ric", "1234567", "--charset", "de"], ["1004", "--ric", "4000"]):
        out = st.cli("pager", "add", *pager)
        check(out.returncode == 0, f"pager add {pager[0]}: {out.stderr.strip()}")
    raw = os.path.join(st.work, "monitor.raw")
    rec = start_recorder(raw)
    proc = st.start()
    try:
        home = os.path.join(st.work, "home")
        with open(os.path.join(home, ".hylarc"), "w") as f:  # sendpage's own config
            f.write(f"Host: 127.0.0.1\nPort: {snpp}\nVerbose: No\n")
        out = subprocess.run(["sendpage", "-p", "1001", "Grüße aus Köln"], capture_output=True,
                             text=True, env=dict(st.env, HOME=home), cwd=home, timeout=60)
        check(out.returncode == 0, f"sendpage: {out.returncode} {out.stderr.strip()}")
        out = subprocess.run(["perl", "-MNet::SNPP", "-e", NET_SNPP, str(snpp)],
                             capture_output=True, text=True, timeout=60)
        check("net-snpp ok" in out.stdout, f"Net::SNPP: {out.stderr.strip()}")
        out = subprocess.run(["curl", "-sS", "-X", "POST", "-H", "Content-Type: text/xml",
                              "--data-binary", WCTP, f"http://127.0.0.1:{wctp}/wctp"],
                             capture_output=True, text=True, timeout=60)
        check('successCode="200"' in out.stdout, f"curl WCTP: {out.stdout[-200:]}")
        wait_until(lambda: st.log_text().count("from network") >= 3, 60, step=0.2)
        time.sleep(0.8)
    finally:
        stop_recorder(rec)
        proc.terminate()
        proc.wait(timeout=20)
    german = decode(raw, st.work, "DE")
    plain = decode(raw, st.work, "")
    check("Address: 1234567  Function: 3  Alpha:   Grüße aus Köln" in german,
          "sendpage's German page decodes exactly with -C DE")
    check("Address:    4000  Function: 3  Alpha:   Perl via Net::SNPP" in plain,
          "Net::SNPP's page decodes")
    check("Address:    4000  Function: 3  Alpha:   WCTP from curl" in plain,
          "curl's WCTP page decodes")
    log = st.log_text()
    numbers = re.findall(r"queued as (#\d+)", log)
    check(len(numbers) >= 3 and all(re.search(re.escape(n) + r" to \S+\): sent", log)
                                    for n in numbers),
          f"each page's sent line carries the number its sender got ({numbers})")


class SnppClient(threading.Thread):
    """Sends numbered pages one after another; keeps the texts that got their 250."""

    def __init__(self, port, number, count=30):
        super().__init__(daemon=True)
        self.port, self.number, self.count, self.acked, self.stop = port, number, count, [], False

    def run(self):
        try:
            s = socket.create_connection(("127.0.0.1", self.port), timeout=10)
            f = s.makefile("rwb")
            f.readline()
            n = 0
            while not self.stop and n < self.count:
                text = f"c{self.number} p{n:03d}"
                replies = []
                for cmd in ("PAGE 2001", "MESS " + text, "SEND"):
                    f.write((cmd + "\r\n").encode())
                    f.flush()
                    replies.append(f.readline().decode())
                if all(r.startswith("250") for r in replies):
                    self.acked.append(text)
                n += 1
                time.sleep(0.15)
        except OSError:
            pass  # the service was killed


def crash(args):
    st = Station(os.path.join(args.work, "crash"), args)
    snpp = free_port()
    st.env["TARVEX_AUDIO"] = "wav:" + os.path.join(st.work, "out.wav")
    st.args.tarvexd_extra = ["--snpp-port", str(snpp), "--wctp-port", str(free_port())]
    st.cli("pager", "add", "2001", "--ric", "2001", "--baud", "2400")
    with open(os.path.join(st.work, "home/config/dovrik-apps/Tarvex.ini"), "a") as f:
        f.write("NetPagesPerMinute=100000\n")
    proc = st.start()
    clients = [SnppClient(snpp, n) for n in range(4)]
    for c in clients:
        c.start()
    # SIGKILL while the clients send and a transmission is on air.
    wait_until(lambda: sum(len(c.acked) for c in clients) >= 5
               and st.port_bytes().endswith(b"\x01"), 60, step=0.005)
    sending = any(c.is_alive() for c in clients)
    on_air = st.port_bytes().endswith(b"\x01")
    proc.send_signal(signal.SIGKILL)
    proc.wait(timeout=10)
    for c in clients:
        c.stop = True
        c.join(10)
    acked = [t for c in clients for t in c.acked]
    check(on_air and sending and len(acked) >= 5,
          f"killed on air while clients sent, {len(acked)} pages acknowledged")
    proc = st.start()
    try:
        def drained():  # one tarvex-cli status per round
            status = st.cli("status").stdout
            return "0 network page(s) waiting" in status and "state: idle" in status

        wait_until(drained, 120, step=0.5)
    finally:
        proc.terminate()
        proc.wait(timeout=20)
    logged = re.findall(r"^2001 - (c\d p\d{3}) - ", open(
        os.path.join(st.folder, "Tarvex-LOG.txt"), encoding="utf-8").read(), re.M)
    missing = sorted(set(acked) - set(logged))
    twice = sorted({t for t in logged if logged.count(t) > 1})
    repeats = st.log_text().count("(repeat)")
    def in_order(n):
        seen = list(dict.fromkeys(t for t in logged if t.startswith(f"c{n} ")))
        return seen == sorted(seen)
    order_ok = all(in_order(n) for n in range(len(clients)))
    print(f"crash: {len(acked)} acknowledged, {len(set(logged))} sent, {len(missing)} lost, "
          f"{len(twice)} sent twice, {repeats} logged as repeats")
    check(not missing, f"every page that got its 250 went out: lost {missing[:5]}")
    check(len(twice) <= repeats, f"a page sent twice only as a logged repeat: {twice}")
    check(order_ok, "each client's pages went out in its order")


def main():
    args = fixture_args("tarvexd", "cli", "work")
    real_clients(args)
    crash(args)
    print(f"{len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
