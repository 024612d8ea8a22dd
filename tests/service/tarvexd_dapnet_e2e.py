#!/usr/bin/env python3
"""tarvexd as a DAPNET transmitter against the stand-in server: it logs in, takes its time
slots and a burst of pages (text with ':' among them), acknowledges each once it is queued,
packs them into multi-page transmissions and keys only inside its allowed slots. Every page
is decoded with multimon-ng from the private PulseAudio server's null sink; the key-up and
release times (the recording port's bytes as they appear) must lie inside the allowed runs,
and the margins are printed.

  tarvexd_dapnet_e2e.py --env PULSE_ENV --tarvexd tarvexd --cli tarvex-cli --standin PY --work DIR
"""

import json
import os
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from pulse_tools import (fixture_args, multimon_decode, start_recorder, stop_recorder,  # noqa: E402
                         wait_until)
from tarvexd_e2e import Station, check, failures  # noqa: E402

SLOTS = "02468ACE"  # every other slot: runs of 6.4 s, the next run at most 6.4 s away
PAGES = [{"ric": 0x1000 + i, "type": 6, "speed": 1, "func": 3,
          "text": f"DAPNET {i:02d}: time 12:34" if i % 3 == 0 else f"Page {i:02d} via DAPNET"}
         for i in range(12)]


def slot_of(ms):
    return ((ms // 100) >> 6) & 15


def run_bounds(ms):
    """Start and end (Unix ms) of the allowed run holding ms, or None outside one."""
    allowed = {int(c, 16) for c in SLOTS}
    if slot_of(ms) not in allowed:
        return None
    start = (ms // 6400) * 6400
    while slot_of(start - 1) in allowed:
        start -= 6400
    end = (ms // 6400 + 1) * 6400
    while slot_of(end) in allowed:
        end += 6400
    return start, end


class PortWatch:
    """Notes the wall-clock time at which each byte appears in the recording port's file."""

    def __init__(self, path):
        self.path = path
        self.events = []  # (unix ms, byte)
        self.stop = False
        threading.Thread(target=self._run, daemon=True).start()

    def _run(self):
        seen = 0
        while not self.stop:
            data = open(self.path, "rb").read() if os.path.exists(self.path) else b""
            now = int(time.time() * 1000)
            for b in data[seen:]:
                self.events.append((now, b))
            seen = len(data)
            time.sleep(0.002)

    def key_ups(self):
        ups, keyed_at = [], None
        for t, b in self.events:
            if b == 1 and keyed_at is None:
                keyed_at = t
            elif b == 0 and keyed_at is not None:
                ups.append((keyed_at, t))
                keyed_at = None
        return ups


def main():
    args = fixture_args("tarvexd", "cli", "standin", "work")
    st = Station(args.work, args)
    scenario = os.path.join(args.work, "scenario.json")
    report = os.path.join(args.work, "report.json")
    with open(scenario, "w") as f:
        json.dump({"callsign": "dl1abc", "key": "s3cret", "slots": SLOTS, "sync_loops": 2,
                   "connections": [{"steps": [{"pages": PAGES}, {"hold": 4}]}]}, f)
    standin = subprocess.Popen([sys.executable, args.standin, "--scenario", scenario, "--report",
                                report], stdout=subprocess.PIPE, text=True)
    port = int(standin.stdout.readline().split()[1])
    key = os.path.join(args.work, "dapnet.key")
    with open(os.open(key, os.O_WRONLY | os.O_CREAT, 0o600), "w") as f:
        f.write("s3cret\n")
    st.args.tarvexd_extra = ["--dapnet", f"127.0.0.1:{port}", "--callsign", "dl1abc",
                             "--auth-key-file", key]
    watch = PortWatch(st.port)
    raw = os.path.join(args.work, "monitor.raw")
    rec = start_recorder(raw)
    proc = st.start()
    status = ""
    try:
        wait_until(lambda: st.log_text().count("queued as") >= len(PAGES), 30)
        status = st.cli("status").stdout  # while the link is still up
        wait_until(lambda: st.log_text().count("from DAPNET") >= len(PAGES), 150, step=0.2)
        time.sleep(1.0)
        standin.wait(timeout=60)  # it writes its report as it ends
    finally:
        stop_recorder(rec)
        proc.terminate()
        proc.wait(timeout=20)
        if standin.poll() is None:
            standin.kill()
        watch.stop = True
    log = st.log_text()
    check(log.count("from DAPNET") >= len(PAGES), "the service log has every DAPNET page")
    check("s3cret" not in log, "the key never appears in the service log")
    check("dapnet:" in status and "online" in status, f"tarvex-cli status shows the link: "
          f"{[l for l in status.splitlines() if l.startswith('dapnet')]}")
    decoded = multimon_decode(raw, args.work, "dapnet", "alpha", False)
    for page in PAGES:
        want = f"Address: {page['ric']:>7}  Function: 3  Alpha:   {page['text']}"
        check(any(want in line for line in decoded.splitlines()),
              f"decoded from the sink: RIC {page['ric']} \"{page['text']}\"")
    ups = watch.key_ups()
    check(0 < len(ups) < len(PAGES), f"{len(PAGES)} pages went out in {len(ups)} key-ups")
    worst = None
    for keyed, released in ups:
        settle_start = keyed - 250  # the settle comes before the key and counts too
        bounds = run_bounds(settle_start)
        inside = bounds is not None and bounds == run_bounds(released)
        margin = (bounds[1] - released) if inside else None
        print(f"key-up {keyed} (slot {slot_of(keyed):X}) to {released} (slot "
              f"{slot_of(released):X}): {released - keyed} ms, "
              + (f"{margin} ms before its run ends, {settle_start - bounds[0]} ms after it "
                 f"begins" if inside else "OUTSIDE its run"))
        check(inside, f"key-up at {keyed} lies inside one allowed run of slots")
        if inside:
            worst = margin if worst is None else min(worst, margin)
    print(f"smallest margin before the end of a run: {worst} ms")
    acked = json.load(open(report)).get("acked", []) if os.path.exists(report) else []
    check(len(acked) >= len(PAGES), f"the stand-in saw {len(acked)} acknowledgements")
    print(f"{len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
