#!/usr/bin/env python3
"""tarvex-cli send on the air for real: the page is played through Qt Multimedia into the
private PulseAudio server's null sink; the sink's monitor is recorded, must equal the page's
WAV image sample for sample, and must decode with multimon-ng to the right RIC, function bits
and text. Prints the measured output latency (Send to the first sample at the monitor).

  send_e2e.py --env PULSE_ENV --cli tarvex-cli --work DIR
"""

import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from pulse_tools import fixture_args, multimon_decode, pocsag_line, record_while, recorded_span  # noqa: E402

PAGES = [  # baud, extra options, ric, func, message, decoder mode, decoded text
    (512, [], "1234567", 0, "Pulse at 512", "alpha", "Pulse at 512"),
    (1200, ["--inverted"], "2000", 3, "Inverted at 1200 over two batches please", "alpha",
     "Inverted at 1200 over two batches please"),
    (2400, ["--numeric"], "8", 2, "0123456789", "numeric", "0123456789"),
]


def main():
    args = fixture_args("cli", "work")
    os.makedirs(args.work, exist_ok=True)
    failures = 0
    for baud, extra, ric, func, message, mode, text in PAGES:
        name = f"send-{baud}"
        page = ["--ric", ric, "--func", str(func), "--message", message, "--baud", str(baud)] + extra
        wav = os.path.join(args.work, name + ".wav")
        subprocess.run([args.cli, "wav"] + page + ["-o", wav], check=True, capture_output=True)
        image = open(wav, "rb").read()[44:]
        raw = os.path.join(args.work, name + ".raw")
        rc, out, err, arrivals = record_while(
            [args.cli, "send"] + page + ["--port", "none", "--key-delay", "100", "--level", "100"],
            raw, env={"TARVEX_TIMING": "1"})
        sys.stdout.write(out)
        if rc != 0:
            print(f"FAIL {name}: tarvex-cli send exited {rc}: {err}")
            failures += 1
            continue
        rec = open(raw, "rb").read()
        first, last = recorded_span(rec)
        if first is None:
            print(f"FAIL {name}: only silence recorded")
            failures += 1
            continue
        sound = rec[first:last + 1]
        # The image may itself end on samples equal to the recorder's silence only if it holds
        # 128, which a two-level image never does.
        if sound != image:
            where = next((i for i in range(min(len(sound), len(image))) if sound[i] != image[i]),
                         min(len(sound), len(image)))
            print(f"FAIL {name}: recording ({len(sound)} samples) differs from the image "
                  f"({len(image)} samples) at sample {where}")
            failures += 1
            continue
        sent_ns = int(out.split("send_monotonic_ns=")[1].split()[0])
        first_ns = next(t for t, size in arrivals if size > first)
        print(f"{name}: {len(sound)} samples recorded, equal to the image; output latency "
              f"{(first_ns - sent_ns) / 1e6:.1f} ms (Send to first sample at the monitor)")
        # Decode what the sound server actually played.
        decoded = multimon_decode(raw, args.work, name, mode, "--inverted" in extra)
        want = pocsag_line(baud, ric, func, mode, text)
        if not any(line.startswith(want) for line in decoded.splitlines()):
            print(f"FAIL {name}: decoder said [{decoded.strip()}], wanted [{want}]")
            failures += 1
            continue
        print(f"ok   {name}: {want}")
    print(f"{len(PAGES) - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
