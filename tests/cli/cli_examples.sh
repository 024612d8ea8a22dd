#!/usr/bin/env bash
# tarvex-cli against the published examples: listings byte for byte, image lengths and
# sample counts, the WAV header, exit statuses and the exact error texts.
# Usage: cli_examples.sh TARVEX_CLI WORKDIR
set -uo pipefail
cli="$1"
work="$2"
mkdir -p "$work"
pass=0
fail=0
ok() { pass=$((pass + 1)); }
bad() { fail=$((fail + 1)); echo "FAIL $*"; }
expect_eq() { # what got want
    if [ "$2" = "$3" ]; then ok; else bad "$1: got [$2] want [$3]"; fi
}

rep() { local i; for ((i = 0; i < $2; i++)); do printf '%s ' "$1"; done; }

# The Hello page's listing, field by field and from an entry line.
want="$(rep AAAAAAAA 18)"$'\r\n'"7CD215D8"$'\r\n'"$(rep 7A89C197 8)"$'\r\n'"$(rep 7A89C197 6)4B5A0780 89A668A5 "$'\r\n'"7CD215D8"$'\r\n'"CDFB2765 84081630 $(rep 7A89C197 6)"$'\r\n'"$(rep 7A89C197 8)"
expect_eq "listing Hello" "$("$cli" listing --ric 1234567 --func 0 --message Hello)" "$want"
expect_eq "listing entry" "$("$cli" listing --entry "00a1200n1234567Hello")" "$want"
expect_eq "listing trims" "$("$cli" listing --ric 1234567 --func 0 --message $'  Hello\t ')" "$want"
expect_eq "listing hex" "$("$cli" listing --ric 1234567 --func 0 --message-hex 48656C6C6F)" "$want"
"$cli" listing --ric 1234567 --func 0 --message Hello > "$work/listing.txt"
expect_eq "listing ends without a line break" "$(tail -c 9 "$work/listing.txt" | od -An -c | tr -s ' ')" " 7 A 8 9 C 1 9 7 "

# Lengths: "codewords at rate, N ms, S samples" as the commands report them.
summary() { grep -o '[0-9]* codewords at [0-9]* bit/s, [0-9]* ms, [0-9]* samples'; }
expect_eq "page 52 cw at 512" "$("$cli" wav --ric 1234567 --func 0 --message Hello --baud 512 -o "$work/p.wav" | summary)" \
    "52 codewords at 512 bit/s, 3250 ms, 312000 samples"
expect_eq "wav file size" "$(stat -c %s "$work/p.wav")" "$((44 + 312000))"
expect_eq "wav header" "$(head -c 44 "$work/p.wav" | od -An -tx1 | tr -d ' \n')" \
    "52494646e4c2040057415645666d7420100000000100010000770100007701000100080064617461c0c20400"
for entry in "3 512 48 3000" "3 1200 114 3039" "3 2400 225 2996" "15 2400 1125 14977"; do
    set -- $entry
    expect_eq "tune $1 s at $2" "$("$cli" tune --seconds "$1" --baud "$2" -o "$work/t.wav" | summary)" \
        "$3 codewords at $2 bit/s, $4 ms, $(($4 * 96)) samples"
done
for entry in "E 9 361" "SOS 57 2281" "GXZYX 131 5241"; do
    set -- $entry
    expect_eq "ident $1" "$("$cli" ident --callsign "$1" -o "$work/i.wav" | summary)" \
        "$2 codewords at 800 bit/s, $3 ms, $(($3 * 96)) samples"
done
expect_eq "fast at 512" "$("$cli" fast --start 1000 --baud 512 -o "$work/f.wav" | summary)" \
    "292 codewords at 512 bit/s, 18249 ms, 1751904 samples"
fastlist="$("$cli" fast --start 1000 --listing)"
expect_eq "fast listing first line" "$(head -n 1 <<<"$fastlist")" \
    "$(rep '000FA8B9 000FCD5E' 8)7CD215D8"$'\r'
expect_eq "fast listing lines" "$(wc -l <<<"$fastlist")" "17"
expect_eq "fast above the top code" "$("$cli" fast --start 2097144 --listing | sed -n 2p)" \
    "$(rep 7A89C197 16)7CD215D8"$'\r'

# Exit statuses and texts.
status() { "$@" >/dev/null 2>"$work/err"; echo $?; }
expect_eq "empty ric" "$(status "$cli" listing --ric '')" 2
expect_eq "empty ric text" "$(cat "$work/err")" "tarvex-cli: '' is not a valid integer value"
expect_eq "ric too big" "$(status "$cli" listing --ric 2097152)" 2
expect_eq "func 4" "$(status "$cli" listing --ric 1 --func 4)" 2
expect_eq "bad baud" "$(status "$cli" wav --ric 1 --baud 300 -o "$work/x.wav")" 2
expect_eq "short entry" "$(status "$cli" listing --entry 00A1200N123456)" 2
expect_eq "short entry text" "$(cat "$work/err")" \
    "tarvex-cli: The Format of this message is not correct, cannot send!"
expect_eq "entry RIC letter" "$(status "$cli" listing --entry 00A1200N12x4567Hi)" 2
expect_eq "entry RIC letter text" "$(cat "$work/err")" \
    "tarvex-cli: Error in the message format! Most likely to be the RIC code."
expect_eq "unreceivable" "$(status "$cli" listing --ric 2045056 --func 2)" 2
expect_eq "too long" "$(status "$cli" listing --ric 1 --message "$(head -c 600 /dev/zero | tr '\0' x)")" 2
grep -q "slot 188" "$work/err" && ok || bad "too long message names the limit: $(cat "$work/err")"
expect_eq "unwritable" "$(status "$cli" wav --ric 1 -o /nonexistent-dir/x.wav)" 1
expect_eq "unknown option" "$(status "$cli" listing --ric 1 --colour red)" 2
expect_eq "help" "$(status "$cli" --help)" 0
expect_eq "sync text" "$(status "$cli" listing --ric 1 --sync 12G4)" 2
# A search is bounded before tarvexd is asked.
expect_eq "search beyond the top code" "$(status "$cli" search --from 1 --to 2097152)" 2
expect_eq "search backwards" "$(status "$cli" search --from 9 --to 8)" 2
expect_eq "search backwards text" "$(cat "$work/err")" "tarvex-cli: search: --from 9 is above --to 8"

# Several pages in one transmission: --entry repeated or a file of entry lines.
hello=00A1200N1234567Hello
printf '%s\r\n\r\n  \n%s\n' "$hello" 01N1200N000000112345 >"$work/two.txt"
expect_eq "entries file as --entry twice" "$("$cli" listing --entries "$work/two.txt")" \
    "$("$cli" listing --entry "$hello" --entry 01N1200N000000112345)"
# Hello (frame 7) runs into batch 2, so the page on frame 1 follows right behind it there.
expect_eq "second page behind the first" "$("$cli" listing --entries "$work/two.txt" | sed -n 6p)" \
    "CDFB2765 84081630 00000ED3 C261572C $(rep 7A89C197 4)"$'\r'
expect_eq "two pages wav" "$("$cli" wav --entries "$work/two.txt" -o "$work/m.wav" | summary)" \
    "52 codewords at 1200 bit/s, 1387 ms, 133152 samples"
expect_eq "other rate" "$(status "$cli" listing --entry "$hello" --entry 00A0512N0000001x)" 2
expect_eq "other rate text" "$(cat "$work/err")" "tarvex-cli: --entry 2 (RIC 0000001): its 512 bit/s \
normal differs from the 1200 bit/s normal of the first page: one transmission has one bit rate and polarity"
expect_eq "refused page" "$(status "$cli" listing --entry "$hello" --entry 10A1200N2045058x)" 2
grep -q "^tarvex-cli: --entry 2 (RIC 2045058): RIC/CAP code 2045058 with function bits 2 gives" \
    "$work/err" && ok || bad "refused page text: $(cat "$work/err")"
for ((i = 0; i < 66; i++)); do printf '00N1200N%07d\n' $((8 * i)); done >"$work/many.txt"
expect_eq "past the generator" "$(status "$cli" wav --entries "$work/many.txt" -o "$work/x.wav")" 2
grep -q "^tarvex-cli: $work/many.txt line 66 (RIC 0000520): the page does not fit" "$work/err" &&
    ok || bad "past the generator text: $(cat "$work/err")"
expect_eq "65 pages fit" "$(head -n 65 "$work/many.txt" >"$work/65.txt"; "$cli" wav --entries "$work/65.txt" -o "$work/x.wav" | summary)" \
    "1123 codewords at 1200 bit/s, 29935 ms, 2873760 samples"
expect_eq "entries and fields" "$(status "$cli" listing --entries "$work/two.txt" --ric 1)" 2
expect_eq "no entries file" "$(status "$cli" listing --entries "$work/none.txt")" 2
expect_eq "send takes one entry" "$(status "$cli" send --port none --entry "$hello" --entry "$hello")" 2

# The keying methods' names and device headings, as scripts read them.
devices="$("$cli" devices 2>/dev/null)"
for line in "Keying methods (--ptt): parallel none serial-rts serial-dtr cm108" \
    "Parallel ports (--ptt parallel):" "Serial ports (--ptt serial-rts / serial-dtr --ptt-device):" \
    "CM108 sound cards (--ptt cm108 --ptt-device):" "GPIO chips (--ptt gpio --ptt-device):"; do
    grep -qF "$line" <<<"$devices" && ok || bad "devices lacks [$line]"
done
expect_eq "unknown keying method" "$(status "$cli" send --ric 8 --message A --ptt laser --audio wav:"$work/k.wav")" 2
grep -q "^tarvex-cli: --ptt must be one of parallel, none, serial-rts, serial-dtr, cm108, .*, not 'laser'$" \
    "$work/err" && ok || bad "unknown keying method text: $(cat "$work/err")"

echo "$pass passed, $fail failed"
[ "$fail" -eq 0 ]
