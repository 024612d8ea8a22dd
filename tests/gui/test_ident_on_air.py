#!/usr/bin/env python3
"""The station ident and the tune-up through the desktop program's window: tarvex-gui-ident
presses the Station Ident dialog's Test button, or TUNE-UP (once during a manual key-up). With --env, the Qt Multimedia output plays into the private
PulseAudio server's null sink, whose monitor is recorded; the recording must equal the played
image sample for sample (full level, so the output does not scale it). Without it, the ident goes to a WAV file. Either way the sound must
decode with multimon-ng's MORSE_CW demodulator to the callsign (the tune-up must be a square
wave at half the bit rate for its length), the port must have been keyed then released, and
the generator must be back at its own rate.

  test_ident_on_air.py --program tarvex-gui-ident --work DIR [--env PULSE_ENV]
"""

import argparse
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from pulse_tools import load_env, record_while, recorded_span  # noqa: E402

CALLSIGNS = [("GXZYX", 5241), ("M0ABC", None), ("E5", None)]
TUNES = [  # seconds, rate, manual key-up first, Duration in ms
    (1, 512, False, 1000),
    (2, 2400, True, 1997),
]


def morse_decode(raw, work, name):
    """Decodes a u8 96 kHz sound with MORSE_CW. The ident's silence rests at one level of the
    two-level wave, so the steady offset is filtered out first (a 100 Hz high-pass)."""
    s16 = os.path.join(work, name + ".s16")
    subprocess.run(["sox", "-q", "-V1", "-t", "raw", "-r", "96000", "-e", "unsigned-integer",
                    "-b", "8", "-c", "1", raw, "-t", "raw", "-r", "22050", "-e",
                    "signed-integer", "-b", "16", "-c", "1", s16, "vol", "0.5", "highpass",
                    "100"], check=True)
    out = subprocess.run(["multimon-ng", "-q", "-a", "MORSE_CW", "-t", "raw", s16],
                         capture_output=True, text=True).stdout
    return "".join(out.split())


def play(args, work, cmd):
    """Runs the program; returns (problem, stdout lines, port writes, image, sound file)."""
    env = {"QT_QPA_PLATFORM": "offscreen"}
    raw = os.path.join(work, "sound.raw")
    if args.env:
        returncode, stdout, stderr, _ = record_while(cmd, raw, env=env)
    else:
        cmd += ["--audio", "wav:" + os.path.join(work, "sink.wav")]
        proc = subprocess.run(cmd, capture_output=True, text=True, timeout=120,
                              env=dict(os.environ, **env))
        returncode, stdout, stderr = proc.returncode, proc.stdout, proc.stderr
    if returncode != 0:
        return f"tarvex-gui-ident exited {returncode}: {stdout} {stderr}", {}, [], b"", raw
    lines = dict(line.split(" ", 1) for line in stdout.splitlines() if " " in line)
    ports = [line.split()[1] for line in stdout.splitlines() if line.startswith("port ")]
    image = open(os.path.join(work, "played.wav"), "rb").read()[44:]
    if args.env:
        rec = open(raw, "rb").read()
        first, last = recorded_span(rec)
        if first is None:
            return "only silence recorded", lines, ports, image, raw
        if rec[first:last + 1] != image:
            return (f"recording ({last + 1 - first} samples) differs from the image "
                    f"({len(image)})", lines, ports, image, raw)
    else:
        with open(raw, "wb") as f:
            f.write(image)
    return None, lines, ports, image, raw


def check(args, call, duration):
    work = os.path.join(args.work, call)
    os.makedirs(work, exist_ok=True)
    cmd = [args.program, "--work", work, "--callsign", call, "--level", "100"]
    problem, lines, ports, image, raw = play(args, work, cmd)
    if problem:
        return problem
    if ports != ["378=01", "378=00"]:
        return f"port writes {ports}, wanted key then release on LPT1"
    if lines.get("baud") != "1200":
        return f"generator rate {lines.get('baud')} after the ident, wanted 1200 back"
    if duration is not None and lines.get("duration") != str(duration):
        return f"ident lasted {lines.get('duration')} ms, wanted {duration}"
    decoded = morse_decode(raw, work, call)
    if decoded != call:
        return f"MORSE_CW decoded [{decoded}], wanted [{call}]"
    print(f"ok   {call}: {len(image)} samples, {lines.get('duration')} ms; MORSE_CW: {decoded}")
    return None


def check_tune(args, seconds, baud, keyup, duration):
    work = os.path.join(args.work, f"tune-{seconds}s-{baud}")
    os.makedirs(work, exist_ok=True)
    cmd = [args.program, "--work", work, "--tune", str(seconds), "--baud", str(baud)]
    if keyup:
        cmd.append("--keyup")
    problem, lines, ports, image, _ = play(args, work, cmd)
    if problem:
        return problem
    wanted = (["378=01"] if keyup else []) + ["378=01", "378=00"]
    if ports != wanted:
        return f"port writes {ports}, wanted {wanted}"
    if lines.get("mark") != ("1" if keyup else "0"):
        return f"key-up mark {lines.get('mark')} after the tune-up"
    if lines.get("duration") != str(duration) or len(image) != duration * 96:
        return f"tune-up lasted {lines.get('duration')} ms ({len(image)} samples), wanted {duration}"
    # A square wave at half the bit rate: runs of one level, each one bit long.
    runs, start = [], 0
    for i in range(1, len(image) + 1):
        if i == len(image) or image[i] != image[start]:
            runs.append(i - start)
            start = i
    bit = 96000 // baud
    if len(set(image)) != 2 or any(abs(r - bit) > 1 for r in runs[:-1]):
        return f"not a square wave of {bit}-sample half periods: runs {sorted(set(runs))}"
    print(f"ok   tune-up {seconds} s at {baud} bit/s: {len(image)} samples, {baud // 2} Hz")
    return None


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--env")
    ap.add_argument("--program", required=True)
    ap.add_argument("--work", required=True)
    args = ap.parse_args()
    if args.env:
        if not os.path.exists(args.env):
            print(f"FAIL: {args.env} missing: the pulse fixture did not start")
            return 1
        load_env(args.env)
    failures = 0
    for call, duration in CALLSIGNS:
        problem = check(args, call, duration)
        if problem:
            print(f"FAIL {call}: {problem}")
            failures += 1
    for tune in TUNES:
        problem = check_tune(args, *tune)
        if problem:
            print(f"FAIL tune-up {tune[:2]}: {problem}")
            failures += 1
    total = len(CALLSIGNS) + len(TUNES)
    print(f"{total - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
