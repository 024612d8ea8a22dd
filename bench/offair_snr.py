#!/usr/bin/env python3
"""Helper of offair_snr.sh: renders the pages, adds the noise, has offair_judge decide each
one, prints the table and draws the chart."""

import argparse
import os
import random
import re
import subprocess

RATES = (512, 1200, 2400)
RAW = ["-t", "raw", "-r", "22050", "-e", "signed-integer", "-b", "16", "-c", "1"]
LEVEL = 0.25  # the receiver's audio level (full scale 1): room for the noise at low SNR


def rms(path):
    """RMS amplitude of a raw stream as sox measures it."""
    out = subprocess.run(["sox"] + RAW + [path, "-n", "stat"], capture_output=True,
                         text=True).stderr
    return float(re.search(r"RMS\s+amplitude:\s+([0-9.]+)", out).group(1))


def render(cli, work, baud, index, rng):
    """One page: its receiver audio without noise (raw, padded) and its job fields."""
    ric = rng.randrange(8, 2097152)
    text = "".join(rng.choice("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 .,-")
                   for _ in range(rng.randrange(10, 41))).strip() or "x"
    wav = os.path.join(work, f"p{baud}_{index}.wav")
    subprocess.run([cli, "wav", "--ric", str(ric), "--func", "3", "--message", text, "--baud",
                    str(baud), "-o", wav], check=True, capture_output=True)
    on_air = os.path.join(work, f"p{baud}_{index}.air.raw")
    subprocess.run(["sox", "-q", "-V1", "-v", str(LEVEL), wav] + RAW + [on_air], check=True)
    padded = os.path.join(work, f"p{baud}_{index}.raw")
    subprocess.run(["sox", "-q", "-V1"] + RAW + [on_air] + RAW + [padded, "pad", "0.5", "1.0"],
                   check=True)
    seconds = os.path.getsize(padded) / 2 / 22050
    return {"ric": ric, "hex": text.encode().hex(), "raw": padded, "signal_rms": rms(on_air),
            "seconds": seconds}


def noisy(page, snr, path):
    """The page with white noise at the SNR, written to path."""
    noise = path + ".noise"
    subprocess.run(["sox", "-q", "-V1", "-n"] + RAW + [noise, "synth", f"{page['seconds']:.4f}",
                                                      "whitenoise", "vol", "0.5"], check=True)
    gain = page["signal_rms"] / (10 ** (snr / 20)) / rms(noise)
    subprocess.run(["sox", "-q", "-V1", "-m", "-v", "1"] + RAW + [page["raw"], "-v",
                   f"{gain:.6f}"] + RAW + [noise] + RAW + [path], check=True)
    os.remove(noise)


def chart(data, png, snrs, pages):
    script = data + ".gp"
    with open(script, "w") as f:
        f.write(f"""set terminal pngcairo size 800,500 font ",11"
set output "{png}"
set title "Off-air confirmation against signal-to-noise ratio ({pages} pages per point)"
set xlabel "SNR (dB): audio power over white-noise power in 0-11025 Hz"
set ylabel "pages confirmed"
set yrange [0:1.05]
set xrange [{min(snrs) - 1}:{max(snrs) + 1}]
set key bottom right
set grid
plot "{data}" using 1:2 with linespoints lw 2 title "512 bit/s", \\
     "" using 1:3 with linespoints lw 2 title "1200 bit/s", \\
     "" using 1:4 with linespoints lw 2 title "2400 bit/s"
""")
    subprocess.run(["gnuplot", script], check=True)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cli", required=True)
    ap.add_argument("--judge", required=True)
    ap.add_argument("--work", required=True)
    ap.add_argument("--pages", type=int, default=20)
    ap.add_argument("--snr", default="20 15 10 6 3 0 -3")
    ap.add_argument("--png", required=True)
    args = ap.parse_args()
    snrs = [float(s) for s in args.snr.split()]
    os.makedirs(args.work, exist_ok=True)
    rng = random.Random(2024)

    jobs, keys = [], []
    for baud in RATES:
        for i in range(args.pages):
            page = render(args.cli, args.work, baud, i, rng)
            for snr in snrs:
                path = os.path.join(args.work, f"n{baud}_{i}_{snr:g}.raw")
                noisy(page, snr, path)
                jobs.append(f"{baud} N {page['ric']} 3 A {page['hex']} {path}")
                keys.append((baud, snr))
    out = subprocess.run([args.judge], input="\n".join(jobs) + "\n", capture_output=True,
                         text=True, check=True).stdout.split()
    confirmed = {}
    for key, verdict in zip(keys, out):
        confirmed[key] = confirmed.get(key, 0) + (verdict == "confirmed")

    print(f"Fraction of pages confirmed ({args.pages} pages per point)")
    print("SNR dB  " + "".join(f"{s:>8g}" for s in snrs))
    for baud in RATES:
        print(f"{baud:4d}    " + "".join(f"{confirmed.get((baud, s), 0) / args.pages:8.2f}"
                                        for s in snrs))
    data = os.path.join(args.work, "offair_snr.dat")
    with open(data, "w") as f:
        f.write("# snr_db  512  1200  2400 (fraction of pages confirmed)\n")
        for s in snrs:
            f.write(f"{s:g} " + " ".join(f"{confirmed.get((b, s), 0) / args.pages:.3f}"
                                         for b in RATES) + "\n")
    chart(data, args.png, snrs, args.pages)
    print(f"chart: {args.png}")
    for name in os.listdir(args.work):
        if name.endswith(".raw") and name.startswith("n"):
            os.remove(os.path.join(args.work, name))


if __name__ == "__main__":
    main()
