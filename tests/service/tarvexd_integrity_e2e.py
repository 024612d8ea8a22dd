#!/usr/bin/env python3
"""tarvexd keeps its promises when things fail, checked on the real service with the
recording keying port and no sound server (the sound goes to a WAV file, or to an ALSA
device that does not exist):

- an audio output that cannot be opened keys nothing: a page handed over with tarvex-cli
  stays in the page queue, status shows the fault, and after a restart with a working output
  the page goes out;
- STOP while auto-send entries wait behind a page: they go back to AutoSend.Txt, nothing keys
  during the hold, status says held, and tarvex-cli resume lets them go;
- SIGTERM while entries wait behind a page: they go back to AutoSend.Txt;
- a keying device that cannot be opened: the page is played, its log line says
  " - keying failed: ..." and it is counted failed, not sent;
- every control connection held open: tarvex-cli is told the service is busy at once; a
  flood of bad requests is logged a few times a minute, not once each.

  tarvexd_integrity_e2e.py --tarvexd tarvexd --cli tarvex-cli --work DIR
"""

import argparse
import os
import signal
import socket
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from tarvexd_e2e import Station, check, failures, raw_request, wait_until  # noqa: E402

LONG_PAGE = ["--entry", "11A0512N0000042" + "Long page on air " * 10]


def station(args, name, settings, **env):
    st = Station(os.path.join(args.work, name), args)
    with open(os.path.join(st.work, "home/config/dovrik-apps/Tarvex.ini"), "w") as f:
        f.write("[Tarvex]\nLogPages=1\nDelay=100\nSnppEnabled=0\nWctpEnabled=0\n" + settings)
    st.env.update(env)
    return st


def page_log(st):
    path = os.path.join(st.folder, "Tarvex-LOG.txt")
    return open(path, encoding="utf-8").read() if os.path.exists(path) else ""


def sent_line(st, text):
    """True once the page log has the page's line without a marker."""
    return any(text in line and " - not sent" not in line and " - stopped" not in line
               for line in page_log(st).splitlines())


def stop_service(st, proc):
    proc.send_signal(signal.SIGTERM)
    try:
        return proc.wait(timeout=10)
    except Exception:
        proc.kill()
        return None


def dead_audio(args):
    st = station(args, "dead-audio", "AutoSend=0\n", TARVEX_AUDIO="alsa:hw:9,0")
    proc = st.start()
    queued = st.cli("queue", "--ric", "903", "--message", "kept for later")
    check(queued.returncode == 0, f"dead audio: the page is taken ({queued.stdout.strip()})")
    time.sleep(3)
    check(b"\x01" not in st.port_bytes(), f"dead audio: never keyed ({st.port_bytes().hex()})")
    status = st.cli("status").stdout
    check("audio: alsa:hw:9,0, failing" in status and "queue: 1" in status,
          f"dead audio: status shows the fault and the waiting page:\n{status}")
    check(stop_service(st, proc) == 0, "dead audio: SIGTERM ends the service")
    st.env["TARVEX_AUDIO"] = "wav:" + os.path.join(st.work, "out.wav")
    proc = st.start()
    check(wait_until(lambda: sent_line(st, "0000903 - kept for later"), 15),
          "dead audio: after a restart with a working output the page goes out")
    check(b"\x01" in st.port_bytes(), "dead audio: keyed once the output works")
    stop_service(st, proc)


def entries_behind_a_long_page(args, name):
    st = station(args, name, "AutoSend=1\nCheckRate=1\nAutoDelay=0\n",
                 TARVEX_AUDIO="wav:" + os.path.join(args.work, name + ".wav"))
    proc = st.start()
    check(st.cli("queue", *LONG_PAGE).returncode == 0, f"{name}: the long page is taken")
    wait_until(lambda: b"\x01" in st.port_bytes(), 10, step=0.02)
    st.drop(["11A1200N0000071first waiting", "11A1200N0000072second waiting"])
    taken = wait_until(lambda: "2 taken entries waiting" in st.cli("status").stdout, 10)
    check(taken, f"{name}: the entries are taken while the page is on air")
    return st, proc


def stop_with_entries_waiting(args):
    st, proc = entries_behind_a_long_page(args, "stop")
    answer = st.cli("stop").stdout
    check(answer.startswith("stopped; pages from other systems wait"), f"stop: {answer!r}")
    path = os.path.join(st.folder, "AutoSend.Txt")
    back = wait_until(lambda: os.path.exists(path) and b"second waiting" in open(path, "rb").read(), 5)
    check(back, "stop: the taken entries went back to AutoSend.Txt")
    keyed = st.port_bytes().count(b"\x01")
    time.sleep(3)
    check(st.port_bytes().count(b"\x01") == keyed, "stop: nothing keys during the hold")
    status = st.cli("status").stdout
    check("state: held after stop" in status and "held: after STOP" in status,
          f"stop: status shows the hold:\n{status}")
    check(st.cli("resume").returncode == 0, "resume answers")
    check(wait_until(lambda: sent_line(st, "0000072 - second waiting"), 15),
          "resume: the returned entries go out")
    check(stop_service(st, proc) == 0, "stop: SIGTERM ends the service")


def sigterm_with_entries_waiting(args):
    st, proc = entries_behind_a_long_page(args, "sigterm")
    check(stop_service(st, proc) == 0, "sigterm: the service ends")
    path = os.path.join(st.folder, "AutoSend.Txt")
    text = open(path, "rb").read() if os.path.exists(path) else b""
    check(b"first waiting" in text and b"second waiting" in text,
          f"sigterm: the taken entries went back to AutoSend.Txt ({text!r})")


def keying_fails(args):
    st = station(args, "keying", "AutoSend=0\nPttMethod=serial-rts\nPttDevice=" +
                 os.path.join(args.work, "no-such-tty") + "\n",
                 TARVEX_AUDIO="wav:" + os.path.join(args.work, "keying.wav"))
    st.env.pop("TARVEX_PORT")
    proc = st.start()
    check(st.cli("queue", "--ric", "904", "--message", "played unkeyed").returncode == 0,
          "keying: the page is taken")
    check(wait_until(lambda: "0000904 - played unkeyed" in page_log(st), 15),
          "keying: the page is played")
    line = next((l for l in page_log(st).splitlines() if "0000904" in l), "")
    check(" - keying failed: " in line, f"keying: the log line has its marker: {line!r}")
    check(wait_until(lambda: "failed: the transmitter could not be keyed" in st.log_text(), 5),
          "keying: the service log counts it failed")
    check("queue: 0" in st.cli("status").stdout, "keying: it left the page queue")
    stop_service(st, proc)


def held_control_connections(args):
    st = station(args, "busy", "AutoSend=0\n", TARVEX_AUDIO="null")
    proc = st.start()
    held = []
    for _ in range(16):
        s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        s.connect(os.path.join(st.work, "run", "tarvexd.sock"))
        held.append(s)
    time.sleep(0.3)
    started = time.monotonic()
    busy = st.cli("status")
    took = time.monotonic() - started
    check(busy.returncode == 2 and "busy" in busy.stderr and took < 2,
          f"16 held connections: tarvex-cli is told busy at once ({busy.stderr.strip()!r}, "
          f"{took:.2f} s)")
    for s in held:
        s.close()
    check(wait_until(lambda: st.cli("status").returncode == 0, 10),
          "the held connections gone, status answers again")
    # A flood of bad requests is refused each time but logged a few times a minute.
    sock = os.path.join(st.work, "run", "tarvexd.sock")
    answers = [raw_request(sock, b"BOGUS\n") for _ in range(60)]
    check(all(a.startswith("ERR") for a in answers), "every bad request is refused")
    refused = st.log_text().count("control: refused")
    check(0 < refused <= 20, f"60 bad requests write at most 20 log lines ({refused})")
    stop_service(st, proc)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tarvexd", required=True)
    parser.add_argument("--cli", required=True)
    parser.add_argument("--work", required=True)
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    for scenario in (dead_audio, stop_with_entries_waiting, sigterm_with_entries_waiting,
                     keying_fails, held_control_connections):
        scenario(args)
    print(f"{len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
