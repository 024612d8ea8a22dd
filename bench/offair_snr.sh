#!/usr/bin/env bash
# Off-air confirmation rate against signal-to-noise ratio, per bit rate: pages rendered by
# tarvex-cli wav, white noise added with sox at falling SNRs, decoded and judged the way the
# off-air monitor does (its multimon-ng command lines and its matcher, offair_judge). Prints
# a table of the fraction of pages confirmed and draws build/offair_snr.png with gnuplot.
#
#   bench/offair_snr.sh [--pages N] [--snr "20 15 10 6 3 0 -3"] [--build DIR]
#
# SNR (dB) = 10 log10(Ps / Pn): Ps the mean power of the receiver's audio while the page is
# on the air (the two-level waveform at 22050 samples per second, as the monitor reads it),
# Pn the mean power of the added noise, white over the whole 0..11025 Hz band of that stream.
# The noise runs from 0.5 s before the transmission to 1 s after it.
set -euo pipefail
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
pages=20
snrs="20 15 10 6 3 0 -3"
build="$top/build"
while [ $# -gt 0 ]; do
  case "$1" in
    --pages) pages="$2"; shift 2 ;;
    --snr) snrs="$2"; shift 2 ;;
    --build) build="$2"; shift 2 ;;
    -h|--help) sed -n '2,14p' "$0"; exit 0 ;;
    *) echo "offair_snr.sh: unknown option $1" >&2; exit 2 ;;
  esac
done
for tool in sox multimon-ng gnuplot python3; do
  command -v "$tool" >/dev/null || { echo "offair_snr.sh: $tool is not installed" >&2; exit 1; }
done
cmake --build "$build" --target tarvex-cli offair_judge >/dev/null
python3 "$top/bench/offair_snr.py" --cli "$build/bin/tarvex-cli" --judge "$build/bin/offair_judge" \
  --work "$build/offair_snr" --pages "$pages" --snr "$snrs" --png "$build/offair_snr.png"
