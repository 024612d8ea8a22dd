#!/usr/bin/env bash
# tarvex-cli pager add|list|show|remove on a pager directory in a temporary station folder:
# the file written, the listing, refusals with field and reason (exit 2), a hand-edited file
# with a bad entry reported and left alone (exit 1).
# Usage: cli_pager.sh TARVEX_CLI WORKDIR
set -uo pipefail
cli="$1"
work="$2"
rm -rf "$work"
mkdir -p "$work"
export TARVEX_FOLDER="$work"
file="$work/Pagers.txt"
fail=0

expect() { # name wanted-status wanted-output-fragment command...
    local name="$1" status="$2" want="$3"
    shift 3
    local out rc
    out="$("$@" 2>&1)"
    rc=$?
    if [ "$rc" -ne "$status" ] || [[ "$out" != *"$want"* ]]; then
        echo "FAIL $name: exit $rc (wanted $status), output [$out], wanted [$want]"
        fail=1
    else
        echo "ok   $name"
    fi
}

expect "empty list" 0 "no pagers in $file" "$cli" pager list
expect "add" 0 "added 1001 in $file" "$cli" pager add 1001 --ric 1234567 --charset de --name "Night duty"
expect "add tone" 0 "added bell" "$cli" pager add bell --ric 2097151 --tone --baud 2400
expect "add numeric" 0 "added ops.7" "$cli" pager add ops.7 --ric 8 --numeric --func 0 --inverted --baud 512 --max-length 20
expect "replace" 0 "replaced bell" "$cli" pager add bell --ric 2097150 --tone --baud 2400

want="ID     RIC      FUNC  CODING        BAUD  POLARITY  CHARSET  MAX  NAME
1001   1234567  3     alphanumeric  1200  normal    de       80   Night duty
bell   2097150  3     tone          2400  normal    us       0
ops.7  8        0     numeric       512   inverted  us       20"
got="$("$cli" pager list)"
if [ "$got" = "$want" ]; then echo "ok   list"; else echo "FAIL list: [$got]"; fail=1; fi
expect "show" 0 "ric = 1234567
function = 3
coding = alphanumeric
baud = 1200
polarity = normal
charset = de (German)
max-length = 80" "$cli" pager show 1001
grep -q '^\[ops.7\]$' "$file" && grep -q '^polarity = inverted$' "$file" ||
    { echo "FAIL file: $(cat "$file")"; fail=1; }

expect "ric range" 2 "pager add: ric: 2500000 is above 2097151" "$cli" pager add x --ric 2500000
expect "ric text" 2 "pager add: ric: '12a' is not a number" "$cli" pager add x --ric 12a
expect "baud" 2 "baud: must be 512, 1200 or 2400, not '300'" "$cli" pager add x --ric 1 --baud 300
expect "func" 2 "function: must be 0 to 3, not '4'" "$cli" pager add x --ric 1 --func 4
expect "charset" 2 "charset: must be us, de, se, dk, fr or si, not 'ru'" "$cli" pager add x --ric 1 --charset ru
expect "tone length" 2 "max-length: a tone-only pager takes no message" "$cli" pager add x --ric 1 --tone --max-length 5
expect "length" 2 "max-length: must be 1 to 256, not 300" "$cli" pager add x --ric 1 --max-length 300
expect "id" 2 "id: 'a b' may hold only" "$cli" pager add "a b" --ric 1
expect "no ric" 2 "--ric is required" "$cli" pager add x
expect "both codings" 2 "either --numeric or --tone" "$cli" pager add x --ric 1 --numeric --tone
expect "unknown remove" 2 "no pager 'nope'" "$cli" pager remove nope
expect "unknown show" 2 "no pager 'nope'" "$cli" pager show nope
expect "no subcommand" 2 "pager needs add, list, show or remove" "$cli" pager
"$cli" pager show x >/dev/null 2>&1 && { echo "FAIL refused entries were written"; fail=1; }

expect "remove" 0 "removed ops.7" "$cli" pager remove ops.7
[ "$("$cli" pager list | wc -l)" -eq 3 ] || { echo "FAIL list after remove"; fail=1; }

printf '[9]\nric = nine\n' >>"$file"
before="$(cksum <"$file")"
expect "bad file" 1 "Pagers.txt: line 25: ric: 'nine' is not a number" "$cli" pager add y --ric 3
expect "bad file list" 1 "line 25: ric:" "$cli" pager list
[ "$(cksum <"$file")" = "$before" ] || { echo "FAIL a bad file was written over"; fail=1; }

[ "$fail" -eq 0 ] && echo "all passed"
exit "$fail"
