#!/usr/bin/env python3
"""Plays an image through the Qt backend into the private PulseAudio null sink, records the
sink's monitor, and checks that the recording holds the image's samples exactly, with only
silence before and after. Prints the measured output latency and the sink's buffer size.

  audio_roundtrip.py --env PULSE_ENV --player tarvex-play-image --work DIR -- PLAYER_ARGS...

Exits 77 (skipped) only when the PulseAudio programs are missing."""

import argparse
import os
import shutil
import subprocess
import sys
import threading
import time

from pulse_tools import load_env, recorded_span  # noqa: E402  (beside this file)

RATE = 96000


def wav_samples(path):
    data = open(path, "rb").read()
    if len(data) < 44 or data[0:4] != b"RIFF" or data[36:40] != b"data":
        raise SystemExit(f"FAIL: {path} is not the image the player should have written")
    n = int.from_bytes(data[40:44], "little")
    return data[44:44 + n]


class SizeSampler(threading.Thread):
    """Notes (monotonic ns, bytes recorded) every millisecond: when each sample arrived."""

    def __init__(self, path):
        super().__init__(daemon=True)
        self.path, self.points, self.running = path, [], True

    def run(self):
        while self.running:
            self.points.append((time.monotonic_ns(), os.path.getsize(self.path)))
            time.sleep(0.001)

    def arrival_ns(self, index):
        for t, size in self.points:
            if size > index:
                return t
        return None


def compare(sound, samples, loop):
    if loop:
        n = len(samples)
        if len(sound) < 2 * n:
            return f"the loop played {len(sound)} samples, fewer than two images of {n}"
        for i, s in enumerate(sound):
            if s != samples[i % n]:
                return f"loop sample {i} (image offset {i % n}) is {s}, expected {samples[i % n]}"
        return None
    if len(sound) != len(samples):
        where = next((i for i in range(min(len(sound), len(samples))) if sound[i] != samples[i]),
                     None)
        return (f"recorded {len(sound)} samples between the silences, the image has "
                f"{len(samples)}; first difference at {where}")
    if sound != samples:
        i = next(i for i in range(len(sound)) if sound[i] != samples[i])
        return f"sample {i} is {sound[i]}, expected {samples[i]}"
    return None


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--env", required=True)
    ap.add_argument("--player", required=True)
    ap.add_argument("--work", required=True)
    ap.add_argument("player_args", nargs=argparse.REMAINDER)
    args = ap.parse_args()
    if not shutil.which("pulseaudio") or not shutil.which("parec"):
        print("SKIP: PulseAudio is not installed")
        return 77
    if not os.path.exists(args.env):
        print(f"FAIL: {args.env} missing: the pulse fixture did not start")
        return 1
    load_env(args.env)
    os.makedirs(args.work, exist_ok=True)
    raw = os.path.join(args.work, "monitor.raw")
    wav = os.path.join(args.work, "expected.wav")
    player_args = [a for a in args.player_args if a != "--"]
    loop = "loop" in player_args

    with open(raw, "wb") as out:
        rec = subprocess.Popen(["parec", "--rate=96000", "--channels=1", "--format=u8", "--raw",
                                "--latency-msec=5", "-d", os.environ["TARVEX_PULSE_MONITOR"]],
                               stdout=out, stdin=subprocess.DEVNULL)
    try:
        deadline = time.monotonic() + 5
        while os.path.getsize(raw) == 0:
            if time.monotonic() > deadline or rec.poll() is not None:
                print("FAIL: the monitor delivers no samples")
                return 1
            time.sleep(0.005)
        sampler = SizeSampler(raw)
        sampler.start()
        time.sleep(0.1)
        run = subprocess.run([args.player, "--wav", wav] + player_args, capture_output=True,
                             text=True, timeout=120)
        time.sleep(0.4)  # let the tail reach the recording
        sampler.running = False
        sampler.join()
    finally:
        rec.terminate()
        rec.wait(timeout=10)

    sys.stdout.write(run.stdout)
    sys.stderr.write(run.stderr)
    if run.returncode != 0:
        print(f"FAIL: player exited with {run.returncode}")
        return 1
    facts = dict(line.split("=", 1) for line in run.stdout.splitlines() if "=" in line)
    samples = wav_samples(wav)
    rec_bytes = open(raw, "rb").read()
    first, last = recorded_span(rec_bytes)
    if first is None:
        print(f"FAIL: nothing but silence in {len(rec_bytes)} recorded samples")
        return 1
    sound = rec_bytes[first:last + 1]
    problem = compare(sound, samples, loop)

    called = int(facts["play_called_ns"])
    start_ns, end_ns = sampler.arrival_ns(first), sampler.arrival_ns(last)
    latency_ms = (start_ns - called) / 1e6
    print(f"recorded_samples={len(sound)} image_samples={len(samples)}")
    print(f"output_latency_ms={latency_ms:.1f} (play call to first sample at the monitor)")
    print(f"sink_buffer_bytes={facts['sink_buffer_bytes']} "
          f"({int(facts['sink_buffer_bytes']) * 1000 / RATE:.1f} ms)")
    if loop:
        stop_ms = (end_ns - int(facts["stop_called_ns"])) / 1e6
        print(f"stop_to_silence_ms={stop_ms:.1f} (Stop call to the last sample at the monitor)")
        if stop_ms > 60:
            problem = problem or "the loop went on sounding after Stop"
    else:
        drained = int(facts["drained_ns"])
        returned = int(facts["play_returned_ns"])
        print(f"last_sample_at_ms={(end_ns - called) / 1e6:.1f} "
              f"drained_at_ms={(drained - called) / 1e6:.1f} "
              f"play_returned_at_ms={(returned - called) / 1e6:.1f}")
        if drained - called < (int(facts["duration_ms"]) + 100) * 1_000_000:
            problem = problem or "drained before Duration + 100 ms"
        # The recorder sees a sample a few ms after it left; allow for that and no more.
        if drained + 30_000_000 < end_ns:
            problem = problem or "drained while samples were still arriving"
        if "blocking" in player_args and returned + 30_000_000 < end_ns:
            problem = problem or "a blocking play returned before its last sample had played"
    if problem:
        print(f"FAIL: {problem}")
        return 1
    print("PASS: the recording equals the image sample for sample")
    return 0


if __name__ == "__main__":
    sys.exit(main())
