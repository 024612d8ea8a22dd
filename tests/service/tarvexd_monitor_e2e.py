#!/usr/bin/env python3
"""Off-air confirmation through the station: tarvexd plays auto-send pages into the private
PulseAudio server's null sink and, with --monitor-command on that sink's monitor, confirms
each one; the page log's lines end " - confirmed". With the sink muted the pages are not
heard, their lines end " - not heard", and after three the alarm is raised and its command
run; the next page heard clears it.

  tarvexd_monitor_e2e.py --env PULSE_ENV --tarvexd tarvexd --cli tarvex-cli --work DIR
"""

import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from pulse_tools import fixture_args, wait_until  # noqa: E402
from tarvexd_e2e import Station, check, failures  # noqa: E402


def page_log(st):
    path = os.path.join(st.folder, "Tarvex-LOG.txt")
    return open(path, encoding="utf-8").read() if os.path.exists(path) else ""


def main():
    args = fixture_args("tarvexd", "cli", "work")
    st = Station(args.work, args)
    alarm_file = os.path.join(args.work, "alarm.txt")
    with open(os.path.join(args.work, "home/config/dovrik-apps/Tarvex.ini"), "a") as f:
        f.write("MonitorAlarmCount=3\n")
        f.write(f"MonitorAlarmCommand=echo \"$TARVEX_ALARM $TARVEX_ALARM_COUNT\" >> {alarm_file}\n")
    monitor = ("parec -d " + os.environ["TARVEX_PULSE_MONITOR"] +
               " --raw --format=s16le --rate=22050 --channels=1 --latency-msec=20")
    st.args.tarvexd_extra = ["--monitor-command", monitor]
    proc = st.start()
    if proc.poll() is not None:
        print("FAIL: tarvexd did not start:\n" + st.log_text())
        return 1
    sink = os.environ["PULSE_SINK"]
    try:
        time.sleep(1.0)  # the receiver's stream settles
        heard = ["11A1200N0001201Heard at 1200", "11A0512I0001202Heard inverted at 512",
                 "11A2400N0001203Heard at 2400"]
        st.drop(heard)
        check(wait_until(lambda: page_log(st).count(" - confirmed") == 3, 60),
              "three pages confirmed off the air (512, 1200, 2400, both polarities)")
        subprocess.run(["pactl", "set-sink-mute", sink, "1"], check=True)
        st.drop([f"11A1200N000130{i}Muted page {i}" for i in range(1, 4)])
        check(wait_until(lambda: page_log(st).count(" - not heard") == 3, 60),
              "three pages into a muted sink not heard")
        check(wait_until(lambda: os.path.exists(alarm_file)
                         and "raised 3" in open(alarm_file).read(), 20),
              "the alarm raised after three and its command run")
        check("OFF-AIR ALARM" in st.log_text(), "the service log has the alarm")
        subprocess.run(["pactl", "set-sink-mute", sink, "0"], check=True)
        time.sleep(0.5)
        st.drop(["11A1200N0001401Heard again"])
        check(wait_until(lambda: "cleared" in open(alarm_file).read(), 60),
              "the next page heard clears the alarm")
        status = st.cli("status")
        check("monitor:" in status.stdout, f"tarvex-cli status shows the monitor")
    finally:
        subprocess.run(["pactl", "set-sink-mute", sink, "0"])
        proc.terminate()
        proc.wait(timeout=15)
    print(page_log(st))
    print(st.log_text())
    print(f"{len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
