#!/usr/bin/env python3
"""Benchmark (prints figures, never fails on time): pages accepted per second through the
SNPP server into the real durable queue, and the time from SEND to its 250 reply (median,
99th percentile, worst), for one client and for several at once.

  bench/snpp_queue_rate.py --host build/bin/network_test_host [--clients 1,8,50]
                           [--pages 400] [--folder DIR]

The queue is written in --folder (default: a fresh folder beside this run's working
directory, so on the disk the build uses rather than a RAM disk, and removed afterwards)."""

import argparse
import os
import shutil
import statistics
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests",
                                "network", "servers"))
from host_fixture import Host, SnppClient, fresh_folder  # noqa: E402


EXTRA = [a for a in os.environ.get("BENCH_EXTRA", "").split() if a]


def client(port, count, latencies, errors):
    c = SnppClient(port)
    for n in range(count):
        c.command("PAGE 1004")
        c.command(f"MESS bench page {n}")
        start = time.perf_counter()
        reply = c.command("SEND")
        latencies.append(time.perf_counter() - start)
        if not reply.startswith("250"):
            errors.append(reply)
    c.command("QUIT")
    c.close()


def run(host_binary, folder, clients, pages_total):
    host = Host(host_binary, fresh_folder(folder), *EXTRA, "--pages-per-minute", "10000000",
                "--max-connections", str(clients + 8), "--quiet")
    latencies, errors = [], []
    per_client = max(1, pages_total // clients)
    threads = [threading.Thread(target=client, args=(host.snpp_port, per_client, latencies,
                                                     errors)) for _ in range(clients)]
    start = time.perf_counter()
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    wall = time.perf_counter() - start
    host.stop()
    queued = len(host.queued())
    ms = sorted(x * 1000 for x in latencies)
    p99 = ms[min(len(ms) - 1, int(len(ms) * 0.99))]
    print(f"{clients:3d} clients  {len(ms):6d} pages  {len(ms) / wall:8.0f} pages/s  "
          f"SEND->250 median {statistics.median(ms):6.2f} ms  p99 {p99:6.2f} ms  "
          f"worst {ms[-1]:7.2f} ms  queued {queued}  refused {len(errors)}")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--host", required=True)
    ap.add_argument("--clients", default="1,8,50")
    ap.add_argument("--pages", type=int, default=1000)
    ap.add_argument("--folder")
    args = ap.parse_args()
    base = args.folder or tempfile.mkdtemp(prefix="snpp-bench-", dir=os.getcwd())
    print(f"queue in {base} (synchronous FULL: each page is on disk before its 250)")
    try:
        for clients in (int(c) for c in args.clients.split(",")):
            run(args.host, os.path.join(base, f"c{clients}"), clients, args.pages)
    finally:
        if not args.folder:  # a folder of our own making goes; one that was named stays
            shutil.rmtree(base, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
