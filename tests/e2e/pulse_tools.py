"""Shared pieces of the end-to-end tests: waiting for a condition, the private PulseAudio
fixture's environment, recording the null sink's monitor while a program plays, finding the
sound in a recording, and decoding a recording with multimon-ng."""

import argparse
import os
import subprocess
import time

SILENCE = 128  # what the monitor delivers between sounds (unsigned 8-bit)


def wait_until(condition, seconds=10, step=0.05):
    """Polls condition until it gives a true value or seconds have passed; returns its last
    value."""
    deadline = time.monotonic() + seconds
    while True:
        value = condition()
        if value or time.monotonic() >= deadline:
            return value
        time.sleep(step)


def load_env(path):
    """Takes the variables the fixture wrote ("export NAME=value" lines) into os.environ."""
    with open(path) as f:
        for line in f:
            line = line.strip()
            if line.startswith("export "):
                key, _, value = line[len("export "):].partition("=")
                os.environ[key] = value


def fixture_args(*names):
    """Parses --env and the named options (every one required) and takes the fixture's
    environment; stops the test with a FAIL line when the fixture did not start."""
    ap = argparse.ArgumentParser()
    for name in ("env",) + names:
        ap.add_argument("--" + name, required=True)
    args = ap.parse_args()
    if not os.path.exists(args.env):
        raise SystemExit(f"FAIL: {args.env} missing: the pulse fixture did not start")
    load_env(args.env)
    return args


def start_recorder(raw):
    """Starts parec on the null sink's monitor, writing u8 at 96 kHz to raw, and returns once
    samples flow (an idle null sink can take up to two seconds to deliver data)."""
    with open(raw, "wb") as out:
        rec = subprocess.Popen(["parec", "--rate=96000", "--channels=1", "--format=u8", "--raw",
                                "--latency-msec=5", "-d", os.environ["TARVEX_PULSE_MONITOR"]],
                               stdout=out, stdin=subprocess.DEVNULL)
    deadline = time.monotonic() + 5
    while os.path.getsize(raw) == 0:
        if time.monotonic() > deadline or rec.poll() is not None:
            rec.kill()
            raise SystemExit("FAIL: the monitor delivers no samples")
        time.sleep(0.005)
    return rec


def stop_recorder(rec):
    rec.terminate()
    rec.wait(timeout=10)


def record_while(cmd, raw, env=None, timeout=120):
    """Runs cmd while the monitor is recorded into raw. Returns (returncode, stdout, stderr,
    arrivals): arrivals are (monotonic ns, bytes recorded) pairs sampled every millisecond
    while cmd ran, to time when a given sample reached the monitor."""
    rec = start_recorder(raw)
    try:
        proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                                env=dict(os.environ, **(env or {})))
        arrivals = []
        deadline = time.monotonic() + timeout
        while proc.poll() is None:
            if time.monotonic() > deadline:
                proc.kill()
                break
            arrivals.append((time.monotonic_ns(), os.path.getsize(raw)))
            time.sleep(0.001)
        out, err = proc.communicate()
        time.sleep(0.3)  # let the tail reach the recording
    finally:
        stop_recorder(rec)
    return proc.returncode, out, err, arrivals


def recorded_span(rec):
    """First and last index of the sound between the silences, or (None, None)."""
    first = next((i for i, s in enumerate(rec) if s != SILENCE), None)
    if first is None:
        return None, None
    last = len(rec) - 1
    while rec[last] == SILENCE:
        last -= 1
    return first, last


def multimon_decode(raw, work, name, mode, inverted):
    """Decodes a u8 96 kHz recording with multimon-ng's POCSAG decoders (mode "alpha" or
    "numeric"); returns what it printed."""
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


def pocsag_line(baud, ric, func, mode, text):
    """The start of the line multimon-ng prints for a page."""
    label = "Alpha:   " if mode == "alpha" else "Numeric: "
    return f"POCSAG{baud}: Address: {ric:>7}  Function: {func}  {label}{text}"
