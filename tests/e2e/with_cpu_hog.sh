#!/usr/bin/env bash
# Runs a test while every core is kept busy by another program (one busy loop per core, at
# the same priority as the test): the end-to-end tests must still hear every sample.
#   with_cpu_hog.sh COMMAND [ARGS...]
set -uo pipefail
hogs=()
for _ in $(seq "$(nproc)"); do
    bash -c 'while :; do :; done' &
    hogs+=("$!")
done
trap 'kill "${hogs[@]}" 2>/dev/null; wait 2>/dev/null' EXIT
echo "with $(nproc) busy loops beside the test"
"$@"
