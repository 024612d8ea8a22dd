#!/usr/bin/env python3
"""tarvexd's web interface and its API, on the real service with the recording keying port
and no sound output:

- the API's rules: a foreign Host or Origin, a cross-site form and a change without the
  session's CSRF token are refused; pager fields are refused with tarvex-cli's own message;
- beyond loopback (NetRequireLogin here) a login is needed; a wrong password is counted until
  the address is refused, the cookie is HttpOnly, SameSite=Strict and expires, a page is
  logged under the login's name and no password reaches the log;
- headless Chromium on the page: a page sent from the form decodes from the PulseAudio
  sink with multimon-ng, the lamp turns ON AIR and back from the event stream, STOP
  releases the transmitter, a pager is added, edited and removed (with its confirmation), a
  message with markup shows as its characters and runs nothing; screenshots at desktop and
  phone widths, light and dark, without horizontal scrolling; and the figures: load time,
  bytes, STOP-to-page latency and the memory 10 event streams add.

  tarvexd_web_e2e.py --tarvexd tarvexd --cli tarvex-cli --work DIR [--browser [--env PULSE_ENV]]
"""

import argparse
import http.client
import json
import os
import re
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from tarvexd_e2e import Station, check, failures, free_port, wait_until  # noqa: E402
from tarvexd_integrity_e2e import stop_service  # noqa: E402


def web_station(args, name, extra=""):
    st = Station(os.path.join(args.work, name), args)
    st.http = free_port()
    with open(os.path.join(st.work, "home/config/dovrik-apps/Tarvex.ini"), "w") as f:
        f.write("[Tarvex]\nAutoSend=0\nDelay=100\nLogPages=1\nSnppEnabled=0\nWctpEnabled=0\n"
                f"StatusPagesEnabled=1\nWctpPort={st.http}\n" + extra)
    st.env["TARVEX_AUDIO"] = "null"
    return st


class Client:
    """A script's view of the API: its cookie and CSRF token kept between calls."""

    def __init__(self, port, source=None):
        self.port, self.source, self.cookie, self.csrf = port, source, "", ""

    def call(self, method, path, body=None, headers=None, raw=None):
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10,
                                          source_address=(self.source, 0) if self.source else None)
        h = {"Host": f"localhost:{self.port}"}
        if self.cookie:
            h["Cookie"] = self.cookie
        if method != "GET" and self.csrf:
            h["X-CSRF-Token"] = self.csrf
        data = raw
        if body is not None:
            data = json.dumps(body)
            h["Content-Type"] = "application/json"
        h.update(headers or {})
        conn.request(method, path, body=data, headers=h)
        r = conn.getresponse()
        self.reply = r
        text = r.read().decode()
        setcookie = r.getheader("Set-Cookie") or ""
        if setcookie:
            self.cookie = setcookie.split(";")[0]
            self.setcookie = setcookie
        conn.close()
        try:
            return r.status, json.loads(text)
        except ValueError:
            return r.status, text

    def session(self):
        status, data = self.call("GET", "/api/session")
        if status == 200:
            self.csrf = data["csrf"]
        return status, data


def api_rules(args):
    st = web_station(args, "rules")
    proc = st.start()
    c = Client(st.http)
    check(c.session()[0] == 200 and c.csrf, "loopback: a session without a login")
    # The page links its script by version: the browser keeps that, never the page or the API.
    script = re.search(r'src="(/app\.js\?v=[0-9a-f]+)"', c.call("GET", "/")[1]).group(1)
    kept = {path: (c.call("GET", path)[0], c.reply.getheader("Cache-Control"))
            for path in ("/", script, "/app.js", "/api/status")}
    check(kept == {"/": (200, "no-store"), script: (200, "max-age=31536000, immutable"),
                   "/app.js": (200, "no-store"), "/api/status": (200, "no-store")},
          f"only the versioned script is kept by the browser ({kept})")
    check(c.call("GET", "/api/status", headers={"Host": "rebound.example"})[0] == 403,
          "a foreign Host is refused")
    check(c.call("POST", "/api/stop", headers={"Origin": "http://evil.example"})[0] == 403,
          "a foreign Origin is refused")
    form = c.call("POST", "/api/pages", raw="pager=1&message=x", headers={
        "Origin": "http://evil.example", "X-CSRF-Token": "",
        "Content-Type": "application/x-www-form-urlencoded"})
    check(form[0] == 403, f"a cross-site form post is refused ({form})")
    token, c.csrf = c.csrf, "0" * 64
    check(c.call("POST", "/api/stop")[0] == 403, "a change with a wrong CSRF token is refused")
    c.csrf = token
    check(c.call("POST", "/api/pages", raw="pager=1", headers={
        "Content-Type": "application/x-www-form-urlencoded"})[0] == 415,
        "a form body is refused even with the token")
    status, err = c.call("POST", "/api/pagers", {"id": "9", "ric": "2500000"})
    cli = st.cli("pager", "add", "9", "--ric", "2500000")
    check(status == 400 and err.get("field") == "ric" and err["error"] in cli.stderr,
          f"a bad RIC is refused with tarvex-cli's message ({err} / {cli.stderr.strip()})")
    added = c.call("POST", "/api/pagers", {"id": "9", "ric": "99"})[0], c.reply.reason
    again = c.call("POST", "/api/pagers", {"id": "9", "ric": "98"})[0], c.reply.reason
    check(added == (201, "Created") and again == (409, "Conflict"),
          f"a pager is added once; adding the ID again is refused ({added}, {again})")
    check(c.call("PUT", "/api/pagers/9", {"name": "Duty"})[0] == 200 and
          "ric = 99" in open(os.path.join(st.folder, "Pagers.txt")).read(),
          "an edit keeps the fields it does not name")
    status, seen = c.call("POST", "/api/preview", {"pager": "9", "message": "Grüße <b>"})
    check(status == 200 and seen["length"] == 10 and seen["limit"] == 80 and
          {"text": "u", "typed": "ü"} in seen["pieces"] and
          {"text": "ss", "typed": "ß"} in seen["pieces"],
          f"the preview marks what a US-ASCII pager shows instead ({seen})")
    check(c.call("POST", "/api/pages", {"pager": "nobody", "message": "x"})[0] == 400,
          "a page to an unknown pager is refused")
    status, err = c.call("POST", "/api/pages", {"ric": "2500000", "message": "x"})
    check(status == 400 and err.get("field") == "ric" and err["error"] in cli.stderr,
          f"a typed RIC is checked as a pager's is ({err})")
    status, sent = c.call("POST", "/api/pages", {"ric": 1234, "function": 0, "coding": "numeric",
                                                 "baud": 512, "message": "12-34"})
    number = sent["queued"][0] if status == 202 else -1

    def fate():
        return next((p["fate"] for p in c.call("GET", "/api/status")[1]["pages"]
                     if p["id"] == number), None)
    check(wait_until(lambda: fate() == "sent", 10),
          f"the status follows the typed page by its number #{number} to sent ({fate()})")
    check(st.wait_for_log(f"page for ric-1234 from 127.0.0.1 queued as #{number}", 5) and
          "12-34" in open(
        os.path.join(st.folder, "Tarvex-LOG.txt"), encoding="utf-8").read(),
        "the typed page went through the queue and into the page log")
    hour = c.call("GET", "/api/status")[1]["hours"][-1]
    check(hour["pages"] >= 1 and hour["keyed_ms"] > 0,
          f"the hour's totals count the page and its keyed time ({hour})")
    status, log = c.call("GET", "/api/log?q=zzz")
    check(status == 200 and log["total"] == 0, "the log search finds nothing for a stranger text")
    # The page log names a pager by its RIC alone: the pager's name finds its pages too.
    c.call("POST", "/api/pagers", {"id": "ward", "name": "Ward Seven", "ric": "1234"})
    status, log = c.call("GET", "/api/log?q=seven")
    check(status == 200 and log["total"] == 1 and "12-34" in log["lines"][0]["line"],
          f"the log search finds a page by its pager's name ({log})")
    status, err = c.call("POST", "/api/search", {"from": 9, "to": 3})
    check(status == 400 and "above its last" in err["error"],
          f"a search is read as the control socket reads it ({status} {err})")
    status, started = c.call("POST", "/api/search", {"from": 41, "to": 42, "baud": 2400})
    again = c.call("POST", "/api/search", {"from": 1, "to": 2})
    check(status == 202 and "search of codes 41 to 42" in started["started"] and
          again[0] == 409 and again[1]["error"] == "a search is already running",
          f"a search starts from the API, one at a time ({started} / {again})")
    check(st.wait_for_log("search ended (done): 2 codes sent", 20) and
          "page RIC 0000042 from search" in st.log_text(),
          "the search sent its codes and ended")
    codes = [c.call("POST", "/api/preview", {})[0] for _ in range(120)]
    check(codes[0] == 400 and codes[-1] == 429 and c.call("GET", "/api/status")[0] == 200,
          "changes from one address are limited per minute; reading goes on")
    stop_service(st, proc)


def login_rules(args):
    st = web_station(args, "login", "NetRequireLogin=1\nNetLoginFailuresPerMinute=3\n")
    subprocess.run([args.cli, "snpp-user", "add", "op"], input="s3cret-pass\n", text=True,
                   env=st.env, capture_output=True, timeout=30, check=True)
    proc = st.start()
    c = Client(st.http)
    check(c.session()[0] == 401 and c.call("GET", "/api/status")[0] == 401,
          "a login is required before anything of the station is shown")
    check(c.call("GET", "/")[0] == 200, "the page itself loads for the login form")
    codes = [c.call("POST", "/api/login", {"name": "op", "password": "wrong"})[0]
             for _ in range(3)]
    codes.append(c.call("POST", "/api/login", {"name": "op", "password": "s3cret-pass"})[0])
    check(codes == [403, 403, 403, 429],
          f"wrong passwords are counted, then even the right one is refused ({codes})")
    # Failed logins are counted per address: another one logs in at once.
    other = Client(st.http, source="127.0.0.2")
    status, data = other.call("POST", "/api/login", {"name": "op", "password": "s3cret-pass"})
    check(status == 200 and data.get("csrf"), f"the right password logs in ({status} {data})")
    attrs = getattr(other, "setcookie", "")
    check("HttpOnly" in attrs and "SameSite=Strict" in attrs and "Max-Age=" in attrs,
          f"the session cookie is HttpOnly, SameSite=Strict and expires ({attrs})")
    other.csrf = data.get("csrf", "")
    other.call("POST", "/api/pagers", {"id": "7", "ric": "77"})
    status, _ = other.call("POST", "/api/pages", {"pager": "7", "message": "logged"})
    check(status == 202 and st.wait_for_log("from op@127.0.0.2 queued", 5),
          "a page sent after a login is logged under the login's name")
    other.call("POST", "/api/logout")
    check(other.call("GET", "/api/status")[0] == 401, "after logging out the session is gone")
    check("s3cret-pass" not in st.log_text(), "no password reaches the log")
    stop_service(st, proc)
    # A session ends: here after 4 s (TARVEX_WEB_SESSION_SECONDS), and is then refused.
    st.env["TARVEX_WEB_SESSION_SECONDS"] = "4"
    proc = st.start()
    short = Client(st.http, source="127.0.0.3")
    status, _ = short.call("POST", "/api/login", {"name": "op", "password": "s3cret-pass"})
    check(status == 200 and "Max-Age=4" in getattr(short, "setcookie", "") and
          short.call("GET", "/api/status")[0] == 200, "a session with a lifetime of 4 s opens")
    check(wait_until(lambda: short.call("GET", "/api/status")[0] == 401, 15),
          "and is refused once it has ended")
    if args.browser:
        from tarvexd_web_browser import login_form
        login_form(st.http)
    stop_service(st, proc)


def dapnet_slots(args):
    """The slots the DAPNET server assigns reach the status the page draws its slot clock from."""
    st = web_station(args, "dapnet")
    here = os.path.dirname(os.path.abspath(__file__))
    scenario = os.path.join(st.work, "scenario.json")
    with open(scenario, "w") as f:
        json.dump({"callsign": "dl1abc", "key": "s3cret", "slots": "0246AC", "sync_loops": 1,
                   "connections": [{"steps": [{"hold": 6}]}]}, f)
    standin = subprocess.Popen(
        [sys.executable, os.path.join(here, "../network/dapnet/dapnet_standin.py"), "--scenario",
         scenario, "--report", os.path.join(st.work, "report.json")], stdout=subprocess.PIPE,
        text=True)
    port = int(standin.stdout.readline().split()[1])
    key = os.path.join(st.work, "dapnet.key")
    with open(os.open(key, os.O_WRONLY | os.O_CREAT, 0o600), "w") as f:
        f.write("s3cret\n")
    st.args.tarvexd_extra = ["--dapnet", f"127.0.0.1:{port}", "--callsign", "dl1abc",
                             "--auth-key-file", key]
    proc = st.start()
    c = Client(st.http)
    check(wait_until(lambda: c.call("GET", "/api/status")[1].get("dapnet_slots") == "0246AC", 10),
          "the status carries the slots the DAPNET server assigned")
    if args.browser:
        from tarvexd_web_browser import slot_share
        slot_share(args, st.http)
    stop_service(st, proc)
    st.args.tarvexd_extra = []
    standin.kill()
    standin.wait()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tarvexd", required=True)
    parser.add_argument("--cli", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--browser", action="store_true", help="also drive headless Chromium")
    parser.add_argument("--env", help="the pulse fixture's environment: the browser's page is "
                        "played there and decoded")
    args = parser.parse_args()
    if args.env:
        from pulse_tools import load_env
        if not os.path.exists(args.env):
            raise SystemExit(f"FAIL: {args.env} missing: the pulse fixture did not start")
        load_env(args.env)
    os.makedirs(args.work, exist_ok=True)
    api_rules(args)
    login_rules(args)
    dapnet_slots(args)
    if args.browser:
        from tarvexd_web_browser import browser
        browser(args, web_station)
    print(f"{len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
