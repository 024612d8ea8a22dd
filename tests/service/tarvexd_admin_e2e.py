#!/usr/bin/env python3
"""tarvexd as systemd and an administrator run it, on the real service with the recording
keying port and no sound output:

- standard error that is the journal (JOURNAL_STREAM) gets priority prefixes and no time;
  anywhere else a line has an ISO 8601 time with its zone and a level word;
- READY=1 and STATUS= reach NOTIFY_SOCKET, WATCHDOG=1 comes at half of WATCHDOG_USEC, and
  STOPPING=1 at the end;
- a second service refused by the station hold exits with status 3 (not restarted);
- SIGHUP reads the settings again: a key delay takes effect, a new audio device is named as
  needing a restart, and the service keeps running;
- a service on another sound output than Qt's loads no Qt GUI or Qt Multimedia library;
- an SNPP port held by another program is tried again until the server listens;
- GET /health and /metrics (parsed by the Prometheus client's own parser) show a failing
  audio output within a second of status, with WCTP itself switched off.

  tarvexd_admin_e2e.py --tarvexd tarvexd --cli tarvex-cli --work DIR
"""

import argparse
import os
import re
import signal
import socket
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from tarvexd_e2e import Station, check, failures, wait_until  # noqa: E402
from tarvexd_integrity_e2e import stop_service  # noqa: E402


def settings(st, extra=""):
    with open(os.path.join(st.work, "home/config/dovrik-apps/Tarvex.ini"), "w") as f:
        f.write("[Tarvex]\nAutoSend=0\nDelay=100\nSnppEnabled=0\nWctpEnabled=0\n" + extra)


def journal_and_notify(args):
    st = Station(os.path.join(args.work, "journal"), args)
    settings(st)
    st.env["TARVEX_AUDIO"] = "null"
    log = os.path.join(st.work, "tarvexd.log")
    open(log, "w").close()
    info = os.stat(log)
    st.env["JOURNAL_STREAM"] = f"{info.st_dev}:{info.st_ino}"
    notify_path = os.path.join(st.work, "notify")
    notify = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
    notify.bind(notify_path)
    notify.settimeout(5)
    st.env["NOTIFY_SOCKET"] = notify_path
    st.env["WATCHDOG_USEC"] = "400000"
    # As systemd runs it: the unit's runtime folder holds the socket and the station's lock.
    st.env["RUNTIME_DIRECTORY"] = os.path.join(st.work, "run")
    st.env["XDG_RUNTIME_DIR"] = os.path.join(st.work, "home")
    proc = st.start()
    check(os.path.exists(os.path.join(st.work, "run", "tarvex-station.lock")),
          "the station's lock lives in the unit's runtime folder")
    # A service whose sound is not Qt's loads no Qt GUI or Qt Multimedia library.
    with open(f"/proc/{proc.pid}/maps") as maps:
        heavy = {line.split()[-1] for line in maps if "Qt6Gui" in line or "Qt6Multimedia" in line}
    check(not heavy, f"a service not on Qt's sound loads no Qt GUI library ({sorted(heavy)})")
    messages = []
    deadline = time.monotonic() + 5
    while time.monotonic() < deadline and sum("WATCHDOG=1" in m for m in messages) < 3:
        try:
            messages.append(notify.recv(4096).decode())
        except socket.timeout:
            break
    check(messages and messages[0].startswith("READY=1\nSTATUS=OK"),
          f"READY=1 with the status first ({messages[:3]})")
    check(sum("WATCHDOG=1" in m for m in messages) >= 3, "WATCHDOG=1 keeps coming")
    # A second service on the same station is refused and says not to restart it.
    st.env["NOTIFY_SOCKET"] = ""
    refused = st.start()
    try:
        code = refused.wait(10)
    except Exception:
        refused.kill()
        code = None
    check(code == 3, f"a service refused by the station hold exits 3 ({code})")
    stop_service(st, proc)
    rest = []
    try:
        while True:
            rest.append(notify.recv(4096).decode())
    except socket.timeout:
        pass
    check(any("STOPPING=1" in m for m in rest), "STOPPING=1 at the end")
    lines = [line for line in st.log_text().splitlines() if line]
    check(lines and all(re.match(r"<[3-7]>", line) for line in lines),
          f"journal lines carry a priority and no time ({lines[:2]})")
    check(any(line.startswith("<3>the station is held by") for line in lines),
          "the refusal is an error")
    notify.close()


def plain_lines_and_reload(args):
    st = Station(os.path.join(args.work, "reload"), args)
    settings(st)
    st.env["TARVEX_AUDIO"] = "null"
    proc = st.start()
    first = st.log_text().splitlines()[0]
    check(re.match(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d tarvexd info: ", first),
          f"a plain line has an ISO time with its zone and a level ({first!r})")
    settings(st, "Delay=700\nAudioDevice=other card\n")
    proc.send_signal(signal.SIGHUP)
    check(st.wait_for_log("reload: applied Delay", 5), "SIGHUP applies the new key delay")
    check(st.wait_for_log("AudioDevice changed and take effect only after a restart", 5),
          "a new audio device is named as needing a restart")
    time.sleep(0.2)
    check(proc.poll() is None and st.cli("status").returncode == 0,
          "the service runs on after SIGHUP")
    stop_service(st, proc)


def port_taken_at_start(args):
    st = Station(os.path.join(args.work, "port"), args)
    settings(st)
    st.env["TARVEX_AUDIO"] = "null"
    holder = socket.socket()
    holder.bind(("127.0.0.1", 0))
    holder.listen()
    port = holder.getsockname()[1]
    with open(os.path.join(st.work, "home/config/dovrik-apps/Tarvex.ini"), "a") as f:
        f.write(f"SnppEnabled=1\nSnppListen=127.0.0.1\nSnppPort={port}\n")
    proc = st.start()
    status = st.cli("status")
    check("SNPP not running" in status.stdout, f"status shows SNPP down ({status.stdout!r})")
    holder.close()
    check(wait_until(lambda: f"SNPP on 127.0.0.1:{port}" in st.cli("status").stdout, 10),
          "the freed port is taken on a later try")
    stop_service(st, proc)


def http_get(port, path, method="GET"):
    s = socket.create_connection(("127.0.0.1", port), timeout=10)
    s.sendall(f"{method} {path} HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n"
              .encode())
    data = b""
    while chunk := s.recv(65536):
        data += chunk
    s.close()
    head, _, body = data.decode().partition("\r\n\r\n")
    return int(head.split()[1]), body


PARSE = '''import sys
from prometheus_client.parser import text_string_to_metric_families
for family in text_string_to_metric_families(sys.stdin.read()):
    for sample in family.samples:
        labels = ",".join(f'{k}="{v}"' for k, v in sorted(sample.labels.items()))
        print(sample.name + ("{" + labels + "}" if labels else ""), sample.value)
'''


def parsed_metrics(text):
    """{name: value} as the Prometheus client's parser reads the text (Debian's python3)."""
    out = subprocess.run(["/usr/bin/python3", "-c", PARSE], input=text, capture_output=True,
                         text=True, timeout=30)
    check(out.returncode == 0, f"/metrics parses: {out.stderr.strip()[-300:]}")
    return {line.rsplit(" ", 1)[0]: float(line.rsplit(" ", 1)[1])
            for line in out.stdout.splitlines()}


def status_pages(args):
    st = Station(os.path.join(args.work, "pages"), args)
    finder = socket.socket()
    finder.bind(("127.0.0.1", 0))
    port = finder.getsockname()[1]
    finder.close()
    settings(st, f"StatusPagesEnabled=1\nWctpPort={port}\n")
    st.env["TARVEX_AUDIO"] = "null"
    proc = st.start()
    # Until the first refresh of the pages /health truthfully says "UNKNOWN: starting".
    wait_until(lambda: not http_get(port, "/health")[1].startswith("UNKNOWN"), 10)
    code, body = http_get(port, "/health")
    check(code == 200 and body.startswith("OK"), f"/health of a sound station ({code} {body!r})")
    check(http_get(port, "/wctp", "POST")[0] == 404, "WCTP is off: /wctp is not served")
    st.cli("queue", "--ric", "902", "--message", "counted")
    check(wait_until(lambda: parsed_metrics(http_get(port, "/metrics")[1]).get(
        "tarvex_pages_sent_total") == 1, 10), "/metrics counts the page sent")
    metrics = parsed_metrics(http_get(port, "/metrics")[1])
    check(metrics.get("tarvex_health_state") == 0 and metrics.get("tarvex_key_ups_total") == 1,
          f"/metrics says OK, one key-up ({metrics})")
    check(metrics.get('tarvex_pages_accepted_total{source="control"}') == 1 and
          metrics.get('tarvex_pages_failed_total{reason="not played"}') == 0,
          "/metrics counts pages accepted by source and failed by reason")
    stop_service(st, proc)
    st.env["TARVEX_AUDIO"] = "alsa:hw:9,0"
    proc = st.start()
    st.cli("queue", "--ric", "903", "--message", "for the dead output")
    check(wait_until(lambda: st.cli("status").returncode == 2, 10), "status turns CRITICAL")
    time.sleep(1.2)  # one refresh of the pages
    code, body = http_get(port, "/health")
    check(code == 503 and "audio" in body, f"/health answers 503 naming the audio ({body!r})")
    metrics = parsed_metrics(http_get(port, "/metrics")[1])
    check(metrics.get("tarvex_health_state") == 2 and metrics.get("tarvex_audio_ok") == 0,
          f"/metrics shows the audio fault ({metrics})")
    check(wait_until(lambda: parsed_metrics(http_get(port, "/metrics")[1]).get(
        'tarvex_pages_failed_total{reason="not played"}', 0) >= 1, 10),
        "/metrics counts the page the dead output did not play")
    stop_service(st, proc)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tarvexd", required=True)
    parser.add_argument("--cli", required=True)
    parser.add_argument("--work", required=True)
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    journal_and_notify(args)
    plain_lines_and_reload(args)
    port_taken_at_start(args)
    status_pages(args)
    print(f"{len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
