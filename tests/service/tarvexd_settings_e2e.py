#!/usr/bin/env python3
"""tarvexd checks its settings, on the real service with the recording keying port and no
sound server:

- tarvexd --check prints one line per problem (a bad value with what is used instead, a
  keying method it does not know, a section it cannot find, a file it cannot read, an ident
  without a callsign, a missing pager directory, an audio output that cannot be opened) and
  exits 1; a healthy station gets 0, the shipped settings file too (--config); --version of each program names the version;
- the running service logs the same problems and keys nothing for a keying method nobody
  chose (PttMethod=rts is not the parallel port); a flag written "true" counts;
- a settings file that cannot be read keys and plays nothing: a queued page waits;
- tarvex-cli status exits as monitoring plugins do, its first line naming every fault, and
  status --json gives the same verdict as one JSON object: 0 for a healthy station, 2 for a
  keying method nobody chose, an input that cannot listen and no pager directory, 1 for a
  DAPNET link that is down.

  tarvexd_settings_e2e.py --tarvexd tarvexd --cli tarvex-cli [--window tarvex] --work DIR
                         [--service-ini FILE]
"""

import argparse
import json
import os
import shutil
import socket
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from tarvexd_e2e import Station, check, failures, free_port, wait_until  # noqa: E402

HEALTHY = "[Tarvex]\nDelay=100\nSnppEnabled=0\nWctpEnabled=0\n"


def station(args, name, text):
    st = Station(os.path.join(args.work, name), args)
    st.ini = os.path.join(st.work, "home/config/dovrik-apps/Tarvex.ini")
    with open(st.ini, "w") as f:
        f.write(text)
    st.env["TARVEX_AUDIO"] = "wav:" + os.path.join(st.work, "out.wav")
    return st


def run_check(args, st):
    return subprocess.run([args.tarvexd, "--check"], env=st.env, capture_output=True, text=True,
                          timeout=30)


def check_command(args):
    for program, name in ((args.tarvexd, "tarvexd"), (args.cli, "tarvex-cli"),
                          (args.window, "tarvex")):
        if program:  # the window only when built
            version = subprocess.run([program, "--version"], capture_output=True, text=True)
            check(version.returncode == 0 and version.stdout.startswith(name + " 3."),
                  f"--version: {version.stdout.strip()}")
    st = station(args, "check-ok", HEALTHY)
    done = run_check(args, st)
    check(done.returncode == 0 and "would start healthy" in done.stdout,
          f"--check: a healthy station exits 0 ({done.returncode}: {done.stdout.strip()})")
    cases = [  # settings file text, environment, what the output must say
        (HEALTHY + "LogPages=maybe\n", {}, "LogPages=maybe: is not a flag"),
        (HEALTHY + "SnppPort=99999\n", {}, "SnppPort=99999: is outside 1..65535; 444"),
        (HEALTHY + "NetMaxRecipients=0\n", {}, "NetMaxRecipients=0: is outside 1..256; 16"),
        (HEALTHY + "Frequency=ten\n", {}, "Frequency=ten: is not a whole number"),
        (HEALTHY + "PttMethod=rts\n", {}, "PttMethod=rts: is not one of parallel"),
        (HEALTHY + "Frequency=10\n", {}, "StationID=: is missing, and Frequency=10"),
        (HEALTHY.replace("[Tarvex]", "[tarvex]"), {}, "has no section [Tarvex] ([tarvex]"),
        (HEALTHY.replace("[Tarvex]\n", ""), {}, "has no section [Tarvex]"),
        (None, {}, "cannot be read"),  # the file's path is a folder
        (HEALTHY.replace("SnppEnabled=0", "SnppEnabled=1"), {},
         "Pagers.txt: does not exist"),
        (HEALTHY, {"TARVEX_AUDIO": "alsa:hw:9,0"}, "audio output alsa:hw:9,0"),
        (HEALTHY + "Snppport=445\n", {}, "names are case-sensitive: SnppPort?"),
        (HEALTHY + "PttMethod=r\x1b[31mts\n", {}, "PttMethod=r\\x1b[31mts: is not one of"),
    ]
    for number, (text, env, expected) in enumerate(cases):
        st = station(args, f"check-{number}", text or "")
        if text is None:
            os.remove(st.ini)
            os.mkdir(st.ini)
        st.env.update(env)
        done = run_check(args, st)
        check(done.returncode == 1 and expected in done.stdout,
              f"--check: {expected!r} and exit 1 ({done.returncode}: {done.stdout.strip()})")
    # The settings file the package ships, given with --config: its comments read as nothing,
    # the per-user store (here a bad one) is not read at all.
    if args.service_ini:
        st = station(args, "check-config", HEALTHY + "SnppPort=99999\n")
        shipped = open(args.service_ini).read()
        for key, value in (("Delay", "100"), ("SnppEnabled", "0"), ("WctpEnabled", "0"),
                           ("PttMethod", "none")):
            check(f"\n;{key}=" in shipped, f"the shipped settings list {key}")
            shipped = shipped.replace(f"\n;{key}=", f"\n{key}={value}\n;{key}=")
        etc = os.path.join(st.work, "tarvex.ini")
        with open(etc, "w") as f:
            f.write(shipped)
        done = subprocess.run([args.tarvexd, "--check", "--config", etc], env=st.env,
                              capture_output=True, text=True, timeout=30)
        check(done.returncode == 0 and "SnppPort" not in done.stdout,
              f"--check --config: the shipped file ({done.returncode}: {done.stdout.strip()})")
    # Root reads a file of mode 000 all the same: as root, the check runs as nobody.
    as_user = [] if os.geteuid() != 0 else ["setpriv", "--reuid=65534", "--regid=65534",
                                            "--clear-groups"]
    if not as_user or shutil.which("setpriv"):
        st = station(args, "check-mode000", HEALTHY)
        os.chmod(st.ini, 0)
        done = subprocess.run(as_user + [args.tarvexd, "--check"], env=st.env,
                              capture_output=True, text=True, timeout=30)
        check(done.returncode == 1 and "cannot be read: Permission denied" in done.stdout,
              f"--check: a file of mode 000 ({done.stdout.strip()})")


def stop(proc):
    proc.terminate()
    try:
        proc.wait(timeout=10)
    except subprocess.TimeoutExpired:
        proc.kill()


def service_faults(args):
    st = station(args, "run-rts", HEALTHY + "LogPages=true\nPttMethod=rts\n")
    proc = st.start()
    check(st.wait_for_log("Tarvex.ini: PttMethod=rts: is not one of parallel", 5),
          "service: the unknown keying method is logged with its file")
    queued = st.cli("queue", "--ric", "905", "--message", "not on the parallel port")
    check(queued.returncode == 0, f"service: the page is taken ({queued.stdout.strip()})")
    log = os.path.join(st.folder, "Tarvex-LOG.txt")
    check(wait_until(lambda: os.path.exists(log) and "keying failed" in open(log).read(), 15),
          "service: LogPages=true writes the page log; the page's line says keying failed")
    check(st.port_bytes() == b"", f"service: no port written ({st.port_bytes().hex()})")
    status = st.cli("status").stdout
    check("none (settings fault)" in status, f"service: status names the fault:\n{status}")
    stop(proc)

    st = station(args, "run-unreadable", "")
    os.remove(st.ini)
    os.mkdir(st.ini)
    proc = st.start()
    check(st.wait_for_log("cannot be read", 5), "unreadable settings: logged")
    st.cli("queue", "--ric", "906", "--message", "waits")
    time.sleep(3)
    status = st.cli("status").stdout
    check("queue: 1" in status and st.port_bytes() == b"" and
          not os.path.exists(os.path.join(st.work, "out.wav")),
          f"unreadable settings: nothing keyed or played, the page waits:\n{status}")
    stop(proc)


def status_of(st):
    text = st.cli("status")
    raw = st.cli("status", "--json")
    try:
        facts = json.loads(raw.stdout)
    except ValueError:
        facts = {}
    return text, raw.returncode, facts


def monitoring_exit_codes(args):
    cases = []  # name, settings, exit status, the first line's start, faults in the JSON
    cases.append(("healthy", HEALTHY, 0, "OK: idle, queue 0", 0))
    cases.append(("unknown keying method", HEALTHY + "PttMethod=rts\n", 2,
                  "CRITICAL: keying none (settings fault) failing", 1))
    busy = socket.socket()
    busy.bind(("127.0.0.1", 0))
    busy.listen()
    cases.append(("SNPP cannot listen, no directory",
                  HEALTHY.replace("SnppEnabled=0", "SnppEnabled=1") +
                  f"SnppListen=127.0.0.1\nSnppPort={busy.getsockname()[1]}\n", 2,
                  "CRITICAL: SNPP not listening", 2))
    key = os.path.join(args.work, "dapnet.key")
    with open(key, "w") as f:
        f.write("secret\n")
    os.chmod(key, 0o600)
    cases.append(("DAPNET link down", HEALTHY + "DapnetEnabled=1\nDapnetHost=127.0.0.1\n"
                  f"DapnetPort={free_port()}\nDapnetCallsign=n0call\nDapnetKeyFile={key}\n", 1,
                  "WARNING: DAPNET link", None))  # with the clock's warning where unsynchronised
    for number, (name, text, code, first, faults) in enumerate(cases):
        st = station(args, f"status-{number}", text)
        proc = st.start()
        done, json_code, facts = status_of(st)
        line = done.stdout.splitlines()[0] if done.stdout else ""
        check(done.returncode == code and line.startswith(first) and json_code == code and
              facts.get("summary") == line and
              (faults is None or len(facts.get("faults", [])) == faults) and
              facts.get("version", "").startswith("3."),
              f"status, {name}: exit {done.returncode}/{json_code}, {line!r}, "
              f"{len(facts.get('faults', []))} faults in the JSON")
        if name == "unknown keying method":
            st.cli("queue", "--ric", "907", "--message", "counted")
            wait_until(lambda: status_of(st)[2].get("counters", {}).get("pages_failed"), 15)
            counters = status_of(st)[2].get("counters", {})
            check(counters.get("pages_failed") == 1 and counters.get("pages_sent") == 0,
                  f"status --json, {name}: the page not keyed is counted failed ({counters})")
        if "directory" in name:
            check("no pager directory" in line, f"status, {name}: names both faults: {line!r}")
        stop(proc)
    busy.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tarvexd", required=True)
    parser.add_argument("--cli", required=True)
    parser.add_argument("--window", default="")
    parser.add_argument("--work", required=True)
    parser.add_argument("--service-ini", default="")
    args = parser.parse_args()
    shutil.rmtree(args.work, ignore_errors=True)
    os.makedirs(args.work)
    check_command(args)
    service_faults(args)
    monitoring_exit_codes(args)
    print(f"{len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
