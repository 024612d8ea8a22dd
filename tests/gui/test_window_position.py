#!/usr/bin/env python3
"""The window reopens where it was closed, under a window manager that decorates it.

Starts Xvfb and openbox, then runs the real program with a private home several times,
closing it each time as the operator does (Alt+F4 through the window manager). After each
start it reads the frame's position with xwininfo and compares it with the stored Left and
Top: the same values must give the same place, run after run, and a place off every screen
must bring the window back onto the screen.
"""
import argparse
import configparser
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SCREEN = (1024, 768)


def wait_for(what, probe, timeout=15.0, step=0.1):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        value = probe()
        if value:
            return value
        time.sleep(step)
    raise RuntimeError(f"timed out waiting for {what}")


class Desktop:
    """Xvfb on a free display with openbox managing it."""

    def __init__(self):
        read_fd, write_fd = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", f"{SCREEN[0]}x{SCREEN[1]}x24",
             "-nolisten", "tcp"], pass_fds=(write_fd,), stderr=subprocess.DEVNULL)
        os.close(write_fd)
        with os.fdopen(read_fd) as pipe:
            number = pipe.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        self.env = dict(os.environ, DISPLAY=f":{number}")
        self.env.pop("WAYLAND_DISPLAY", None)
        self.wm = subprocess.Popen(["openbox"], env=self.env, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        wait_for("openbox", lambda: "window id" in self.run(
            ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"]))

    def run(self, args, check=False):
        done = subprocess.run(args, env=self.env, capture_output=True, text=True, timeout=20)
        if check and done.returncode != 0:
            raise RuntimeError(f"{args}: {done.stderr.strip()}")
        return done.stdout

    def close(self):
        for p in (self.wm, self.xvfb):
            p.terminate()
            try:
                p.wait(5)
            except subprocess.TimeoutExpired:
                p.kill()


def frame_of(desktop, window):
    """(left, top, width, height) of the window's frame: the client's place less its offset
    inside the frame the window manager drew around it."""
    info = desktop.run(["xwininfo", "-id", window], check=True)
    value = {k: int(v) for k, v in re.findall(r"^\s*(Absolute upper-left [XY]|Relative "
                                               r"upper-left [XY]|Width|Height):\s+(-?\d+)",
                                               info, re.M)}
    left = value["Absolute upper-left X"] - value["Relative upper-left X"]
    top = value["Absolute upper-left Y"] - value["Relative upper-left Y"]
    return (left, top, value["Width"] + value["Relative upper-left X"],
            value["Height"] + value["Relative upper-left Y"])


def run_once(desktop, program, home):
    """Starts the program, waits for its window to settle, closes it with Alt+F4 and
    returns the frame it had."""
    env = dict(desktop.env, HOME=home, XDG_CONFIG_HOME=os.path.join(home, "config"),
               XDG_DATA_HOME=os.path.join(home, "data"), XDG_RUNTIME_DIR=os.path.join(home, "run"),
               TARVEX_AUDIO="null", TARVEX_PORT="record:" + os.path.join(home, "port.rec"),
               QT_QPA_PLATFORM="xcb")
    proc = subprocess.Popen([program], env=env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, text=True)
    try:
        window = wait_for("the window", lambda: desktop.run(
            ["xdotool", "search", "--onlyvisible", "--classname", "tarvex"]).split()[:1])[0]
        # The stored place is applied at start-up: wait until the frame stays put.
        seen = []

        def settled():
            seen.append(frame_of(desktop, window))
            return len(seen) >= 8 and len(set(seen[-8:])) == 1

        wait_for("the window to settle", settled, step=0.1)
        frame = seen[-1]
        desktop.run(["xdotool", "windowactivate", "--sync", window])
        desktop.run(["xdotool", "key", "--clearmodifiers", "alt+F4"])
        proc.wait(10)
        return frame
    finally:
        if proc.poll() is None:
            proc.send_signal(signal.SIGTERM)
            proc.wait(10)
            raise RuntimeError("Alt+F4 did not close the window")


def stored(home):
    path = os.path.join(home, "config", "dovrik-apps", "Tarvex.ini")
    ini = configparser.ConfigParser()
    ini.optionxform = str
    ini.read(path)
    return int(ini["Tarvex"]["Left"]), int(ini["Tarvex"]["Top"]), path


def store(path, left, top):
    with open(path) as f:
        text = f.read()
    text = re.sub(r"^Left=.*$", f"Left={left}", text, flags=re.M)
    text = re.sub(r"^Top=.*$", f"Top={top}", text, flags=re.M)
    with open(path, "w") as f:
        f.write(text)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    args = parser.parse_args()
    for tool in ("Xvfb", "openbox", "xdotool", "xwininfo", "xprop"):
        if shutil.which(tool) is None:
            print(f"{tool} is missing")
            return 1
    failures = []

    def check(ok, text):
        print(("ok   " if ok else "FAIL ") + text)
        if not ok:
            failures.append(text)

    desktop = Desktop()
    try:
        with tempfile.TemporaryDirectory() as home:
            os.makedirs(os.path.join(home, "run"), mode=0o700)
            # First run without settings: the frame at 10, 10, and that is what is stored.
            frame = run_once(desktop, program=args.program, home=home)
            left, top, ini = stored(home)
            check(frame[:2] == (10, 10), f"first run: frame at {frame[:2]}, expected (10, 10)")
            check((left, top) == frame[:2], f"first close stored {(left, top)}")
            # Twice more with what was stored: not one pixel of drift.
            for run in (2, 3):
                frame = run_once(desktop, program=args.program, home=home)
                check(frame[:2] == (10, 10), f"run {run}: frame at {frame[:2]}")
                check(stored(home)[:2] == (10, 10), f"run {run}: stored {stored(home)[:2]}")
            # A place of the operator's choosing comes back exactly.
            store(ini, 200, 150)
            for run in (4, 5):
                frame = run_once(desktop, program=args.program, home=home)
                check(frame[:2] == (200, 150), f"run {run}: frame at {frame[:2]}, "
                      "expected (200, 150)")
                check(stored(home)[:2] == (200, 150), f"run {run}: stored {stored(home)[:2]}")
            # Off every screen: back on the screen, whole, and stored where it was shown.
            for place in ((-3000, 5000), (5000, -200), (400, -15)):
                store(ini, *place)
                frame = run_once(desktop, program=args.program, home=home)
                inside = (frame[0] >= 0 and frame[1] >= 0 and frame[0] + frame[2] <= SCREEN[0]
                          and frame[1] + frame[3] <= SCREEN[1])
                check(inside, f"stored {place}: frame {frame} lies on the {SCREEN} screen")
                check(stored(home)[:2] == frame[:2], f"stored {place}: then stored "
                      f"{stored(home)[:2]}")
    finally:
        desktop.close()
    print("FAILED: " + "; ".join(failures) if failures else "all positions round-trip")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
