"""The web page in headless Chromium (python3-selenium, chromium-driver): see
tarvexd_web_e2e.py. Screenshots go to <work>/browser/screens (the DAPNET charts to
<work>/dapnet), the figures to <work>/browser/figures.json."""

import base64
import json
import os
import socket
import statistics
import time
import urllib.parse

from selenium import webdriver
from selenium.common.exceptions import NoAlertPresentException, TimeoutException
from selenium.webdriver.chrome.options import Options
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select

from pulse_tools import multimon_decode, pocsag_line, start_recorder, stop_recorder
from tarvexd_e2e import check, wait_until
from tarvexd_integrity_e2e import stop_service

XSS = "<img src=x onerror=alert(1)>"

WATCH = """
window.seen = [];
const lamp = document.getElementById('lamp');
new MutationObserver(() => window.seen.push([lamp.dataset.state, performance.now()]))
    .observe(lamp, {attributes: true, attributeFilter: ['data-state']});
"""

# One load in ms after the page's first byte (the browser's Navigation, Resource and Element
# Timing): the status drawn (the page's own mark) and painted (the lamp on the screen), the
# stages before, and the bytes it transferred (the event stream, which never ends, aside).
LOAD = """
const n = performance.getEntriesByType('navigation')[0];
const at = (t) => t - n.responseStart;
const drawn = performance.getEntriesByName('tarvex-status-drawn')[0];
const files = performance.getEntriesByType('resource').filter((r) => !r.name.includes('/api/events'));
const end = (path) => { const r = files.find((f) => new URL(f.name).pathname === path); return r ? at(r.responseEnd) : -1; };
const paint = performance.getEntriesByName('first-contentful-paint')[0];
const lamp = new Promise((done) => new PerformanceObserver((list) => {
  const e = list.getEntries().find((x) => x.identifier === 'lamp');
  if (e) done(at(e.renderTime));
}).observe({type: 'element', buffered: true}));
return Promise.race([lamp, new Promise((done) => setTimeout(() => done(-1), 2000))]).then((painted) => (
  {drawn: drawn ? at(drawn.startTime) : -1, painted, html_end: at(n.responseEnd),
   css_end: end('/style.css'), session_end: end('/api/session'), status_end: end('/api/status'),
   script_end: end('/app.js'), dom_content_loaded: at(n.domContentLoadedEventStart),
   first_paint: paint ? at(paint.startTime) : -1,
   bytes: n.transferSize + files.reduce((sum, r) => sum + r.transferSize, 0)}));
"""

# The lines each cell's text takes.
ONE_LINE = """
return [...document.querySelectorAll(arguments[0])].map((td) => {
  const r = document.createRange();
  r.selectNodeContents(td);
  return new Set([...r.getClientRects()].map((b) => Math.round(b.top))).size;
});
"""


def chromium():
    options = Options()
    options.binary_location = "/usr/bin/chromium"
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                "--window-size=1280,800"):
        options.add_argument(arg)
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def state(d):
    return d.find_element(By.ID, "lamp").get_attribute("data-state")


def text(d, element_id):
    return d.find_element(By.ID, element_id).text


def no_alert(d):
    try:
        d.switch_to.alert
        return False
    except NoAlertPresentException:
        return True


def fill_pager(d, fields):
    form = d.find_element(By.ID, "pager-form")
    for name, value in fields.items():
        field = form.find_element(By.NAME, name)
        if field.tag_name == "select":
            Select(field).select_by_visible_text(value)
        else:
            field.clear()
            field.send_keys(value)
    d.find_element(By.ID, "pager-save").click()


def send(d, pager, message):
    Select(d.find_element(By.ID, "send-pager")).select_by_value(pager)
    box = d.find_element(By.ID, "send-message")
    box.clear()
    box.send_keys(message)
    # The preview of what the pager shows follows the typing: the form is still till it has.
    wait_until(lambda: text(d, "send-preview") == message.strip(), 5)
    d.find_element(By.CSS_SELECTOR, "#send-form button[type=submit]").click()


def capture(d, path, clip):
    """A picture of the page's area clip (x, y, width, height), beyond the window if need be."""
    x, y, width, height = clip
    shot = d.execute_cdp_cmd("Page.captureScreenshot", {
        "format": "png", "captureBeyondViewport": True,
        "clip": {"x": x, "y": y, "width": width, "height": height, "scale": 1}})
    with open(path, "wb") as f:
        f.write(base64.b64decode(shot["data"]))


def card_shot(d, element_id, path):
    """One card in full, wherever it is on the page (once the page has stopped moving)."""
    d.execute_script("document.getElementById(arguments[0]).scrollIntoView()", element_id)
    time.sleep(0.5)
    capture(d, path, d.execute_script(
        "const r = document.getElementById(arguments[0]).getBoundingClientRect();"
        "return [r.left + scrollX, r.top + scrollY, r.width, r.height];", element_id))


def screenshots(d, folder):
    os.makedirs(folder, exist_ok=True)
    for width, height, mobile in ((1280, 800, False), (390, 844, True)):
        for scheme in ("light", "dark"):
            d.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
                "width": width, "height": height, "deviceScaleFactor": 1, "mobile": mobile})
            d.execute_cdp_cmd("Emulation.setEmulatedMedia", {
                "features": [{"name": "prefers-color-scheme", "value": scheme}]})
            d.execute_script("window.scrollTo(0, 0)")
            time.sleep(0.3)
            wide = d.execute_script(
                "return document.documentElement.scrollWidth - document.documentElement.clientWidth")
            check(wide <= 0, f"{width}x{height} {scheme}: no horizontal scrolling ({wide} px)")
            lines = d.execute_script(ONE_LINE, "#pagers td:nth-child(3)")
            check(lines and set(lines) == {1}, f"{width}x{height}: each RIC on one line ({lines})")
            d.save_screenshot(os.path.join(folder, f"web-{width}x{height}-{scheme}.png"))
            # The whole page, every card in full, as one picture.
            tall = d.execute_script("return document.documentElement.scrollHeight")
            capture(d, os.path.join(folder, f"web-{width}x{height}-{scheme}-full.png"),
                    (0, 0, width, tall))
            for card in ("charts",):
                card_shot(d, card, os.path.join(folder, f"web-{width}x{height}-{scheme}-{card}.png"))
    d.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {})
    d.execute_cdp_cmd("Emulation.setEmulatedMedia", {"features": []})


def slot_share(args, port):
    """With the DAPNET link up, the keyed-time chart draws the hour's share its slots allow."""
    d = chromium()
    try:
        d.get(f"http://localhost:{port}/")
        # Six of the sixteen slots (0246AC): 6/16 of 3600 s.
        check(wait_until(lambda: "the slots allow 1350 s an hour" in text(d, "share-text"), 10),
              f"the chart names the slots' share ({text(d, 'share-text')!r})")
        line = d.find_elements(By.CSS_SELECTOR, "#chart-keyed line.share")
        check(len(line) == 1 and d.find_element(By.ID, "share-key").is_displayed(),
              "the keyed-time chart draws the share line with its key")
        # Beside the DAPNET station's files: the browser station's folder starts afresh.
        card_shot(d, "charts", os.path.join(args.work, "dapnet", "web-dapnet-charts.png"))
    finally:
        d.quit()


def login_form(port):
    """Beyond loopback the page asks for a login, says when it was wrong, shows the station
    after it and asks again once the session has ended (a 4 s session here)."""
    d = chromium()
    try:
        d.get(f"http://localhost:{port}/")
        check(wait_until(lambda: d.find_element(By.ID, "login-box").is_displayed(), 10) and
              not d.find_element(By.ID, "station").is_displayed(),
              "the page asks for the login before it shows the station")
        d.find_element(By.ID, "login-name").send_keys("op")
        for password in ("wrong", "s3cret-pass"):
            field = d.find_element(By.ID, "login-password")
            field.clear()
            field.send_keys(password + "\n")
            if password == "wrong":
                check(wait_until(lambda: text(d, "login-result") ==
                                 "wrong login name or password", 5),
                      f"a wrong password is refused on the page ({text(d, 'login-result')})")
        check(wait_until(lambda: d.find_element(By.ID, "station").is_displayed() and
                         state(d) == "idle", 10) and text(d, "who") == "logged in as op",
              "after the login the page shows the station and who is logged in")
        check(wait_until(lambda: d.find_element(By.ID, "login-box").is_displayed(), 15),
              "once the session has ended the page asks for the login again")
    finally:
        d.quit()


def many_tabs(d, url):
    """Tabs left open give their event stream back while hidden: an eighth tab of one browser
    (which opens at most six connections to a server) still loads and is answered."""
    first = d.current_window_handle
    d.set_page_load_timeout(15)
    try:
        for _ in range(7):
            d.switch_to.new_window("tab")
            d.get(url)
        loaded = wait_until(lambda: state(d) is not None, 10)  # the lamp shows a status
    except TimeoutException:
        loaded = False
    check(loaded and d.execute_script("return fetch('/api/status').then((r) => r.ok)"),
          "an eighth tab of one browser loads and its calls are answered")
    for handle in d.window_handles:
        if handle != first:
            d.switch_to.window(handle)
            d.close()
    d.switch_to.window(first)
    d.set_page_load_timeout(300)


def cross_site_form(d, st):
    """Another site's form posts a page to the station: the browser's own request is refused."""
    form = (f"<form method=post enctype=text/plain action='http://localhost:{st.http}/api/pages'>"
            "<input name='{\"pager\":\"1001\",\"message\":\"x' value='\"}'></form>"
            "<script>document.forms[0].submit()</script>")
    d.get("data:text/html," + urllib.parse.quote(form))
    check(wait_until(lambda: "not accepted" in d.find_element(By.TAG_NAME, "body").text, 5) and
          st.wait_for_log("web: refused POST /api/pages", 5) and
          "page for 1001" not in st.log_text(),
          "a cross-site form post from the browser is refused and queues nothing")


def rss_kb(pid):
    for line in open(f"/proc/{pid}/status"):
        if line.startswith("VmRSS:"):
            return int(line.split()[1])
    return 0


def streams_memory(port, pid, count=10):
    before = rss_kb(pid)
    streams = []
    for _ in range(count):
        s = socket.create_connection(("127.0.0.1", port), timeout=5)
        s.sendall(f"GET /api/events HTTP/1.1\r\nHost: localhost:{port}\r\n\r\n".encode())
        streams.append(s)
    def first_event(s):
        got = b""
        while b"event: status" not in got and (chunk := s.recv(65536)):
            got += chunk
        return b"event: status" in got

    ok = all(first_event(s) for s in streams)
    time.sleep(1)
    after = rss_kb(pid)
    for s in streams:
        s.close()
    return ok, after - before


def browser(args, web_station):
    st = web_station(args, "browser")
    if args.env:
        st.env.pop("TARVEX_AUDIO")  # played into the fixture's null sink
        # The off-air monitor listens to the sink: the page follows its verdict.
        st.args.tarvexd_extra = ["--monitor-command", "parec -d " +
                                 os.environ["TARVEX_PULSE_MONITOR"] + " --raw --format=s16le "
                                 "--rate=22050 --channels=1 --latency-msec=20"]
    with open(os.path.join(st.folder, "Pagers.txt"), "w") as f:
        f.write("[1001]\nric = 1001\nname = Duty phone\n")
    proc = st.start()
    figures = {}
    d = chromium()
    url = f"http://localhost:{st.http}/"
    try:
        # The browser's first load includes its own start (and fetches every file); the figure
        # is the median of the loads after it, each once the one before has finished its calls.
        loads = []
        for _ in range(6):
            d.get(url)
            check(wait_until(lambda: state(d) == "idle", 5), "the page shows the lamp idle")
            time.sleep(0.5)
            loads.append(d.execute_script(LOAD))
        figures["first_load_ms"] = loads[0]["drawn"]
        figures["load_ms_median"] = statistics.median(x["drawn"] for x in loads[1:])
        figures["painted_ms_median"] = statistics.median(x["painted"] for x in loads[1:])
        figures["bytes_first_load"] = loads[0]["bytes"]
        figures["bytes_later_load"] = loads[-1]["bytes"]
        d.execute_script(WATCH + "window.notReloaded = true;")

        fill_pager(d, {"id": "3003", "name": "Night <b>x</b>", "ric": "1234",
                       "baud": "512", "max-length": "200"})
        check(wait_until(lambda: "Night <b>x</b>" in text(d, "pagers"), 5),
              "a pager added from the form is listed, its name as text")
        d.find_element(By.XPATH, "//tbody[@id='pagers']/tr[td[1]='3003']//button[.='Edit']").click()
        fill_pager(d, {"name": "Night duty"})
        check(wait_until(lambda: "Night duty" in text(d, "pagers"), 5), "the pager is edited")

        Select(d.find_element(By.ID, "send-pager")).select_by_value("3003")
        d.find_element(By.ID, "send-message").send_keys("Grüße")
        check(wait_until(lambda: len(d.find_elements(By.CSS_SELECTOR, "#send-preview mark")) == 2,
                         5), "the preview marks the characters the pager shows otherwise")
        raw = os.path.join(st.work, "monitor.raw")
        rec = start_recorder(raw) if args.env else None
        try:
            send(d, "3003", XSS)
            check(text(d, "send-count") == f"{len(XSS)} / 200 characters", "the live count")
            check(wait_until(lambda: any(s == "on air" for s, _ in d.execute_script(
                "return window.seen")), 10), "the lamp turns ON AIR from the event stream")
            check(wait_until(lambda: state(d) == "idle", 15), "and back to idle")
        finally:
            if rec:
                time.sleep(0.3)
                stop_recorder(rec)
        if rec:
            want = pocsag_line(512, "1234", 3, "alpha", XSS)
            decoded = multimon_decode(raw, st.work, "web", "alpha", False)
            check(any(line.startswith(want) for line in decoded.splitlines()),
                  f"the page sent from the browser decodes from the sink: {want}")
        final = "confirmed" if args.env else "sent"
        check(wait_until(lambda: text(d, "send-result").endswith(
            "sent and confirmed off the air" if args.env else ": sent"), 20),
            f"the form follows its page to {final} ({text(d, 'send-result')})")
        check(d.find_elements(By.CSS_SELECTOR, "#chart-pages rect.sent") and
              d.find_elements(By.CSS_SELECTOR, "#chart-keyed rect.keyed") and
              bool(d.find_elements(By.CSS_SELECTOR, "#chart-verdicts rect.confirmed")) == bool(args.env),
              "the charts draw the hour's page, keyed time and verdict")
        check(d.execute_script("return window.notReloaded === true"), "without a reload")
        if args.env:
            number = text(d, "send-result").split(":")[0]
            check(f"last: {number} confirmed at " in text(d, "monitor"),
                  f"the monitor's latest verdict is shown ({text(d, 'monitor')})")
        check(wait_until(lambda: XSS in text(d, "log"), 10), "the log shows the markup as text")
        check(no_alert(d) and not d.find_elements(By.CSS_SELECTOR, "main img"),
              "the markup runs nothing and makes no element")
        screenshots(d, os.path.join(args.work, "browser", "screens"))

        # STOP during a long page: the transmitter is released, the page shows it at once.
        d.execute_script("window.seen = [];")
        send(d, "3003", "long page " * 19)
        check(wait_until(lambda: state(d) == "on air", 10), "the long page goes on air")
        check(wait_until(lambda: float(d.find_element(By.ID, "progress").get_attribute("value"))
                         > 0 and " / " in text(d, "progress-text"), 5),
              f"its progress is shown ({text(d, 'progress-text')})")
        time.sleep(0.5)
        clicked = d.execute_script(
            "const t = performance.now(); document.getElementById('stop').click(); return t;")
        check(wait_until(lambda: state(d) not in ("on air", "keyed"), 5), "STOP ends it")
        seen = d.execute_script("return window.seen")
        after = [t for s, t in seen if t >= clicked and s not in ("on air",)]
        figures["stop_to_page_ms"] = round(after[0] - clicked, 1) if after else None
        check(st.wait_for_log("web: stop by ", 5) and
              wait_until(lambda: st.port_bytes().endswith(b"\x00"), 5),
              "the STOP is logged and the transmitter released (record port)")
        check(wait_until(lambda: "stopped by STOP" in text(d, "send-result"), 5),
              f"the form says its page was stopped ({text(d, 'send-result')})")
        check(wait_until(lambda: "web: stop by" in text(d, "service-log"), 5),
              "the service log's lines reach the page with their levels")

        # A search started from the page runs in the service; the status follows it.
        d.find_element(By.ID, "search-from").send_keys("51")
        d.find_element(By.ID, "search-to").send_keys("52")
        Select(d.find_element(By.ID, "search-baud")).select_by_visible_text("2400")
        d.find_element(By.CSS_SELECTOR, "#search-form button[type=submit]").click()
        check(wait_until(lambda: "started the search of codes 51 to 52" in
                         text(d, "search-result"), 5) and
              wait_until(lambda: text(d, "search-state").startswith("Running"), 5),
              f"a search starts from the page and shows while it runs ({text(d, 'search-result')})")
        check(st.wait_for_log("search ended (done): 2 codes sent", 20) and
              wait_until(lambda: text(d, "search-state") == "No search running.", 5),
              "the search ends and the page says so")

        d.find_element(By.CSS_SELECTOR, "button[data-id='3003']").click()
        d.switch_to.alert.accept()
        check(wait_until(lambda: "3003" not in text(d, "pagers"), 5),
              "a pager is removed after its confirmation")

        d.execute_script("console.error('console probe')")  # the console is read at all
        errors = [e["message"] for e in d.get_log("browser") if e["level"] == "SEVERE"]
        check(len(errors) == 1 and "console probe" in errors[0],
              f"the page reports no error in the browser's console ({errors[:3]})")

        # (after the console check: the browser reports the API's 400 there)
        Select(d.find_element(By.ID, "send-to")).select_by_value("ric")
        d.find_element(By.CSS_SELECTOR, "#send-typed [name=ric]").send_keys("2500000")
        check(wait_until(lambda: "ric: 2500000 is above" in text(d, "send-result"), 5),
              "a typed RIC is checked by the station as the form is filled")

        many_tabs(d, url)
        ok, added = streams_memory(st.http, proc.pid)
        check(ok, "10 event streams each get the status")
        figures["rss_kb_added_by_10_streams"] = added

        # A restarted service is found again without a reload.
        stop_service(st, proc)
        check(wait_until(lambda: "reconnecting" in text(d, "summary"), 5),
              "the page notices the service has gone")
        proc = st.start()
        check(wait_until(lambda: text(d, "summary").startswith("OK"), 10),
              "and reconnects by itself after the restart")
        cross_site_form(d, st)
    finally:
        d.quit()
        stop_service(st, proc)
        st.args.tarvexd_extra = []
    os.makedirs(os.path.join(args.work, "browser"), exist_ok=True)
    with open(os.path.join(args.work, "browser", "figures.json"), "w") as f:
        json.dump(figures, f, indent=1)
    print("figures:", json.dumps(figures))
