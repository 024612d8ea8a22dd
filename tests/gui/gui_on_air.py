#!/usr/bin/env python3
"""Pages on the air through the desktop program's window: tarvex-gui-send clicks SEND with
the Qt Multimedia output into the private PulseAudio server's null sink and a recording port.
The sink's monitor is recorded; the recording must equal the played image sample for sample
and decode with multimon-ng to the page; the port must have been keyed then released, and
the page log must hold the page's line.

  gui_on_air.py --env PULSE_ENV --program tarvex-gui-send --work DIR
"""

import argparse
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from audio_roundtrip import load_env  # noqa: E402  (the fixture's env file reader)

SILENCE = 128
PAGES = [  # name, options, ric, func, message, decoder mode, decoded text
    ("alpha-512", ["--baud", "512"], "1234567", 3, "Hello from the window", "alpha",
     "Hello from the window"),
    ("inverted-1200", ["--baud", "1200", "--inverted"], "2000", 0, "Inverted page", "alpha",
     "Inverted page"),
    ("numeric-2400", ["--baud", "2400", "--numeric"], "8", 2, "0123456789", "numeric",
     "0123456789"),
]


def record_while(cmd, raw):
    with open(raw, "wb") as out:
        rec = subprocess.Popen(["parec", "--rate=96000", "--channels=1", "--format=u8", "--raw",
                                "--latency-msec=5", "-d", os.environ["TARVEX_PULSE_MONITOR"]],
                               stdout=out, stdin=subprocess.DEVNULL)
    try:
        deadline = time.monotonic() + 5
        while os.path.getsize(raw) == 0:
            if time.monotonic() > deadline or rec.poll() is not None:
                raise SystemExit("FAIL: the monitor delivers no samples")
            time.sleep(0.005)
        proc = subprocess.run(cmd, capture_output=True, text=True, timeout=120,
                              env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
        time.sleep(0.3)
    finally:
        rec.terminate()
        rec.wait(timeout=10)
    return proc


def decode(raw, work, name, mode, inverted):
    s16 = os.path.join(work, name + ".s16")
    subprocess.run(["sox", "-q", "-V1", "-v", "0.8", "-t", "raw", "-r", "96000", "-e",
                    "unsigned-integer", "-b", "8", "-c", "1", raw, "-t", "raw", "-r", "22050",
                    "-e", "signed-integer", "-b", "16", "-c", "1", s16], check=True)
    with open(s16, "ab") as f:
        f.write(bytes(442))  # a little silence so the decoder flushes its last codeword
    flags = ["-q", "-t", "raw", "-a", "POCSAG512", "-a", "POCSAG1200", "-a", "POCSAG2400",
             "-f", mode]
    if not inverted:
        flags.append("-i")  # the decoder's sense of polarity is the opposite of ours
    return subprocess.run(["multimon-ng"] + flags + [s16], capture_output=True,
                          text=True).stdout


def check_page(args, name, options, ric, func, message, mode, text):
    work = os.path.join(args.work, name)
    os.makedirs(work, exist_ok=True)
    log = os.path.join(work, "Tarvex-LOG.txt")
    if os.path.exists(log):
        os.remove(log)
    raw = os.path.join(work, "monitor.raw")
    cmd = [args.program, "--work", work, "--ric", ric, "--func", str(func), "--message",
           message] + options
    proc = record_while(cmd, raw)
    if proc.returncode != 0:
        return f"tarvex-gui-send exited {proc.returncode}: {proc.stdout} {proc.stderr}"
    ports = [line.split()[1] for line in proc.stdout.splitlines() if line.startswith("port ")]
    if ports != ["378=01", "378=00"]:
        return f"port writes {ports}, wanted key then release on LPT1"
    if f"log {ric} - {message} - " not in proc.stdout or proc.stdout.count("<CRLF>") != 1:
        return f"page log wrong: {proc.stdout}"
    image = open(os.path.join(work, "played.wav"), "rb").read()[44:]
    rec = open(raw, "rb").read()
    first = next((i for i, s in enumerate(rec) if s != SILENCE), None)
    if first is None:
        return "only silence recorded"
    last = len(rec) - 1
    while rec[last] == SILENCE:
        last -= 1
    sound = rec[first:last + 1]
    if sound != image:
        return f"recording ({len(sound)} samples) differs from the image ({len(image)})"
    decoded = decode(raw, work, name, mode, "--inverted" in options)
    label = "Alpha:   " if mode == "alpha" else "Numeric: "
    baud = options[1]
    want = f"POCSAG{baud}: Address: {ric:>7}  Function: {func}  {label}{text}"
    if not any(line.startswith(want) for line in decoded.splitlines()):
        return f"decoder said [{decoded.strip()}], wanted [{want}]"
    print(f"ok   {name}: {len(sound)} samples played and recorded; {want}")
    return None


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--env", required=True)
    ap.add_argument("--program", required=True)
    ap.add_argument("--work", required=True)
    args = ap.parse_args()
    if not os.path.exists(args.env):
        print(f"FAIL: {args.env} missing: the pulse fixture did not start")
        return 1
    load_env(args.env)
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
