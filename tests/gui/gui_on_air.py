#!/usr/bin/env python3
"""Pages on the air through the desktop program's window: tarvex-gui-send clicks SEND with
the Qt Multimedia output into the private PulseAudio server's null sink and a recording port.
The sink's monitor is recorded; the recording must equal the played image sample for sample
and decode with multimon-ng to the page; the port must have been keyed then released, and
the page log must hold the page's line.

  gui_on_air.py --env PULSE_ENV --program tarvex-gui-send --work DIR
"""

import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from pulse_tools import fixture_args, multimon_decode, pocsag_line, record_while, recorded_span  # noqa: E402
PAGES = [  # name, options, ric, func, message, decoder mode, decoded text
    ("alpha-512", ["--baud", "512"], "1234567", 3, "Hello from the window", "alpha",
     "Hello from the window"),
    ("inverted-1200", ["--baud", "1200", "--inverted"], "2000", 0, "Inverted page", "alpha",
     "Inverted page"),
    ("numeric-2400", ["--baud", "2400", "--numeric"], "8", 2, "0123456789", "numeric",
     "0123456789"),
]


def check_page(args, name, options, ric, func, message, mode, text):
    work = os.path.join(args.work, name)
    os.makedirs(work, exist_ok=True)
    log = os.path.join(work, "Tarvex-LOG.txt")
    if os.path.exists(log):
        os.remove(log)
    raw = os.path.join(work, "monitor.raw")
    cmd = [args.program, "--work", work, "--ric", ric, "--func", str(func), "--message",
           message] + options
    returncode, stdout, stderr, _ = record_while(cmd, raw, env={"QT_QPA_PLATFORM": "offscreen"})
    if returncode != 0:
        return f"tarvex-gui-send exited {returncode}: {stdout} {stderr}"
    ports = [line.split()[1] for line in stdout.splitlines() if line.startswith("port ")]
    if ports != ["378=01", "378=00"]:
        return f"port writes {ports}, wanted key then release on LPT1"
    if f"log {ric} - {message} - " not in stdout or stdout.count("<CRLF>") != 1:
        return f"page log wrong: {stdout}"
    image = open(os.path.join(work, "played.wav"), "rb").read()[44:]
    rec = open(raw, "rb").read()
    first, last = recorded_span(rec)
    if first is None:
        return "only silence recorded"
    sound = rec[first:last + 1]
    if sound != image:
        return f"recording ({len(sound)} samples) differs from the image ({len(image)})"
    decoded = multimon_decode(raw, work, name, mode, "--inverted" in options)
    want = pocsag_line(options[1], ric, func, mode, text)
    if not any(line.startswith(want) for line in decoded.splitlines()):
        return f"decoder said [{decoded.strip()}], wanted [{want}]"
    print(f"ok   {name}: {len(sound)} samples played and recorded; {want}")
    return None


def main():
    args = fixture_args("program", "work")
    failures = 0
    for page in PAGES:
        problem = check_page(args, *page)
        if problem:
            print(f"FAIL {page[0]}: {problem}")
            failures += 1
    print(f"{len(PAGES) - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
