#!/usr/bin/python3
"""What tarvexd's web page costs and how quickly it follows the station, in Debian's headless
Chromium on loopback, against a service with no sound output and the recording keying port:

- load: from the first byte of the page to the status drawn (the page's own
  'tarvex-status-drawn' mark against the browser's Navigation Timing, so the test driver is not
  counted) and to the lamp painted on the screen (Element Timing), over N loads after one that warms the browser up, with the stages on the way,
  once with the browser's cache emptied before each load and once with what it keeps;
  each load notes how busy the machine's CPUs were just before it (other builds), and the loads
  on a quiet machine are summed up apart;
- bytes: what one load transfers (the page, its two files unless the browser kept them, and the
  API's first answers; the event stream, which never ends, aside);
- event latency: for each lamp change while pages play, the moment the page received the
  status minus the stamp (now_ms) the service put on it when it published it; and STOP pressed
  on the page until its lamp has left ON AIR, the whole way through the engine;
- memory: tarvexd's VmRSS before and while B Chromium browsers hold the page and its event
  stream open (each its own browser: one browser opens at most 6 connections to a server).

Prints figures and never fails on them. Run it with Debian's python3 (python3-selenium):

  bench/web_figures.py [--build build] [--loads 20] [--browsers 10] [--pages 6] [--stops 5]
                       [--quiet 0.25]
"""

import argparse
import os
import statistics
import sys
import time
import types

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "tests", "service"))
from tarvexd_e2e import wait_until  # noqa: E402
from tarvexd_integrity_e2e import stop_service  # noqa: E402
from tarvexd_web_browser import LOAD, WATCH, chromium, rss_kb, state  # noqa: E402
from tarvexd_web_e2e import Client, web_station  # noqa: E402

# Each status the stream brings whose lamp differs from the last: [state, received - stamped].
STAMPS = """
window.lamps = [];
let last = '';
events.addEventListener('status', (e) => {
  const s = JSON.parse(e.data);
  if (s.lamp.state !== last) window.lamps.push([s.lamp.state, Date.now() - s.now_ms]);
  last = s.lamp.state;
});
"""


def spread(values):
    q = statistics.quantiles(values, n=4) if len(values) > 1 else values * 3
    return (f"median {statistics.median(values):.1f} (quartiles {q[0]:.1f}-{q[2]:.1f}, "
            f"min {min(values):.1f}, max {max(values):.1f}, n {len(values)})")


def cpu_times():
    with open("/proc/stat") as f:
        values = [int(v) for v in f.readline().split()[1:]]
    return sum(values), values[3] + values[4]  # all, idle + iowait


def load_figures(d, url, loads, quiet, cold):
    """Loads the page again and again, with the browser's cache emptied before each (cold) or
    holding what the page let it keep (its stylesheet and script)."""
    runs = []
    for _ in range(loads + 1):
        if cold:
            d.execute_cdp_cmd("Network.clearBrowserCache", {})
        # How busy the machine was (other programs: the browser and the service are idle)
        # in the half second before the load.
        total, idle = cpu_times()
        time.sleep(0.5)
        total2, idle2 = cpu_times()
        busy = 1 - (idle2 - idle) / max(1, total2 - total)
        d.get(url)
        wait_until(lambda: state(d) == "idle", 10)
        time.sleep(0.3)  # the page's later calls are done before the next load
        runs.append(dict(d.execute_script(LOAD), busy=busy))
    runs = runs[1:]
    kind = "cold" if cold else "warm"
    print(f"load   {kind}: the machine's CPUs were {spread([100 * r['busy'] for r in runs])} % "
          "busy before each load")
    for stage in ("html_end", "css_end", "session_end", "status_end", "script_end",
                  "dom_content_loaded", "drawn", "first_paint", "painted"):
        print(f"load   {kind}: {stage:19s} {spread([r[stage] for r in runs])} ms after the "
              "first byte")
    calm = [r["drawn"] for r in runs if r["busy"] < quiet]
    if calm:
        print(f"load   {kind}: drawn, loads with the CPUs under {100 * quiet:.0f} % busy before: "
              f"{spread(calm)} ms")
    print(f"bytes  {kind}: one load transfers {spread([r['bytes'] for r in runs])} bytes")


def event_figures(d, port, pages):
    d.execute_script(STAMPS)
    api = Client(port)
    api.session()
    for i in range(pages):
        api.call("POST", "/api/pages", {"ric": 1234, "function": 0, "coding": "numeric",
                                        "baud": 2400, "message": str(i)})
        wait_until(lambda: d.execute_script("return window.lamps.length") >= 2 * (i + 1), 10)
        wait_until(lambda: state(d) == "idle", 10)
    lamps = d.execute_script("return window.lamps")
    print(f"events lamp changes {', '.join(sorted({s for s, _ in lamps}))}: "
          f"{spread([ms for _, ms in lamps])} ms from the service's stamp to the page")


def stop_figures(d, st, stops):
    """STOP pressed on the page while a long page plays, until the lamp has left ON AIR: the
    whole way (the API's call, the engine's thread, its event, the stream)."""
    api = Client(st.http)
    api.session()
    took = []
    for _ in range(stops):
        api.call("POST", "/api/pages", {"ric": 1234, "coding": "alphanumeric", "baud": 512,
                                        "message": "long page " * 19})
        wait_until(lambda: state(d) == "on air", 10)
        time.sleep(0.3)
        d.execute_script(WATCH)
        clicked = d.execute_script(
            "const t = performance.now(); document.getElementById('stop').click(); return t;")
        wait_until(lambda: state(d) not in ("on air", "keyed"), 5)
        took += [t - clicked for s, t in d.execute_script("return window.seen")
                 if s != "on air"][:1]
        st.cli("resume")  # the pages of other systems are held after a STOP
        wait_until(lambda: state(d) == "idle", 10)
    print(f"events STOP click to the lamp: {spread(took)} ms")


def memory_figures(url, pid, browsers):
    before = rss_kb(pid)
    opened = []
    try:
        for _ in range(browsers):
            d = chromium()
            opened.append(d)
            d.get(url)
        live = sum(1 for d in opened if wait_until(lambda: state(d) == "idle", 20) and
                   d.execute_script("return events && events.readyState === 1"))
        time.sleep(2)
        during = rss_kb(pid)
    finally:
        for d in opened:
            d.quit()
    time.sleep(1)
    print(f"memory tarvexd VmRSS {before} kB before, {during} kB with {live} of {browsers} "
          f"browsers on the page and its stream: {during - before} kB added; "
          f"{rss_kb(pid)} kB once they closed")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default="build")
    parser.add_argument("--work", default="/tmp/tarvex-web-figures")
    parser.add_argument("--loads", type=int, default=20)
    parser.add_argument("--browsers", type=int, default=10)
    parser.add_argument("--pages", type=int, default=6)
    parser.add_argument("--stops", type=int, default=5)
    parser.add_argument("--quiet", type=float, default=0.25,
                        help="a load is counted apart as quiet below this share of busy CPUs")
    args = parser.parse_args()
    bin_dir = os.path.abspath(os.path.join(args.build, "bin"))
    station_args = types.SimpleNamespace(tarvexd=os.path.join(bin_dir, "tarvexd"),
                                         cli=os.path.join(bin_dir, "tarvex-cli"),
                                         work=args.work, tarvexd_extra=[])
    st = web_station(station_args, "figures")
    proc = st.start()
    url = f"http://localhost:{st.http}/"
    print(f"load average {os.getloadavg()[0]:.1f} on {os.cpu_count()} cores at the start")
    try:
        # Memory first: the service has served nothing yet.
        if args.browsers:
            memory_figures(url, proc.pid, args.browsers)
        d = chromium()
        try:
            load_figures(d, url, args.loads, args.quiet, cold=True)
            load_figures(d, url, args.loads, args.quiet, cold=False)
            if args.pages:
                event_figures(d, st.http, args.pages)
            if args.stops:
                stop_figures(d, st, args.stops)
        finally:
            d.quit()
    finally:
        stop_service(st, proc)
    print(f"load average {os.getloadavg()[0]:.1f} at the end")


if __name__ == "__main__":
    main()
