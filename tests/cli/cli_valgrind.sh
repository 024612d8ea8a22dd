#!/usr/bin/env bash
# tarvex-cli under Valgrind's memcheck: every command that builds a transmission (listing,
# wav, tune, ident, fast) and a whole send into a WAV file with the key bytes recorded.
# Any memory error or a definitely or indirectly lost block fails the case, as does a
# command that fails or a send that leaves the transmitter keyed.
# Usage: cli_valgrind.sh TARVEX_CLI WORKDIR
set -uo pipefail
cli="$1"
work="$2"
rm -rf "$work"
mkdir -p "$work"
command -v valgrind >/dev/null || { echo "valgrind is not installed"; exit 1; }

pass=0
fail=0
n=0
# Runs one command line under memcheck; its log is kept in WORKDIR/vg-N.log.
check() {
    n=$((n + 1))
    local log="$work/vg-$n.log" status=0
    valgrind --tool=memcheck --leak-check=full --errors-for-leak-kinds=definite,indirect \
        --error-exitcode=99 --track-origins=no --log-file="$log" "$cli" "$@" \
        >"$work/out-$n.txt" 2>&1 || status=$?
    if [ "$status" -eq 0 ]; then
        pass=$((pass + 1))
    else
        fail=$((fail + 1))
        echo "FAIL (exit $status): tarvex-cli $*"
        grep -E 'ERROR SUMMARY|definitely lost|indirectly lost|Invalid|uninitialised' "$log" |
            head -n 8
        head -n 5 "$work/out-$n.txt"
    fi
}

check listing --ric 1234567 --func 0 --message Hello
check listing --entry "01N0512I2097151 555-1234 [9]"
check wav --ric 42 --func 3 --message "Valgrind page" --baud 2400 --inverted -o "$work/page.wav"
check tune --seconds 1 --baud 2400 -o "$work/tune.wav"
check ident --callsign "GXZYX/P" -o "$work/ident.wav"
check fast --start 1000 --baud 2400 --listing
check fast --start 2000 --baud 1200 -o "$work/fast.wav"
check send --ric 1234567 --func 0 --message Hello --baud 2400 --key-delay 100 \
    --port "record:$work/keying.bin" --audio "wav:$work/sent.wav"

# An invalid input is refused with status 2, and that path must not leak either.
n=$((n + 1))
status=0
valgrind --leak-check=full --errors-for-leak-kinds=definite,indirect --error-exitcode=99 \
    --log-file="$work/vg-$n.log" "$cli" listing --ric 2097152 >/dev/null 2>&1 || status=$?
if [ "$status" -eq 2 ]; then pass=$((pass + 1)); else
    fail=$((fail + 1))
    echo "FAIL: refused RIC gave exit $status (want 2), see $work/vg-$n.log"
fi

# The send keyed and then released the transmitter (data pin D0, active high): some byte
# written has D0 set, the last one has it clear.
bytes="$(od -An -tu1 -v "$work/keying.bin" 2>/dev/null | tr -s ' \n' ' ')"
last="$(awk '{print $NF}' <<<"$bytes")"
if [ -s "$work/sent.wav" ] && [ -n "$last" ] && [ $((last & 1)) -eq 0 ] &&
    awk '{for (i = 1; i <= NF; i++) if ($i % 2 == 1) found = 1} END {exit !found}' <<<"$bytes"; then
    pass=$((pass + 1))
else
    fail=$((fail + 1))
    echo "FAIL: key bytes [$bytes], sound $(stat -c %s "$work/sent.wav" 2>/dev/null) bytes"
fi

echo "$pass passed, $fail failed"
[ "$fail" -eq 0 ]
