#!/usr/bin/env python3
"""The SNPP and WCTP servers driven by real clients and by misbehaving ones.

  servers_test.py --host network_test_host --cli tarvex-cli --work DIR SCENARIO

SCENARIO: real_clients (HylaFAX sendpage, Perl Net::SNPP, curl), logins, load (50 clients x 20
pages), kill (SIGKILL while clients send, then the queue is read back), bad_input,
hostile_http (oversized and cross-site WCTP requests, and the host's peak memory under 32
hostile connections at once)."""

import argparse
import os
import socket
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from host_fixture import Host, SnppClient, fresh_folder, wait_until  # noqa: E402

DOCTYPE = ('<?xml version="1.0" encoding="UTF-8"?>\n'
           '<!DOCTYPE wctp-Operation SYSTEM "http://dtd.wctp.org/wctpv1-0.dtd">\n')
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL:", message)


def submit_xml(recipient, text, originator='senderID="ward7"'):
    return (DOCTYPE + '<wctp-Operation wctpVersion="wctp-dtd-v1r1"><wctp-SubmitRequest>'
            f'<wctp-SubmitHeader><wctp-Originator {originator}/>'
            '<wctp-MessageControl messageID="1"/>'
            f'<wctp-Recipient recipientID="{recipient}"/></wctp-SubmitHeader>'
            f'<wctp-Payload><wctp-Alphanumeric>{text}</wctp-Alphanumeric></wctp-Payload>'
            '</wctp-SubmitRequest></wctp-Operation>')


def curl(port, body, *extra, path="/wctp"):
    """(HTTP status, body) of curl posting the body (bytes or str) to the server."""
    data = body.encode() if isinstance(body, str) else body
    out = subprocess.run(["curl", "-s", "-m", "20", "-w", "\n%{http_code}",
                          "-H", "Content-Type: text/xml", "--data-binary", "@-", *extra,
                          f"http://127.0.0.1:{port}{path}"],
                         input=data, capture_output=True, timeout=30)
    text = out.stdout.decode("utf-8", "replace")
    body, _, status = text.rpartition("\n")
    return int(status or 0), body


def wctp_code(body):
    for key in ('successCode="', 'errorCode="'):
        if key in body:
            return int(body.split(key)[1][:3])
    return 0


def perl(script, *args):
    return subprocess.run(["perl", "-MNet::SNPP", "-e", script, *map(str, args)],
                          capture_output=True, text=True, timeout=60)


def sendpage(home, *args, stdin=None):
    env = dict(os.environ, HOME=home)
    return subprocess.run(["sendpage", *args], input=stdin, capture_output=True, text=True,
                          env=env, timeout=60, cwd=home)


NET_SNPP = r'''
my ($port) = @ARGV;
my $s = Net::SNPP->new("127.0.0.1", Port => $port, Timeout => 20) or die "no connection\n";
$s->send(Pager => ["1001", "1004"], Message => "Perl two") or die "send: " . $s->message;
!$s->send(Pager => ["9999"], Message => "x") && $s->code == 550 or die "unknown pager taken\n";
$s->reset;
$s->pager_id("1004") && $s->data("Perl line one\n.dotted\n") && $s->send or die "data\n";
$s->pager_id("1001");
!$s->send(Message => "z" x 41) && $s->code == 554 && $s->message =~ /at most 40/
    or die "too long: " . $s->code . " " . $s->message;
$s->quit;
print "net-snpp ok\n";
'''


def real_clients(args):
    folder = fresh_folder(os.path.join(args.work, "real"))
    host = Host(args.host, folder)
    home = os.path.join(folder, "home")
    os.makedirs(home)
    with open(os.path.join(home, ".hylarc"), "w") as f:  # sendpage's own config, not /etc
        f.write(f"Host: 127.0.0.1\nPort: {host.snpp_port}\nVerbose: No\n")
    out = sendpage(home, "-p", "1001", "-p", "1004", "Hello from sendpage Grüße")
    check(out.returncode == 0, f"sendpage two pagers: {out.returncode} {out.stderr}")
    out = sendpage(home, "-p", "1004", stdin="first line\nsecond line\n")
    check(out.returncode == 0, f"sendpage from standard input: {out.stderr}")
    out = sendpage(home, "-p", "9999", "nobody")
    check(out.returncode != 0 and "550" in out.stderr, f"sendpage unknown pager: {out.stderr}")
    out = sendpage(home, "-p", "1001", "y" * 41)
    check(out.returncode != 0 and "at most 40" in out.stderr, f"sendpage too long: {out.stderr}")
    out = perl(NET_SNPP, host.snpp_port)
    check(out.returncode == 0 and "net-snpp ok" in out.stdout, f"Net::SNPP: {out.stderr}")
    for name, body, status, code in [
        ("submit", submit_xml("1001", "Bett 3 Caf&#233;"), 200, 200),
        ("version query", DOCTYPE + '<wctp-Operation wctpVersion="wctp-dtd-v1r1">'
         '<wctp-VersionQuery inquirer="curl"/></wctp-Operation>', 200, 0),
        ("unknown sender with a code",
         submit_xml("1004", "x", 'senderID="ghost" securityCode="bad"'), 200, 402),
        ("unknown pager", submit_xml("4242", "x"), 200, 403),
        ("broken XML", DOCTYPE + "<wctp-Operation><wctp-SubmitRequest>", 200, 301),
        ("internal entity", '<?xml version="1.0"?><!DOCTYPE wctp-Operation '
         '[<!ENTITY big "boom">]><wctp-Operation>&big;</wctp-Operation>', 200, 301),
        ("oversized body", "<a>" + "x" * 70000 + "</a>", 413, 301)]:
        got_status, got = curl(host.wctp_port, body)
        check(got_status == status and (code == 0 or wctp_code(got) == code),
              f"WCTP {name}: HTTP {got_status}, {got[-200:]}")
    status, body = curl(host.wctp_port, submit_xml("2000", "new pager"))
    check(wctp_code(body) == 403, "a pager not yet in the directory is refused")
    out = subprocess.run([args.cli, "pager", "add", "2000", "--ric", "2000"], capture_output=True,
                         text=True, env=dict(os.environ, TARVEX_FOLDER=folder), timeout=60)
    check(out.returncode == 0, f"tarvex-cli pager add: {out.stderr}")
    status, body = curl(host.wctp_port, submit_xml("2000", "new pager"))
    check(wctp_code(body) == 200, f"the pager added while running is taken: {body[-200:]}")
    check(curl(host.wctp_port, "", "-X", "GET")[0] == 405, "WCTP GET is refused with 405")
    check(curl(host.wctp_port, "x", path="/other")[0] == 404, "WCTP other path: 404")
    check(host.running(), "the host survived every client")
    wait_until(lambda: len(host.pages()) >= 8)
    texts = sorted((p["to"], p["text"]) for p in host.pages())
    expected = sorted([("1001", "Hello from sendpage Gr}~e"), ("1004", "Hello from sendpage Grusse"),
                       ("1004", "first line\nsecond line"), ("1001", "Perl two"),
                       ("1004", "Perl two"), ("1004", "Perl line one\n.dotted"),
                       ("1001", "Bett 3 Cafe"), ("2000", "new pager")])
    check(texts == expected, f"pages queued: {texts}")
    check(host.stop() == 0, f"the host stops cleanly: {host.log[-3:]}")
    check(sorted(p["id"] for p in host.queued()) == sorted(p["id"] for p in host.pages()),
          "every page printed is in the durable queue")


NET_SNPP_LOGIN = r'''
my ($port) = @ARGV;
my $s = Net::SNPP->new("127.0.0.1", Port => $port, Timeout => 20) or die "no connection\n";
!$s->pager_id("1004") && $s->code == 550 or die "PAGE before LOGI taken\n";
!$s->login("nurse", "wrong") or die "wrong password taken\n";
$s->login("nurse", "pass word") or die "login: " . $s->message;
$s->send(Pager => "1004", Message => "after login") or die "send: " . $s->message;
$s->quit;
print "login ok\n";
'''


def logins(args):
    folder = fresh_folder(os.path.join(args.work, "logins"))
    env = dict(os.environ, TARVEX_FOLDER=folder)
    cli = [args.cli, "snpp-user"]
    out = subprocess.run(cli + ["add", "nurse"], input="pass word\n", capture_output=True,
                         text=True, env=env, timeout=60)
    check(out.returncode == 0, f"snpp-user add: {out.stderr}")
    users = os.path.join(folder, "SnppUsers.txt")
    check(os.stat(users).st_mode & 0o777 == 0o600, "SnppUsers.txt has mode 0600")
    check("pass word" not in open(users).read(), "the password is not stored")
    out = subprocess.run(cli + ["add", "empty"], input="\n", capture_output=True, text=True,
                         env=env, timeout=60)
    check(out.returncode == 2, "an empty password is refused")
    hold = os.path.join(folder, "hold-logins")
    host = Host(args.host, folder, "--require-login", "--hold-logins", hold)
    # While one password check is held, another client is still served.
    open(hold, "w").close()
    slow = SnppClient(host.snpp_port)
    slow.send_raw(b"LOGI nurse guess\r\nHELP\r\n")
    try:
        other = SnppClient(host.snpp_port, timeout=10)
        check(other.command("HELP").startswith("250"), "HELP answered during a password check")
        other.close()
    except OSError as e:
        check(False, f"a held password check blocks other clients: {e}")
    os.remove(hold)
    check(slow.reply().startswith("550") and slow.reply().startswith("250"),
          "the held LOGI is answered, then the line sent behind it")
    slow.close()
    out = perl(NET_SNPP_LOGIN, host.snpp_port)
    check(out.returncode == 0 and "login ok" in out.stdout, f"Net::SNPP login: {out.stderr}")
    for name, originator, code in [
        ("no securityCode", 'senderID="nurse"', 402),
        ("wrong securityCode", 'senderID="nurse" securityCode="nope"', 402),
        ("right securityCode", 'senderID="nurse" securityCode="pass word"', 200)]:
        status, body = curl(host.wctp_port, submit_xml("1004", "wctp " + name, originator))
        check(status == 200 and wctp_code(body) == code, f"WCTP {name}: {body[-200:]}")
    out = subprocess.run(cli + ["remove", "nurse"], capture_output=True, text=True, env=env,
                         timeout=60)
    check(out.returncode == 0, f"snpp-user remove: {out.stderr}")
    status, body = curl(host.wctp_port, submit_xml(
        "1004", "x", 'senderID="nurse" securityCode="pass word"'))
    check(wctp_code(body) == 402, f"a removed login is refused at once: {body[-200:]}")
    check(not any("pass word" in line or "nope" in line for line in host.log),
          "no password in the log")
    wait_until(lambda: len(host.pages()) >= 2)
    check(sorted(p["text"] for p in host.pages()) == ["after login", "wctp right securityCode"],
          f"pages: {host.pages()}")
    check(host.stop() == 0, f"the host stops cleanly: {host.log[-3:]}")


def client_run(port, client, count, acked, errors):
    try:
        c = SnppClient(port)
        for n in range(count):
            text = f"client {client} page {n}"
            replies = [c.command("PAGE 1004"), c.command("MESS " + text), c.command("SEND")]
            if all(r.startswith("250") for r in replies):
                acked.append(text)
            else:
                errors.append(f"{text}: {replies}")
        c.command("QUIT")
        c.close()
    except OSError as e:
        errors.append(f"client {client}: {e}")


def load(args):
    folder = fresh_folder(os.path.join(args.work, "load"))
    host = Host(args.host, folder, "--pages-per-minute", "100000", "--max-connections", "64",
                "--quiet")
    acked, errors = [], []
    threads = [threading.Thread(target=client_run, args=(host.snpp_port, c, 20, acked, errors))
               for c in range(50)]
    for t in threads:
        t.start()
    for t in threads:
        t.join(300)
    check(not errors, f"every page accepted: {errors[:5]}")
    check(len(acked) == 1000, f"1000 pages acknowledged, not {len(acked)}")
    check(host.stop() == 0, f"the host stops cleanly: {host.log[-3:]}")
    pages = host.queued()
    texts = [p["text"] for p in pages]
    check(sorted(texts) == sorted(acked), "the queue holds every acknowledged page exactly once")
    order = {}
    for p in sorted(pages, key=lambda p: p["id"]):
        client, n = int(p["text"].split()[1]), int(p["text"].split()[3])
        check(order.get(client, -1) < n, f"client {client}'s pages in its order")
        order[client] = n


def kill(args):
    folder = fresh_folder(os.path.join(args.work, "kill"))
    host = Host(args.host, folder, "--pages-per-minute", "100000", "--quiet")
    acked, errors = [], []
    threads = [threading.Thread(target=client_run,
                                args=(host.snpp_port, c, 100000, acked, errors))
               for c in range(8)]
    for t in threads:
        t.start()
    wait_until(lambda: len(acked) > 200, 60)
    host.kill()  # SIGKILL while the clients are sending
    for t in threads:
        t.join(60)
    check(len(acked) > 200, f"pages were acknowledged before the kill: {len(acked)}")
    queued = [p["text"] for p in host.queued()]
    missing = set(acked) - set(queued)
    check(not missing, f"every page that got its 250 survived the kill: {sorted(missing)[:5]}")
    check(len(queued) == len(set(queued)), "no page is in the queue twice")
    print(f"kill: {len(acked)} acknowledged, {len(queued)} in the queue after the restart")


def bad_input(args):
    folder = fresh_folder(os.path.join(args.work, "bad"))
    host = Host(args.host, folder, "--max-connections", "4", "--idle-seconds", "2",
                "--request-seconds", "3", "--record")
    c = SnppClient(host.snpp_port)
    c.send_raw(b"PAGE " + b"9" * 5000 + b"\r\n")
    check(c.reply().startswith("500 Line too long"), "an overlong line gets 500")
    check(c.command("PAGE 1004").startswith("250"), "the session goes on after it")
    c.command("DATA")
    c.send_raw(b"".join(b"x" * 100 + b"\r\n" for _ in range(50)) + b".\r\n")
    check(c.reply().startswith("554"), "a DATA message over the limit gets 554")
    c.send_raw(b"\x00\xff\xfe garbage\r\n" * 25)
    replies = [c.reply() for _ in range(20)]
    replies = [r for r in replies if r]  # the server closes after its 421
    check(replies[-1].startswith("421"), f"too many errors end with 421: {replies[-2:]}")
    c.close()
    idle = SnppClient(host.snpp_port)
    check(idle.reply().startswith("421 Timeout"), "a silent connection is closed with 421")
    held = [SnppClient(host.snpp_port) for _ in range(4)]
    extra = SnppClient(host.snpp_port)
    check(extra.greeting.startswith("421"), f"a fifth connection gets 421: {extra.greeting}")
    for h in held + [extra]:
        h.close()
    socks = [socket.create_connection(("127.0.0.1", host.wctp_port)) for _ in range(4)]
    time.sleep(0.2)
    status, body = curl(host.wctp_port, submit_xml("1004", "x"))
    check(status == 503 and wctp_code(body) == 606, f"WCTP over the connection limit: {status}")
    for s in socks:
        s.close()
    drip = socket.create_connection(("127.0.0.1", host.wctp_port), timeout=10)
    start, closed = time.time(), False
    for byte in b"POST /wctp HTTP/1.1\r\nHost: x\r\nX-Slow: " + b"y" * 100:
        try:
            drip.sendall(bytes([byte]))
            time.sleep(0.5)  # always within the idle time, never done in time
        except OSError:
            closed = True
            break
    check(closed and time.time() - start < 8, "a request dripping in is cut at its deadline")
    drip.close()
    raw = socket.create_connection(("127.0.0.1", host.wctp_port), timeout=10)
    raw.sendall(b"NOT HTTP AT ALL\r\n\r\n")
    check(raw.recv(100).startswith(b"HTTP/1.1 400"), "garbage instead of HTTP gets 400")
    raw.close()
    wait_until(lambda: curl(host.wctp_port, submit_xml("1004", "still here"))[0] == 200, 10)
    c = SnppClient(host.snpp_port)
    check(c.greeting.startswith("220"), f"greeting after the limits: {c.greeting}")
    ok = [c.command("PAGE 1004"), c.command("MESS still here"), c.command("SEND")]
    check(all(r.startswith("250") for r in ok), f"the station still takes pages: {ok}")
    acknowledged = 0
    for _ in range(20):  # a client that shuts its side after SEND, as `nc -N` does
        s = socket.create_connection(("127.0.0.1", host.snpp_port), timeout=10)
        s.sendall(b"PAGE 1004\r\nMESS half-closed\r\nSEND\r\n")
        s.shutdown(socket.SHUT_WR)
        answer = b""
        while chunk := s.recv(4096):
            answer += chunk
        s.close()
        acknowledged += b"250 Message queued" in answer
    check(acknowledged == 20, f"replies reach a half-closed client: {acknowledged} of 20")
    check(host.running(), "the host survived every bad input")
    wait_until(lambda: len(host.pages()) >= 2)  # the host's lines are read by a thread
    wait_until(lambda: len(host.pages()) >= 22)
    check(sum(p["text"] == "still here" for p in host.pages()) == 2,
          f"both last pages queued: {host.pages()} {host.log[-6:]}")
    check(host.stop() == 0, f"the host stops cleanly: {host.log[-3:]}")


def raw_http(port, head, body=b"", timeout=20):
    """The status of the answer to the bytes, sent while the server may already answer."""
    s = socket.create_connection(("127.0.0.1", port), timeout=timeout)

    def send():
        try:
            s.sendall(head + body)
        except OSError:
            pass  # the server answered and closed before reading everything: expected
    sender = threading.Thread(target=send, daemon=True)
    sender.start()
    answer = b""
    try:
        while b"\r\n" not in answer:
            chunk = s.recv(4096)
            if not chunk:
                break
            answer += chunk
    except OSError:
        pass
    s.close()
    parts = answer.split(b" ", 2)
    return int(parts[1]) if len(parts) > 1 and parts[1].isdigit() else 0


def rss_kb(pid, field="VmRSS"):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    return 0


def hostile_http(args):
    host = Host(args.host, fresh_folder(os.path.join(args.work, "hostile")), "--record",
                "--request-seconds", "4")
    port = host.wctp_port
    at_start = rss_kb(host.proc.pid)
    post = b"POST /wctp HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: text/xml\r\n"
    chunked = post + b"Transfer-Encoding: chunked\r\n\r\n"
    cases = [
        ("chunked body of 200 KB", chunked, (b"1000\r\n" + b"x" * 4096 + b"\r\n") * 50, 413),
        ("100-continue over the limit", post + b"Content-Length: 80000000\r\n"
         b"Expect: 100-continue\r\n\r\n", b"", 413),
        ("2,000 headers", post + b"".join(b"X-%d: y\r\n" % i for i in range(2000)), b"", 431),
        ("a 10 KB header", post + b"X-Long: " + b"y" * 10000 + b"\r\n\r\n", b"", 431),
        ("a 5 KB request line", b"POST /" + b"w" * 5000 + b" HTTP/1.1\r\n\r\n", b"", 414),
        ("gzip transfer coding", post + b"Transfer-Encoding: gzip\r\n\r\n", b"", 501),
        ("two framings", post + b"Content-Length: 5\r\nTransfer-Encoding: chunked\r\n\r\n",
         b"", 400),
        ("text/plain", post.replace(b"text/xml", b"text/plain") + b"Content-Length: 0\r\n\r\n",
         b"", 415),
        ("a foreign Origin", post + b"Origin: http://evil.example\r\nContent-Length: 0\r\n\r\n",
         b"", 403),
        ("a foreign Host (DNS rebinding)", post.replace(b"127.0.0.1", b"evil.example:8444") +
         b"Content-Length: 0\r\n\r\n", b"", 403),
        ("a request not finished in time", post + b"Content-Length: 10\r\n\r\nabc", b"", 408),
    ]
    for name, head, body, status in cases:
        got = raw_http(port, head, body)
        check(got == status, f"WCTP {name}: {got}, expected {status}")
    status, body = curl(port, submit_xml("1004", "chunked"), "-H", "Transfer-Encoding: chunked")
    check(status == 200 and wctp_code(body) == 200, f"a chunked request in bounds: {body[-200:]}")
    status, _ = curl(port, submit_xml("1004", "x"), "-H", "Origin: http://localhost:8444")
    check(status == 200, f"the station's own Origin is taken: {status}")

    # 32 connections at once, each streaming headers or chunks without end.
    before = rss_kb(host.proc.pid)
    streams = [chunked + b"ffff\r\n" + b"x" * 65535 + b"\r\n" + b"ffff\r\n" + b"x" * 65535,
               post + b"".join(b"X-%d: %s\r\n" % (i, b"y" * 100) for i in range(20000)),
               post + b"X-Long: " + b"y" * 2000000]
    results = [0] * 32

    def attack(i):
        results[i] = raw_http(port, streams[i % len(streams)], timeout=30)
    threads = [threading.Thread(target=attack, args=(i,)) for i in range(32)]
    for t in threads:
        t.start()
    peak = before
    while any(t.is_alive() for t in threads):
        peak = max(peak, rss_kb(host.proc.pid))
        time.sleep(0.005)
    print(f"RSS of the host: {at_start} kB at start, {before} kB after the table, peak {peak} kB "
          f"under 32 hostile connections ({(peak - at_start) / 1024:.1f} MB over the start; "
          f"VmHWM {rss_kb(host.proc.pid, 'VmHWM')} kB); answers {sorted(set(results))}")
    check(all(r in (413, 431) for r in results), f"every hostile request refused: {results}")
    check(peak - at_start < 32 * 1024, f"hostile requests added {peak - at_start} kB")
    wait_until(lambda: curl(port, submit_xml("1004", "still here"))[0] == 200, 10)
    # Silent connections beyond the limit hold nothing: the next client is told at once.
    held = [socket.create_connection(("127.0.0.1", port)) for _ in range(60)]
    time.sleep(0.3)
    start = time.time()
    status, body = curl(port, submit_xml("1004", "x"))
    took = time.time() - start
    print(f"a probe after 60 silent connections got {status} in {took:.2f} s")
    check(status == 503 and wctp_code(body) == 606 and took < 3, f"probe: {status} {took:.1f} s")
    for s in held:
        s.close()
    # One address holds at most 28 of the 32 slots: another address still gets in.
    time.sleep(1.5)
    snpp = [socket.create_connection(("127.0.0.1", host.snpp_port)) for _ in range(28)]
    http = [socket.create_connection(("127.0.0.1", port)) for _ in range(28)]
    time.sleep(0.3)
    check(SnppClient(host.snpp_port).greeting.startswith("421"), "a 29th SNPP connection: 421")
    # A flood of refused connections writes a few log lines, not one each.
    for _ in range(40):
        SnppClient(host.snpp_port)
    time.sleep(0.3)
    refusals = sum("snpp: refused a connection" in line for line in host.log)
    print(f"41 refused SNPP connections wrote {refusals} log lines")
    check(refusals <= 5, f"41 refused SNPP connections wrote {refusals} log lines")
    check(curl(port, submit_xml("1004", "x"))[0] == 503, "a 29th WCTP connection: 503")
    other = socket.create_connection(("127.0.0.1", host.snpp_port), source_address=("127.0.0.2", 0))
    check(other.recv(100).startswith(b"220"), "another address still gets an SNPP slot")
    status, _ = curl(port, submit_xml("1004", "x"), "--interface", "127.0.0.2")
    check(status == 200, f"another address still gets a WCTP slot: {status}")
    for s in snpp + http + [other]:
        s.close()
    check(host.stop() == 0, f"the host stops cleanly: {host.log[-3:]}")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--host", required=True)
    ap.add_argument("--cli", required=True)
    ap.add_argument("--work", required=True)
    ap.add_argument("scenario", choices=["real_clients", "logins", "load", "kill", "bad_input",
                                           "hostile_http"])
    args = ap.parse_args()
    os.makedirs(args.work, exist_ok=True)
    globals()[args.scenario](args)
    print(f"{args.scenario}: {'FAILED' if failures else 'passed'} ({len(failures)} failures)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
