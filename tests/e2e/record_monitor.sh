#!/usr/bin/env bash
# Records the private null sink's monitor as raw unsigned 8-bit mono at 96000 samples per
# second (silence is 128).
#
#   record_monitor.sh start ENV_FILE OUT.raw PID_FILE   returns once samples are flowing
#   record_monitor.sh stop PID_FILE                     stops that recorder
#
# Start it before playing: an idle null sink can take up to two seconds to deliver data.
set -euo pipefail

case "${1:-}" in
start)
  env_file="$2" out="$3" pid_file="$4"
  # shellcheck disable=SC1090
  . "$env_file"
  rm -f "$out"
  parec --rate=96000 --channels=1 --format=u8 --raw --latency-msec=5 \
    -d "${TARVEX_PULSE_MONITOR:-tarvex_null.monitor}" >"$out" </dev/null &
  echo $! >"$pid_file"
  for _ in $(seq 500); do
    if [ -s "$out" ]; then
      exit 0
    fi
    kill -0 "$(cat "$pid_file")" 2>/dev/null || break
    sleep 0.01
  done
  echo "record_monitor: no samples from the monitor" >&2
  kill "$(cat "$pid_file")" 2>/dev/null || true
  exit 1
  ;;
stop)
  pid="$(cat "$2")"
  kill "$pid" 2>/dev/null || true
  for _ in $(seq 50); do
    kill -0 "$pid" 2>/dev/null || exit 0
    sleep 0.05
  done
  kill -9 "$pid" 2>/dev/null || true
  ;;
*)
  echo "usage: $0 start ENV_FILE OUT.raw PID_FILE | stop PID_FILE" >&2
  exit 2
  ;;
esac
