#!/usr/bin/env python3
"""What tarvexd costs a small station box: the time from start until it answers on its control
socket, the shared libraries it has loaded once running, and its peak memory (VmHWM) after it
has idled a while, and what it holds then (VmRSS). Each configuration is run N times; prints the median and the spread. A
benchmark that prints figures, never a test.

The station plays through ALSA's null device (AudioBackend=alsa, the installed service's
setting) or through Qt Multimedia (AudioBackend=qt, its default device); the keying method is
none, the network inputs are off.

  bench/tarvexd_footprint.py [TARVEXD] [--runs N] [--idle SECONDS]
"""

import argparse
import os
import shutil
import signal
import statistics
import subprocess
import tempfile
import time


def one_run(tarvexd, backend, idle):
    work = tempfile.mkdtemp(prefix="tarvexd-footprint-")
    try:
        # The per-user store, which every tarvexd reads (older ones have no --config).
        os.makedirs(os.path.join(work, "config/dovrik-apps"))
        ini = os.path.join(work, "config/dovrik-apps/Tarvex.ini")
        with open(ini, "w") as f:
            f.write(f"[Tarvex]\nPttMethod=none\nSnppEnabled=0\nWctpEnabled=0\nAutoSend=0\n"
                    f"AudioBackend={backend}\n" + ("AudioDevice=null\n" if backend == "alsa" else ""))
        env = dict(os.environ, TARVEX_FOLDER=work, XDG_CONFIG_HOME=os.path.join(work, "config"), TARVEX_CONTROL=os.path.join(work, "ctl.sock"),
                   TARVEX_STATION_LOCK=os.path.join(work, "station.lock"))
        env.pop("TARVEX_AUDIO", None)
        log = open(os.path.join(work, "log"), "w+")
        start = time.perf_counter()
        proc = subprocess.Popen([tarvexd], env=env, stdout=subprocess.DEVNULL,
                                stderr=log)
        sock = os.path.join(work, "ctl.sock")
        while not os.path.exists(sock):
            if proc.poll() is not None or time.perf_counter() - start > 20:
                log.seek(0)
                raise SystemExit(f"tarvexd did not start: {log.read()}")
            time.sleep(0.002)
        ready_ms = (time.perf_counter() - start) * 1000
        time.sleep(idle)
        with open(f"/proc/{proc.pid}/maps") as maps:
            libs = {line.split()[-1] for line in maps if ".so" in line.split()[-1]}
        with open(f"/proc/{proc.pid}/status") as status:
            fields = dict(line.split(":", 1) for line in status)
        hwm = int(fields["VmHWM"].split()[0])
        rss = int(fields["VmRSS"].split()[0])
        proc.send_signal(signal.SIGTERM)
        proc.wait(timeout=20)
        gui = sorted(os.path.basename(l) for l in libs
                     if any(k in l for k in ("Qt6Gui", "Multimedia", "libX11", "libGL", "libEGL",
                                             "libpulse", "DBus")))
        return ready_ms, len(libs), hwm, gui, rss
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("tarvexd", nargs="?", default="build/bin/tarvexd")
    parser.add_argument("--runs", type=int, default=9)
    parser.add_argument("--idle", type=float, default=1.0)
    args = parser.parse_args()
    for backend in ("alsa", "qt"):
        runs = [one_run(args.tarvexd, backend, args.idle) for _ in range(args.runs)]
        ready = [r[0] for r in runs]
        print(f"{args.tarvexd} AudioBackend={backend}: ready in {statistics.median(ready):.1f} ms "
              f"(min {min(ready):.1f}, max {max(ready):.1f}); "
              f"{statistics.median(r[1] for r in runs):.0f} shared libraries; "
              f"peak RSS {statistics.median(r[2] for r in runs) / 1024:.1f} MiB, "
              f"idle RSS {statistics.median(r[4] for r in runs) / 1024:.1f} MiB; "
              f"GUI/sound-server libraries: {', '.join(runs[0][3]) or 'none'}")


if __name__ == "__main__":
    main()
