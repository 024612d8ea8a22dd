// The station's web page: everything it shows comes from the JSON API and its event stream,
// and every text from outside is set as text (textContent), never as markup.
"use strict";

const $ = (id) => document.getElementById(id);
let csrf = "";
let pagers = [];
let logPage = 0;
let sentIds = [];
let events = null;

function say(id, text, good) {
  const el = $(id);
  el.textContent = text;
  el.className = "result " + (good === undefined ? "" : good ? "good" : "bad");
}

async function api(method, path, body, retried) {
  const options = { method, headers: {}, credentials: "same-origin" };
  if (method !== "GET") options.headers["X-CSRF-Token"] = csrf;
  if (body !== undefined) {
    options.headers["Content-Type"] = "application/json";
    options.body = JSON.stringify(body);
  }
  const response = await fetch(path, options);
  let data = {};
  try { data = await response.json(); } catch (e) { data = {}; }
  // After a restart of the service the session is gone: take a new one and try once more.
  if ((response.status === 403 || response.status === 401) && !retried && method !== "GET" &&
      path !== "/api/login") {
    if (await startSession()) return api(method, path, body, true);
  }
  if (!response.ok) {
    const error = new Error(data.error || response.status + " " + response.statusText);
    error.status = response.status;
    throw error;
  }
  return data;
}

async function startSession() {
  const response = await fetch("/api/session", { credentials: "same-origin" });
  const data = await response.json().catch(() => ({}));
  if (response.status === 401) {
    showLogin(true);
    return false;
  }
  if (!response.ok) return false;
  csrf = data.csrf;
  $("who").textContent = data.login ? "logged in as " + data.login : "";
  $("logout").hidden = !data.login;
  showLogin(false);
  markDrawn();
  return true;
}

function showLogin(needed) {
  $("login-box").hidden = !needed;
  $("station").hidden = needed;
  if (needed && events) { events.close(); events = null; }
}

const lampClass = {
  "idle": "idle", "held after stop": "idle", "waiting for a slot": "waiting",
  "preparing": "waiting", "keyed": "air", "on air": "air", "releasing": "releasing",
  "keying failed": "air",
};

function cell(row, text) {
  const td = document.createElement("td");
  td.textContent = text;
  row.appendChild(td);
  return td;
}

// The DAPNET slot clock: slot = (tenths of a second >> 6) & 15 on the station's clock.
let slots = null;
let clockOffset = 0;
function showSlot() {
  const el = $("slot");
  el.parentElement.hidden = slots === null;
  if (slots === null) return;
  const now = Date.now() + clockOffset;
  const slot = (Math.floor(now / 100) >> 6) & 15;
  const digit = slot.toString(16).toUpperCase();
  const allowed = slots === "*" || slots.includes(digit);
  const left = (6400 - (Math.floor(now / 100) % 64) * 100 - (now % 100)) / 1000;
  el.textContent = "slot " + digit + (allowed ? " (allowed)" : " (not ours)") + ", next in " +
    left.toFixed(1) + " s; allowed: " + (slots === "*" ? "all (none assigned yet)" : slots || "none");
}
setInterval(showSlot, 200);

// Marks the moment the status first shows (the station part visible, the lamp set).
let statusShown = false;
let drawn = false;
function markDrawn() {
  if (!drawn && statusShown && !$("station").hidden) {
    drawn = true;
    performance.mark("tarvex-status-drawn");
  }
}

function showStatus(s) {
  // A status answered is one this visitor may see: the station shows before the session is known.
  if ($("station").hidden) showLogin(false);
  statusShown = true;
  const h = s.health;
  const state = s.lamp.state;
  const lamp = $("lamp");
  lamp.textContent = (state === "on air" ? "ON AIR" : state.toUpperCase()) +
    (s.lamp.source ? " · " + s.lamp.source : "");
  lamp.className = "lamp " + (lampClass[state] || "idle");
  lamp.dataset.state = state;
  const total = s.lamp.total_ms || 0;
  $("progress-row").hidden = total === 0;
  if (total > 0) {
    $("progress").value = Math.min(1, s.lamp.elapsed_ms / total);
    $("progress-text").textContent = (s.lamp.elapsed_ms / 1000).toFixed(1) + " / " +
      (total / 1000).toFixed(1) + " s";
  }
  $("lamp-detail").textContent = s.lamp.held_ms > 0
    ? "held after STOP for " + Math.ceil(s.lamp.held_ms / 1000) + " s" : "";
  $("summary").textContent = h.summary;
  showSearch(h.search);
  $("health").textContent = h.state;
  $("audio").textContent = h.audio.output + (h.audio.ok ? "" : " — " + h.audio.error);
  $("keying").textContent = h.keying.line + (h.keying.ok ? "" : " — " + h.keying.error);
  $("dapnet").textContent = h.dapnet.enabled ? h.dapnet.state + (h.dapnet.clock ? " — " + h.dapnet.clock : "") : "off";
  slots = s.dapnet_slots === undefined ? null : s.dapnet_slots;
  clockOffset = s.now_ms - Date.now();
  showSlot();
  $("monitor").textContent = h.monitor.running
    ? (h.monitor.alarm ? "ALARM, " : "") + h.monitor.confirmed + " confirmed, " + h.monitor.not_heard +
      " not heard" + lastVerdicts(s.pages)
    : "off";
  $("counters").textContent = h.counters.pages_sent + " sent, " + h.counters.pages_failed +
    " failed, " + h.counters.key_ups + " key-ups, " + h.counters.keyed_seconds + " s keyed";
  const faults = $("faults");
  faults.replaceChildren(...h.faults.map((f) => {
    const li = document.createElement("li");
    li.className = f.level;
    li.textContent = f.level + ": " + f.reason;
    return li;
  }));
  const queue = $("queue");
  queue.replaceChildren(...s.queue.map((p) => {
    const row = document.createElement("tr");
    [ "#" + p.id, p.source + (p.origin ? " (" + p.origin + ")" : ""), p.pager, p.ric,
      p.age_seconds + " s" ].forEach((t) => cell(row, t));
    return row;
  }));
  $("queue-empty").hidden = s.queue.length > 0;
  followSent(s.pages, h.monitor.running);
  drawCharts(s);
  markDrawn();
}

// The monitor's latest verdicts, from the fates of the pages numbered lately.
function lastVerdicts(fates) {
  const judged = fates.filter((f) => f.fate === "confirmed" || f.fate === "not heard")
    .sort((a, b) => b.time_ms - a.time_ms).slice(0, 3);
  return judged.length === 0 ? "" : "; last: " + judged.map((f) => "#" + f.id + " " + f.fate +
    " at " + new Date(f.time_ms).toLocaleTimeString()).join(", ");
}

// A page sent from here is followed by its number through the station's recent fates.
const fateWords = {
  "on air": "on air", "waiting": "waiting", "sent": "sent", "stopped": "stopped by STOP",
  "failed": "not sent", "dropped": "dropped (too old)", "confirmed": "sent and confirmed off the air",
  "not heard": "sent, not heard off the air",
};
let sentFates = "";
function followSent(fates, monitoring) {
  if (!sentIds.length) return;
  const mine = sentIds.map((id) => fates.find((f) => f.id === id) || { id, fate: "queued", detail: "" });
  const key = mine.map((f) => f.fate).join(",");
  if (key === sentFates) return;
  sentFates = key;
  const bad = mine.some((f) => ["failed", "dropped", "stopped", "not heard"].includes(f.fate));
  const done = mine.every((f) => f.fate !== "queued" && f.fate !== "on air" && f.fate !== "waiting" &&
    (f.fate !== "sent" || !monitoring));
  say("send-result", mine.map((f) => "#" + f.id + ": " + (fateWords[f.fate] || f.fate) +
    (f.fate === "sent" && monitoring ? ", waiting for the monitor" : "") +
    (f.detail ? " — " + f.detail : "")).join("; "), done ? !bad : undefined);
  $("send-result").dataset.fates = key;
  if (done) loadLog().catch(() => {});
}

// Charts of the last 24 hours, drawn as SVG from the hourly totals in the status.
const svgNs = "http://www.w3.org/2000/svg";
function svgEl(parent, name, attrs, text) {
  const el = document.createElementNS(svgNs, name);
  for (const [k, v] of Object.entries(attrs)) el.setAttribute(k, String(v));
  if (text !== undefined) el.textContent = text;
  parent.appendChild(el);
  return el;
}

const HourMs = 3600 * 1000;
// series: [[field, class]] stacked from the bottom; line: a level drawn across (or null).
function barChart(svg, slots, series, line, unit) {
  svg.replaceChildren();
  const W = 360, H = 110, bottom = 16, top = 6;
  const sums = slots.map((h) => (h ? series.reduce((t, [f]) => t + h[f], 0) : 0));
  const most = Math.max(1, ...sums, line || 0);
  // Room for the scale's top label ("1350 s") left of the bars.
  const left = Math.max(34, 8 + 7 * (fmt(most) + unit).length);
  const y = (v) => H - bottom - (v / most) * (H - bottom - top);
  const step = (W - left) / slots.length;
  svgEl(svg, "line", { x1: left, y1: H - bottom, x2: W, y2: H - bottom, class: "axis" });
  svgEl(svg, "text", { x: left - 4, y: top + 8, "text-anchor": "end" }, fmt(most) + unit);
  svgEl(svg, "text", { x: left - 4, y: H - bottom, "text-anchor": "end" }, "0");
  slots.forEach((h, i) => {
    const x = left + i * step;
    if (h) {
      let base = 0;
      for (const [f, cls] of series) {
        if (h[f] > 0) {
          const r = svgEl(svg, "rect", { x: x + 1, width: Math.max(1, step - 2), y: y(base + h[f]),
            height: y(base) - y(base + h[f]), class: cls });
          svgEl(r, "title", {}, new Date(h.start_ms).getHours() + ":00 — " + fmt(h[f]) + unit + " " + cls);
        }
        base += h[f];
      }
    }
    if (i % 6 === 0 && i < slots.length - 3) {
      const hour = new Date(slotStart + i * HourMs).getHours();
      svgEl(svg, "text", { x: x + step / 2, y: H - 3, "text-anchor": "middle" },
        String(hour).padStart(2, "0") + ":00");
    }
  });
  svgEl(svg, "text", { x: W, y: H - 3, "text-anchor": "end" }, "now");
  if (line) svgEl(svg, "line", { x1: left, y1: y(line), x2: W, y2: y(line), class: "share" });
}

function fmt(v) {
  return v >= 10 || Number.isInteger(v) ? String(Math.round(v)) : v.toFixed(1);
}

let slotStart = 0;
let chartsKey = "";
function drawCharts(s) {
  const now = s.now_ms;
  const thisHour = now - (now % HourMs);
  const key = JSON.stringify(s.hours) + (s.dapnet_slots || "") + thisHour;
  if (key === chartsKey) return;
  chartsKey = key;
  slotStart = thisHour - 23 * HourMs;
  const slots = [];
  for (let i = 0; i < 24; ++i) {
    const h = s.hours.find((x) => x.start_ms === slotStart + i * HourMs);
    slots.push(h ? Object.assign({ keyed_s: h.keyed_ms / 1000 }, h) : null);
  }
  barChart($("chart-pages"), slots, [["pages", "sent"], ["failed", "failed"]], null, "");
  // The share of each hour the DAPNET link's slots allow the station to key ("*": all).
  let share = null;
  if (s.dapnet_slots !== undefined)
    share = 3600 * (s.dapnet_slots === "*" ? 16 : new Set(s.dapnet_slots).size) / 16;
  barChart($("chart-keyed"), slots, [["keyed_s", "keyed"]], share, " s");
  $("share-key").hidden = share === null;
  const busiest = Math.max(0, ...slots.map((h) => (h ? h.keyed_s : 0)));
  $("share-text").textContent = share === null ? "" : "the slots allow " + fmt(share) +
    " s an hour; the busiest hour used " + fmt(busiest) + " s (" +
    (share > 0 ? fmt((100 * busiest) / share) : "—") + " %)";
  barChart($("chart-verdicts"), slots, [["confirmed", "confirmed"], ["not_heard", "not-heard"]], null, "");
  const confirmed = s.hours.reduce((t, h) => t + h.confirmed, 0);
  const judged = confirmed + s.hours.reduce((t, h) => t + h.not_heard, 0);
  $("confirm-rate").textContent = judged === 0
    ? (s.health.monitor.running ? "no verdicts yet" : "the off-air monitor is off")
    : Math.round((100 * confirmed) / judged) + " % confirmed (" + confirmed + " of " + judged + ")";
}

function listen() {
  if (events) events.close();
  events = null;
  if (document.hidden) return; // opened once the tab is shown (below)
  const stream = new EventSource("/api/events");
  events = stream;
  stream.addEventListener("status", (e) => {
    showStatus(JSON.parse(e.data));
    serviceLogSoon();
  });
  stream.addEventListener("error", () => {
    $("summary").textContent = "reconnecting…";
    // A stream refused outright (a restarted service that wants a login again) is not tried
    // again by the browser: start over, which shows the login when it is needed.
    if (stream.readyState === EventSource.CLOSED && events === stream) setTimeout(start, 2000);
  });
}

// A browser opens at most six connections to a server, and a stream holds one for good: a
// hidden tab gives its stream back, so that tabs left open cannot take the last one from STOP.
// Shown again, it opens a new one, whose first event is the status as it is then.
document.addEventListener("visibilitychange", () => {
  if (document.hidden) {
    if (events) events.close();
    events = null;
  } else if (!events && $("login-box").hidden) {
    listen();
  }
});

function limitOf(id) {
  const p = pagers.find((x) => x.id === id);
  return p ? p["max-length"] : 0;
}

function showCount(length, limit) {
  const count = $("send-count");
  count.textContent = limit === 0 ? "tone only: no message is sent"
    : length + " / " + limit + " characters";
  count.className = length > limit ? "over" : "";
}

// The count at once from what was typed; then, from the station, what the pager's character
// set will show, each changed character marked with what was typed.
let previewTimer = 0;
let previewAsked = 0;
// The addressee as the API takes it: a directory pager's ID, or a typed pager's fields.
const typedFields = ["ric", "function", "coding", "baud", "polarity", "charset"];
function addressee() {
  const typed = $("send-to").value === "ric";
  $("send-typed").hidden = !typed;
  $("send-pager-row").hidden = typed;
  if (!typed) return $("send-pager").value ? { pager: $("send-pager").value } : null;
  const to = {};
  for (const name of typedFields) to[name] = $("send-typed").elements[name].value;
  return to.ric ? to : null;
}

let typedLimit = 256;
function updateCount() {
  const to = addressee();
  const message = $("send-message").value;
  showCount([...message].length, to && to.pager ? limitOf(to.pager) : to && to.coding === "tone" ? 0 : typedLimit);
  clearTimeout(previewTimer);
  if (!message) $("send-preview").hidden = true;
  if (!to) return;
  previewTimer = setTimeout(async () => {
    const asked = ++previewAsked;
    const data = await api("POST", "/api/preview", Object.assign({ message }, to)).catch((err) => {
      if (asked === previewAsked) say("send-result", err.message, false);
      return null;
    });
    if (!data || asked !== previewAsked) return;
    if (!to.pager) typedLimit = data.limit || typedLimit;
    showCount(data.length, data.limit);
    const preview = $("send-preview");
    preview.replaceChildren(...data.pieces.map((p) => {
      if (p.typed === undefined) return document.createTextNode(p.text);
      const mark = document.createElement("mark");
      mark.textContent = p.text;
      mark.title = "typed: " + p.typed;
      return mark;
    }));
    preview.hidden = message === "";
  }, 150);
}

async function loadPagers() {
  const data = await api("GET", "/api/pagers");
  pagers = data.pagers;
  const select = $("send-pager");
  const chosen = select.value;
  select.replaceChildren(...pagers.map((p) => {
    const option = document.createElement("option");
    option.value = p.id;
    option.textContent = p.id + (p.name ? " — " + p.name : "") + " (RIC " + p.ric + ")";
    return option;
  }));
  if (pagers.some((p) => p.id === chosen)) select.value = chosen;
  $("pagers").replaceChildren(...pagers.map((p) => {
    const row = document.createElement("tr");
    [p.id, p.name, p.ric, p.coding, p["max-length"]].forEach((t, i) => {
      const td = cell(row, String(t));
      if (i >= 3) td.className = "wide-only";
    });
    const actions = cell(row, "");
    const edit = document.createElement("button");
    edit.type = "button"; edit.className = "small plain"; edit.textContent = "Edit";
    edit.addEventListener("click", () => editPager(p));
    const remove = document.createElement("button");
    remove.type = "button"; remove.className = "small plain"; remove.textContent = "Remove";
    remove.dataset.id = p.id;
    remove.addEventListener("click", () => removePager(p.id));
    actions.append(edit, remove);
    return row;
  }));
  updateCount();
}

let editing = "";
function editPager(p) {
  const form = $("pager-form");
  for (const key of ["id", "name", "ric", "function", "coding", "baud", "polarity", "charset", "max-length"])
    form.elements[key].value = String(p[key]);
  form.elements.id.readOnly = true;
  editing = p.id;
  $("pager-save").textContent = "Save";
  say("pager-result", "editing " + p.id);
}

function newPager() {
  $("pager-form").reset();
  $("pager-form").elements.id.readOnly = false;
  editing = "";
  $("pager-save").textContent = "Add";
  say("pager-result", "");
}

async function savePager(e) {
  e.preventDefault();
  const form = $("pager-form");
  const body = {};
  for (const key of ["id", "name", "ric", "function", "coding", "baud", "polarity", "charset", "max-length"])
    body[key] = form.elements[key].value;
  try {
    if (editing) await api("PUT", "/api/pagers/" + encodeURIComponent(editing), body);
    else await api("POST", "/api/pagers", body);
    say("pager-result", (editing ? "saved " : "added ") + body.id, true);
    newPager();
    await loadPagers();
  } catch (err) {
    say("pager-result", err.message, false);
  }
}

async function removePager(id) {
  if (!window.confirm("Remove pager " + id + " from the directory?")) return;
  try {
    await api("DELETE", "/api/pagers/" + encodeURIComponent(id));
    say("pager-result", "removed " + id, true);
    await loadPagers();
  } catch (err) {
    say("pager-result", err.message, false);
  }
}

async function sendPage(e) {
  e.preventDefault();
  try {
    const to = addressee();
    if (!to) throw new Error($("send-to").value === "ric" ? "type the RIC" : "choose a pager");
    const data = await api("POST", "/api/pages", Object.assign({ message: $("send-message").value }, to));
    sentIds = data.queued;
    sentFates = "";
    say("send-result", "queued as #" + data.queued.join(", #") +
      (data.changes ? " (the pager shows " + data.changes + ")" : ""), true);
  } catch (err) {
    say("send-result", err.message, false);
  }
}

async function startSearch(e) {
  e.preventDefault();
  const from = $("search-from").value.trim();
  const to = $("search-to").value.trim();
  if (!/^[0-9]{1,7}$/.test(from) || !/^[0-9]{1,7}$/.test(to)) {
    say("search-result", "codes are whole numbers from 0 to 2097151", false);
    return;
  }
  try {
    const data = await api("POST", "/api/search", {
      from: Number(from), to: Number(to), fast: $("search-kind").value === "fast",
      baud: Number($("search-baud").value), inverted: $("search-polarity").value === "inverted",
    });
    say("search-result", "started the " + data.started + "; STOP ends it", true);
  } catch (err) {
    say("search-result", err.message, false);
  }
}

function showSearch(search) {
  $("search-state").textContent = search
    ? "Running: next " + search.next + (search.fast ? ", while below " : ", last ") + search.to +
      ", " + search.sent + (search.fast ? " block(s)" : " code(s)") + " sent."
    : "No search running.";
}

async function loadLog() {
  const q = encodeURIComponent($("log-search").value);
  const data = await api("GET", "/api/log?page=" + logPage + "&q=" + q);
  $("log").replaceChildren(...data.lines.map((l) => {
    const li = document.createElement("li");
    li.textContent = l.line;
    for (const m of l.markers) {
      const mark = document.createElement("span");
      mark.className = "mark";
      mark.textContent = m;
      li.appendChild(mark);
    }
    return li;
  }));
  const pages = Math.max(1, Math.ceil(data.total / data.per_page));
  $("log-where").textContent = "page " + (logPage + 1) + " of " + pages + " (" + data.total + " lines)";
  $("log-newer").disabled = logPage === 0;
  $("log-older").disabled = logPage + 1 >= pages;
}

async function loadServiceLog() {
  const data = await api("GET", "/api/service-log");
  $("service-log").replaceChildren(...data.lines.slice(0, 30).map((l) => {
    const li = document.createElement("li");
    const level = document.createElement("span");
    level.className = "mark level-" + l.level;
    level.textContent = l.level;
    const when = new Date(l.time_ms).toLocaleTimeString();
    li.append(level, document.createTextNode(" " + when + " " + l.text));
    return li;
  }));
}

// The service log follows the status, at most every two seconds.
let serviceLogDue = 0;
function serviceLogSoon() {
  if (serviceLogDue) return;
  serviceLogDue = setTimeout(() => {
    serviceLogDue = 0;
    loadServiceLog().catch(() => {});
  }, 2000);
}

async function start() {
  // On this computer the stream needs no session: it opens at once, beside the session's call.
  listen();
  // The first status comes from the call the page started while it was read, unless the
  // stream was quicker.
  fetch("/api/status", { credentials: "same-origin" })
    .then((r) => (r.ok ? r.json() : null))
    .then((s) => { if (s && !statusShown) showStatus(s); })
    .catch(() => {});
  if (!(await startSession())) return;
  await loadPagers().catch((err) => say("pager-result", err.message, false));
  await loadLog().catch(() => {});
  await loadServiceLog().catch(() => {});
}

function wire() {
  $("login-form").addEventListener("submit", async (e) => {
    e.preventDefault();
    try {
      await api("POST", "/api/login", { name: $("login-name").value, password: $("login-password").value });
      $("login-password").value = "";
      say("login-result", "");
      await start();
    } catch (err) {
      say("login-result", err.message, false);
    }
  });
  $("logout").addEventListener("click", async () => {
    await api("POST", "/api/logout").catch(() => {});
    window.location.reload();
  });
  $("stop").addEventListener("click", async () => {
    try {
      await api("POST", "/api/stop");
      say("stop-result", "stopped", true);
    } catch (err) {
      say("stop-result", err.message, false);
    }
  });
  $("send-form").addEventListener("submit", sendPage);
  $("search-form").addEventListener("submit", startSearch);
  $("send-message").addEventListener("input", updateCount);
  $("send-pager").addEventListener("change", updateCount);
  $("send-to").addEventListener("change", updateCount);
  $("send-typed").addEventListener("input", updateCount);
  $("send-typed").addEventListener("change", updateCount);
  $("pager-form").addEventListener("submit", savePager);
  $("pager-cancel").addEventListener("click", newPager);
  $("log-form").addEventListener("submit", (e) => { e.preventDefault(); logPage = 0; loadLog(); });
  $("log-newer").addEventListener("click", () => { logPage = Math.max(0, logPage - 1); loadLog(); });
  $("log-older").addEventListener("click", () => { logPage += 1; loadLog(); });
  start();
}

document.addEventListener("DOMContentLoaded", wire);
