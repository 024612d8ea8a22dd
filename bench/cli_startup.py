#!/usr/bin/env python3
"""Whole-process time of tarvex-cli: `wav` of a 224-character page at 512 bit/s and `--help`,
each run 41 times; prints the median and the spread, the number of shared libraries the loader
brought in, and the peak memory (maximum resident set) of one run. A benchmark that prints
figures, never a test.

  bench/cli_startup.py [TARVEX_CLI] [--runs N]
"""

import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

MESSAGE = ("The quick brown fox jumps over the lazy dog while the pager beeps twice. " * 4)[:224]


def run_once(argv):
    """Wall time of one run, from spawn to exit, in ms."""
    start = time.perf_counter_ns()
    pid = os.posix_spawn(argv[0], argv, os.environ, file_actions=[
        (os.POSIX_SPAWN_OPEN, 1, os.devnull, os.O_WRONLY, 0)])
    _, status = os.waitpid(pid, 0)
    took = (time.perf_counter_ns() - start) / 1e6
    if os.waitstatus_to_exitcode(status) != 0:
        raise SystemExit(f"{' '.join(argv)} failed")
    return took


def peak_kib(argv):
    """Maximum resident set of one run, as GNU time measures it (the program's own pages, not
    those of the process that started it)."""
    err = subprocess.run(["/usr/bin/time", "-f", "%M"] + argv, stdout=subprocess.DEVNULL,
                         stderr=subprocess.PIPE, text=True).stderr
    return int(err.strip().splitlines()[-1])


def libraries(argv):
    env = dict(os.environ, LD_DEBUG="libs")
    err = subprocess.run(argv, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                         text=True).stderr
    return sum(1 for line in err.splitlines() if "calling init:" in line)


def measure(name, argv, runs):
    run_once(argv)  # warm the page cache
    times = [run_once(argv) for _ in range(runs)]
    q = statistics.quantiles(times, n=10)
    print(f"{name:<14} median {statistics.median(times):7.2f} ms  (p10 {q[0]:.2f}, p90 "
          f"{q[-1]:.2f}, {runs} runs)  {libraries(argv):3d} libraries  peak "
          f"{peak_kib(argv) / 1024:.1f} MiB")


def main():
    ap = argparse.ArgumentParser()
    here = os.path.dirname(os.path.abspath(__file__))
    ap.add_argument("cli", nargs="?", default=os.path.join(here, "..", "build", "bin",
                                                           "tarvex-cli"))
    ap.add_argument("--runs", type=int, default=41)
    args = ap.parse_args()
    cli = os.path.abspath(args.cli)
    with tempfile.TemporaryDirectory() as work:
        wav = [cli, "wav", "--ric", "1234567", "--message", MESSAGE, "--baud", "512", "-o",
               os.path.join(work, "page.wav")]
        print(f"{cli}")
        measure("wav (224, 512)", wav, args.runs)
        measure("--help", [cli, "--help"], args.runs)
    return 0


if __name__ == "__main__":
    sys.exit(main())
