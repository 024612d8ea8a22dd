#!/usr/bin/env bash
# Private PulseAudio server for the end-to-end tests: a null sink "tarvex_null" at 96000
# samples per second whose monitor the tests record. No systemd, no user session.
#
#   pulse_fixture.sh start STATE_DIR   starts it; writes STATE_DIR/pulse.env for tests to source
#   pulse_fixture.sh stop STATE_DIR    stops the server it started, by its PID
#
# Exits 77 (skipped) when the PulseAudio programs are not installed.
set -euo pipefail

action="${1:-}"
state="${2:-}"
if [ -z "$action" ] || [ -z "$state" ]; then
  echo "usage: $0 start|stop STATE_DIR" >&2
  exit 2
fi

stop_server() {
  if [ -f "$state/pulse.pid" ]; then
    pid="$(cat "$state/pulse.pid")"
    if kill -0 "$pid" 2>/dev/null; then
      kill "$pid"
      for _ in $(seq 50); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
      done
      kill -0 "$pid" 2>/dev/null && kill -9 "$pid"
    fi
    rm -f "$state/pulse.pid"
  fi
  rm -f "$state/pulse.env"
}

case "$action" in
stop)
  stop_server
  exit 0
  ;;
start) ;;
*)
  echo "unknown action $action" >&2
  exit 2
  ;;
esac

for tool in pulseaudio pactl parec; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "SKIP: $tool is not installed"
    exit 77
  fi
done

mkdir -p "$state"
state="$(cd "$state" && pwd)"
stop_server # a server left over from an interrupted run
runtime="$state/runtime"
rm -rf "$runtime"
mkdir -p "$runtime" "$state/home"
chmod 700 "$runtime"

cat >"$state/server.pa" <<PA
load-module module-native-protocol-unix auth-anonymous=1 socket=$runtime/native
load-module module-null-sink sink_name=tarvex_null rate=96000 channels=1 format=s16le norewinds=1
set-default-sink tarvex_null
PA
echo "autospawn = no" >"$state/client.conf"

export XDG_RUNTIME_DIR="$runtime" HOME="$state/home"
setsid pulseaudio -n -F "$state/server.pa" --daemonize=no --exit-idle-time=-1 --disallow-exit \
  --use-pid-file=no </dev/null >"$state/pulse.log" 2>&1 &
echo $! >"$state/pulse.pid"

cat >"$state/pulse.env" <<ENV
export PULSE_SERVER=unix:$runtime/native
export PULSE_CLIENTCONFIG=$state/client.conf
export PULSE_SINK=tarvex_null
export TARVEX_PULSE_MONITOR=tarvex_null.monitor
ENV
# shellcheck disable=SC1091
. "$state/pulse.env"

for _ in $(seq 100); do
  if pactl info >/dev/null 2>&1; then
    # Real-time scheduling for all its threads where allowed (the server resets its own at
    # start): a starved server inserts gaps that have nothing to do with the program under
    # test when the machine is busy running other tests.
    if command -v chrt >/dev/null 2>&1; then
      chrt -a -f -p 5 "$(cat "$state/pulse.pid")" >/dev/null 2>&1 || true
    fi
    echo "pulse fixture: server $(cat "$state/pulse.pid") at $PULSE_SERVER"
    exit 0
  fi
  if ! kill -0 "$(cat "$state/pulse.pid")" 2>/dev/null; then
    break
  fi
  sleep 0.1
done
echo "pulse fixture: the server did not come up; its log:" >&2
cat "$state/pulse.log" >&2
stop_server
exit 1
