#!/usr/bin/env python3
"""A signal in the middle of a page must leave the transmitter released.

tarvex-cli send and tune --send, and the desktop program (offscreen, private HOME, a page
fed through its auto-send file), key a port that records every byte to a file. Once the
key byte is there the program gets SIGTERM, SIGINT or SIGHUP; it must end promptly with
status 128 + signal, the last recorded byte must be the release byte for the keying in
force, and the desktop program must have saved its settings as a normal close does.
"""
import argparse
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

FAILURES = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what)
    if not ok:
        FAILURES.append(what)


def key_byte(pin, inv, keyed):
    mask = 1 << pin
    return mask if keyed != inv else 0


def wait_for_key(proc, port_file, keyed, timeout):
    """Waits until the recorded port's last byte is the key byte; False on timeout/exit."""
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if proc.poll() is not None:
            return False
        try:
            with open(port_file, "rb") as f:
                data = f.read()
            if data and data[-1] == keyed:
                return True
        except FileNotFoundError:
            pass
        time.sleep(0.02)
    return False


def signal_mid_transmission(name, argv, env, port_file, pin, inv, sig, longest_s, cwd=None,
                            key_timeout=20.0):
    """Runs argv, signals it once it has keyed; returns (status, stderr) or None."""
    keyed = key_byte(pin, inv, True)
    released = key_byte(pin, inv, False)
    proc = subprocess.Popen(argv, env=env, cwd=cwd, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE)
    if not wait_for_key(proc, port_file, keyed, key_timeout):
        proc.kill()
        out, err = proc.communicate()
        check(False, f"{name}: never keyed (status {proc.returncode}, {err.decode()[-300:]})")
        return None
    time.sleep(0.4)  # well inside the sound
    sent = time.monotonic()
    proc.send_signal(sig)
    try:
        out, err = proc.communicate(timeout=longest_s)
    except subprocess.TimeoutExpired:
        proc.kill()
        out, err = proc.communicate()
        check(False, f"{name}: still running {longest_s} s after the signal")
        return None
    took = time.monotonic() - sent
    with open(port_file, "rb") as f:
        data = f.read()
    check(proc.returncode == 128 + sig,
          f"{name}: exit status {proc.returncode} (expected {128 + sig})")
    check(len(data) >= 2 and data[-1] == released,
          f"{name}: last port byte 0x{data[-1]:02x} is the release 0x{released:02x} "
          f"(bytes {data.hex()})")
    check(took < longest_s, f"{name}: ended {took:.2f} s after the signal")
    return proc.returncode, err.decode(errors="replace")


def cli_cases(cli, work):
    env = dict(os.environ)
    long_message = "A page long enough to be on air for several seconds at 512 bit/s " * 2
    cases = [
        ("send, SIGTERM, pin D3 normal", signal.SIGTERM, 3, False,
         ["send", "--ric", "1234567", "--message", long_message, "--baud", "512", "--pin", "3"]),
        ("send, SIGINT, pin D6 inverted", signal.SIGINT, 6, True,
         ["send", "--ric", "42", "--message", long_message, "--baud", "512", "--pin", "6",
          "--invkey"]),
        ("tune --send, SIGTERM, pin D0 inverted", signal.SIGTERM, 0, True,
         ["tune", "--seconds", "8", "--baud", "1200", "--send", "--invkey"]),
    ]
    for name, sig, pin, inv, args in cases:
        port_file = os.path.join(work, f"cli-{pin}-{int(inv)}.bin")
        wav = os.path.join(work, f"cli-{pin}.wav")
        argv = [cli] + args + ["--port", "record:" + port_file, "--audio", "wav:" + wav]
        result = signal_mid_transmission("tarvex-cli " + name, argv, env, port_file, pin, inv,
                                         sig, longest_s=2.0)
        if result:
            check("interrupted: transmitter released" in result[1],
                  f"tarvex-cli {name}: says so on stderr ({result[1].strip()[-80:]})")


def gui_case(program, work, sig, pin, inv):
    """The desktop program in its own folder with a private home; a page through auto send."""
    name = f"tarvex, {signal.Signals(sig).name}, pin D{pin} {'inverted' if inv else 'normal'}"
    root = tempfile.mkdtemp(prefix="gui-", dir=work)
    prog = os.path.join(root, "prog")
    home = os.path.join(root, "home")
    config = os.path.join(home, "config", "dovrik-apps")
    runtime = os.path.join(home, "runtime")
    for d in (prog, config, runtime):
        os.makedirs(d)
    os.chmod(runtime, 0o700)
    # Its own copy, so the program folder (auto-send and list files) is private too.
    shutil.copy2(program, os.path.join(prog, "tarvex"))
    ini = os.path.join(config, "Tarvex.ini")
    with open(ini, "w") as f:
        f.write("[Tarvex]\nAutoSend=1\nCheckRate=2\nAutoFile=AutoSend.Txt\n"
                f"LockFile=Lock.Lck\nPin={pin}\nInvKey={int(inv)}\nStationID=SAFETY\n")
    with open(os.path.join(prog, "AutoSend.Txt"), "wb") as f:
        f.write(b"11A0512N0001234" + b"Safety test page on the air for some seconds " * 3
                + b"\r\n")
    port_file = os.path.join(root, "port.bin")
    env = dict(os.environ)
    env.update({"HOME": home, "XDG_CONFIG_HOME": os.path.join(home, "config"),
                "XDG_DATA_HOME": os.path.join(home, "data"),
                "XDG_CACHE_HOME": os.path.join(home, "cache"), "XDG_RUNTIME_DIR": runtime,
                "QT_QPA_PLATFORM": "offscreen",
                "TARVEX_AUDIO": "wav:" + os.path.join(root, "page.wav"),
                "TARVEX_PORT": "record:" + port_file})
    before = os.path.getsize(ini)
    result = signal_mid_transmission(name, [os.path.join(prog, "tarvex")], env, port_file, pin,
                                     inv, sig, longest_s=3.0, cwd=root)
    if result:
        with open(ini) as f:
            saved = f.read()
        check(os.path.getsize(ini) > before and "\nStationID=SAFETY\n" in saved
              and "\nTuneTime=" in saved,
              f"{name}: settings saved as at a normal close")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cli", required=True)
    ap.add_argument("--gui")
    ap.add_argument("--work", required=True)
    a = ap.parse_args()
    shutil.rmtree(a.work, ignore_errors=True)
    os.makedirs(a.work)
    cli_cases(a.cli, a.work)
    if a.gui:
        gui_case(a.gui, a.work, signal.SIGTERM, 3, True)
        gui_case(a.gui, a.work, signal.SIGINT, 0, False)
        gui_case(a.gui, a.work, signal.SIGHUP, 7, False)
    if FAILURES:
        print(f"{len(FAILURES)} check(s) failed")
        return 1
    print("all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
