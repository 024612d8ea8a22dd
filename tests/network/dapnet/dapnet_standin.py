#!/usr/bin/env python3
"""A stand-in DAPNET server for tests: one transmitter at a time, the legacy line protocol.

It checks the login line, refuses bad credentials with "7 ...", runs the time sync, sends the
time correction and slot assignment, then plays a scenario: pages (one at a time, the next only
after the acknowledgement; '%' makes it send the page again, at most five tries, '-' drops
it), slot changes, raw lines, over-long lines, a link dropped mid-page or right after a page,
a silent server. A page that was not acknowledged is sent first on the next connection.

    dapnet_standin.py --scenario FILE --report FILE [--host 127.0.0.1] [--port 0]

It prints "PORT <n>" once it listens, plays each connection of the scenario in turn and writes
a JSON report (what was acknowledged, refused, retried, every protocol error it saw, when each
connection began and ended) before it exits.
"""
import argparse
import json
import re
import socket
import sys
import time

LOGIN = re.compile(r"\[([/\-A-Za-z0-9]+) v(\d[\d.]+[\x21-\x7e]*) ([A-Za-z0-9_]+) ([A-Za-z0-9]+)\]")
ACK = re.compile(r"#([0-9A-Fa-f]{2}) ([-%+])")
MAX_LINE = 2048
MAX_TRIES = 5


class Dropped(Exception):
    """The transmitter closed the connection."""


class Connection:
    def __init__(self, sock, report, timeout):
        self.sock = sock
        self.report = report
        self.buffer = b""
        self.sock.settimeout(timeout)

    def send(self, data):
        self.sock.sendall(data if isinstance(data, bytes) else data.encode("latin-1"))

    def line(self):
        """The next line from the transmitter, which must end in CR LF."""
        while b"\n" not in self.buffer:
            try:
                chunk = self.sock.recv(4096)
            except socket.timeout:
                raise Dropped("no answer in time")
            if not chunk:
                raise Dropped("closed by the transmitter")
            self.buffer += chunk
            if len(self.buffer) > MAX_LINE + 2 and b"\n" not in self.buffer:
                self.report["errors"].append("line from the transmitter longer than 2048 bytes")
        raw, self.buffer = self.buffer.split(b"\n", 1)
        if not raw.endswith(b"\r"):
            self.report["errors"].append("line without CR LF: %r" % raw[:60])
        text = raw.rstrip(b"\r").decode("latin-1")
        if len(text) > MAX_LINE:
            self.report["errors"].append("line longer than 2048 bytes")
        return text

    def expect(self, wanted, what):
        got = self.line()
        if got != wanted:
            self.report["errors"].append("%s: expected %r, got %r" % (what, wanted, got))
        return got

    def wait_closed(self, limit):
        """Reads until the transmitter closes; the seconds it took."""
        start = time.monotonic()
        self.sock.settimeout(limit)
        try:
            while self.sock.recv(4096):
                pass
        except (socket.timeout, OSError):
            self.report["errors"].append("the transmitter did not close within %s s" % limit)
        return round(time.monotonic() - start, 3)


def page_line(seq, page):
    return "#%02X %d:%X:%X:%d:%s\n" % (seq, page.get("type", 6), page.get("speed", 1),
                                       page.get("ric", 2504), page.get("func", 3),
                                       page.get("text", ""))


class Server:
    def __init__(self, scenario, report_path, listener):
        self.scenario = scenario
        self.report_path = report_path
        self.listener = listener
        self.outbox = []  # pages not yet acknowledged, oldest first
        self.seq = 0
        self.report = {"acked": [], "refused": [], "retried": [], "errors": [], "logins": [],
                       "sync_answers": 0, "slots_acked": 0, "connections": [],
                       "answers_to_overlong": []}

    def handshake(self, conn, plan):
        login = conn.line()
        match = LOGIN.fullmatch(login)
        who = {"name": match.group(1), "version": match.group(2),
               "callsign": match.group(3)} if match else {"invalid": True}
        self.report["logins"].append(who)
        reason = None
        if not match:
            reason = "Invalid welcome message format"
        elif match.group(3) != self.scenario.get("callsign", "dl1abc"):
            reason = "Transmitter not registered"
        elif match.group(4) != self.scenario.get("key", "s3cret"):
            reason = "Invalid credentials"
        reason = plan.get("refuse", reason)
        if reason:
            conn.send("7 %s%s" % (reason, "" if plan.get("refusal_without_newline") else "\n"))
            return False
        for _ in range(self.scenario.get("sync_loops", 5)):
            stamp = "%04X" % (int(time.time() * 10) & 0xFFFF)
            conn.send("2:%s\n" % stamp)
            got = conn.expect("2:%s:0000" % stamp, "time sync answer")
            if conn.expect("+", "time sync end") == "+" and got.startswith("2:"):
                self.report["sync_answers"] += 1
        conn.send("3:%s\n" % self.scenario.get("correction", "+0012"))
        conn.expect("+", "time correction answer")
        self.send_slots(conn, self.scenario.get("slots", "0246AC"))
        return True

    def send_slots(self, conn, slots):
        conn.send("4:%s\n" % slots)
        if conn.expect("+", "slot assignment answer") == "+":
            self.report["slots_acked"] += 1

    def deliver(self, conn):
        """Sends the pages in the outbox, each after the previous one's answer."""
        while self.outbox:
            page = self.outbox[0]
            conn.send(page_line(self.seq, page))
            answer = conn.line()
            match = ACK.fullmatch(answer)
            if not match:
                self.report["errors"].append("not an acknowledgement: %r" % answer)
                self.outbox.pop(0)
                continue
            number, kind = int(match.group(1), 16), match.group(2)
            want = (self.seq + 1) % 256 if kind == "+" else self.seq
            if number != want:
                self.report["errors"].append("answer %r to page #%02X" % (answer, self.seq))
            if kind == "%":
                page["tries"] = page.get("tries", 1) + 1
                self.report["retried"].append({"seq": self.seq, "text": page.get("text", "")})
                if page["tries"] <= MAX_TRIES:
                    continue  # the same page, the same number
            record = {"seq": self.seq, "ric": page.get("ric", 2504),
                      "text": page.get("text", "")}
            if kind == "+":
                self.report["acked"].append(record)
            elif kind == "-":
                self.report["refused"].append(record)
            self.outbox.pop(0)
            self.seq = (self.seq + 1) % 256

    def step(self, conn, step):
        """Plays one step; False when it ended the connection."""
        if "seq" in step:
            self.seq = step["seq"] % 256
        if "slots" in step:
            self.send_slots(conn, step["slots"])
        for line in step.get("send", []):
            conn.send(line.encode("latin-1") + b"\n")
        if "send_bytes" in step:
            conn.send(bytes.fromhex(step["send_bytes"]))
        if "overlong" in step:
            head = "#%02X 6:1:9C8:3:" % self.seq if step.get("as_page") else "x"
            conn.send(head + "y" * (step["overlong"] - len(head)) + "\n")
            if step.get("as_page"):
                self.report["answers_to_overlong"].append(conn.line())
                self.seq = (self.seq + 1) % 256
        pages = list(step.get("pages", []))
        if "page" in step:
            pages.append(step["page"])
        for i in range(step.get("burst", 0)):
            pages.append({"ric": 1000 + i, "text": "burst %02d" % i})
        self.outbox.extend(dict(p) for p in pages)
        self.deliver(conn)
        if "drop_mid_page" in step:
            self.outbox.insert(0, dict(step["drop_mid_page"]))
            whole = page_line(self.seq, self.outbox[0])
            conn.send(whole[: len(whole) // 2])
            time.sleep(0.05)
            return False
        if "drop_after_page" in step:
            self.outbox.insert(0, dict(step["drop_after_page"]))
            conn.send(page_line(self.seq, self.outbox[0]))
            time.sleep(0.05)  # the answer is never read: it counts as lost
            return False
        if step.get("silent"):
            self.report["connections"][-1]["closed_by_client_after"] = conn.wait_closed(
                step.get("limit", 30))
            return False
        if "hold" in step:
            time.sleep(step["hold"])
        return not step.get("close")

    def run(self):
        for plan in self.scenario["connections"]:
            self.listener.settimeout(self.scenario.get("accept_timeout", 30))
            try:
                sock, _ = self.listener.accept()
            except socket.timeout:
                self.report["errors"].append("no connection in time")
                break
            entry = {"start": time.time()}
            self.report["connections"].append(entry)
            conn = Connection(sock, self.report, self.scenario.get("answer_timeout", 10))
            self.seq = plan.get("seq_start", 0)  # numbering starts again on each connection
            try:
                if self.handshake(conn, plan):
                    self.deliver(conn)  # a page left unacknowledged goes first
                    for step in plan.get("steps", []):
                        if not self.step(conn, step):
                            break
                    if plan.get("wait_close"):
                        entry["closed_by_client_after"] = conn.wait_closed(30)
                else:
                    time.sleep(plan.get("linger", 0.05))
            except Dropped as why:
                entry["dropped"] = str(why)
            except OSError as why:
                entry["dropped"] = "socket error: %s" % why
            finally:
                entry["end"] = time.time()
                sock.close()
        self.report["unsent"] = [p.get("text", "") for p in self.outbox]
        with open(self.report_path, "w", encoding="utf-8") as out:
            json.dump(self.report, out, indent=1)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--scenario", required=True)
    parser.add_argument("--report", required=True)
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0)
    args = parser.parse_args()
    with open(args.scenario, encoding="utf-8") as source:
        scenario = json.load(source)
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind((args.host, args.port))
    listener.listen(1)
    print("PORT %d" % listener.getsockname()[1], flush=True)
    Server(scenario, args.report, listener).run()
    listener.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
