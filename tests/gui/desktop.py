#!/usr/bin/env python3
"""A desktop for the GUI tests: Xvfb on a free display with openbox managing its windows.

As a program, runs a command on such a desktop and returns its exit status:
    desktop.py [--size 1024x768] -- COMMAND [ARGS...]
"""
import argparse
import os
import subprocess
import sys
import time


def wait_for(what, probe, timeout=15.0, step=0.1):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        value = probe()
        if value:
            return value
        time.sleep(step)
    raise RuntimeError(f"timed out waiting for {what}")


class Desktop:
    """Xvfb on a free display (it picks the number itself) with openbox running on it."""

    def __init__(self, width=1024, height=768):
        self.size = (width, height)
        read_fd, write_fd = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", f"{width}x{height}x24",
             "-nolisten", "tcp"], pass_fds=(write_fd,), stderr=subprocess.DEVNULL)
        os.close(write_fd)
        with os.fdopen(read_fd) as pipe:
            number = pipe.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        self.env = dict(os.environ, DISPLAY=f":{number}", QT_QPA_PLATFORM="xcb")
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


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--size", default="1024x768")
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    width, height = (int(v) for v in args.size.split("x"))
    desktop = Desktop(width, height)
    try:
        return subprocess.run(command, env=desktop.env).returncode
    finally:
        desktop.close()


if __name__ == "__main__":
    sys.exit(main())
