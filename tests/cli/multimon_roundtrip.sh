#!/usr/bin/env bash
# Round trip through an independent decoder: tarvex-cli renders pages to WAV, sox resamples
# them to what multimon-ng reads, and multimon-ng must report the RIC, function bits and text.
# Usage: multimon_roundtrip.sh TARVEX_CLI WORKDIR
set -euo pipefail
cli="$1"
work="$2"
mkdir -p "$work"
pass=0
fail=0

decode() { # wav mode inverted -> decoder output
    local wav="$1" mode="$2" inverted="$3" raw="${1%.wav}.raw"
    sox -q -V1 -v 0.8 "$wav" -t raw -r 22050 -e signed-integer -b 16 -c 1 "$raw"
    # about 10 ms of silence so the decoder flushes its last codeword
    head -c 442 /dev/zero >> "$raw"
    local flags=(-q -t raw -a POCSAG512 -a POCSAG1200 -a POCSAG2400 -f "$mode")
    # The decoder's sense of polarity is the opposite of ours: normal pages need -i.
    [ "$inverted" = no ] && flags+=(-i)
    multimon-ng "${flags[@]}" "$raw" 2>/dev/null
}

check() { # name baud coding polarity ric func message [decoded text]
    local name="$1" baud="$2" coding="$3" polarity="$4" ric="$5" func="$6" msg="$7"
    local text="${8:-$7}"
    local wav="$work/$name.wav" args=(--ric "$ric" --func "$func" --baud "$baud" --message "$msg")
    local mode=alpha label=Alpha
    if [ "$coding" = numeric ]; then args+=(--numeric); mode=numeric; label=Numeric; fi
    local inverted=no
    if [ "$polarity" = inverted ]; then args+=(--inverted); inverted=yes; fi
    "$cli" wav "${args[@]}" -o "$wav"
    local out
    out="$(decode "$wav" "$mode" "$inverted")"
    local want
    local sep='   '
    [ "$coding" = numeric ] && sep=' '
    want="$(printf 'POCSAG%s: Address: %7s  Function: %s  %s:%s%s' "$baud" "$ric" "$func" "$label" "$sep" "$text")"
    # The fill after the text decodes as end-of-text characters (alphanumeric) or blanks
    # (numeric); nothing else may follow.
    local line
    line="$(grep -F -- "$want" <<<"$out" | head -n 1 || true)"
    local rest="${line#"$want"}"
    if [ -n "$line" ] && [[ "$rest" =~ ^(<EOT>)*\ *$ ]]; then
        pass=$((pass + 1))
        echo "ok   $name: $want"
    else
        fail=$((fail + 1))
        echo "FAIL $name: wanted [$want]"
        echo "     decoder said: [$out]"
    fi
}

for baud in 512 1200 2400; do
    for polarity in normal inverted; do
        check "alpha-$baud-$polarity" "$baud" alpha "$polarity" 1234567 0 "Hello from Tarvex at $baud"
        # space goes out as 0, "U" as 5 and "*" as code 10, which the decoder shows as "."
        check "numeric-$baud-$polarity" "$baud" numeric "$polarity" 2000 3 "012 345-6789*U" \
            "0120345-6789.5"
    done
    # a long alphanumeric page crossing several batches, on every function-bit value
    check "long-$baud" "$baud" alpha normal 123 1 \
        "The quick brown fox jumps over the lazy dog 0123456789 ~!@#\$%^&*()_+{}|:<>? $baud"
    check "frame0-$baud" "$baud" alpha inverted 8 2 "frame zero"
done

# Several pages in one transmission, from a file of entry lines: ten pages over several
# batches (a frame used twice, messages running over batch starts, every function-bit value,
# both codings); every page must decode with its own address, function bits and text.
burst=( # ric, func, coding, message and the decoded text when it differs, tab-separated
    $'1234567\t0\tA\tHello from the first batch, spilling over'
    $'8\t1\tN\t0123456789'
    $'11\t2\tA\tframe three'
    $'19\t3\tA\tframe three again, one batch later'
    $'2000\t3\tN\t12-34 56*U\t12-34056.5'
    $'101\t0\tA\tA longer page that runs across more than one batch start: 0123456789 abcdefghij'
    $'102\t1\tA\tsix'
    $'100\t2\tN\t999'
    $'2097151\t3\tA\tthe top code'
    $'1\t0\tA\t~!@#$%^&*()_+{}|:<>?'
)
for baud in 512 1200 2400; do
    for polarity in N I; do
        name="burst-$baud-$polarity" entries="$work/burst-$baud-$polarity.txt"
        : >"$entries"
        for p in "${burst[@]}"; do
            IFS=$'\t' read -r ric func coding msg _ <<<"$p"
            printf '%d%d%s%04d%s%07d%s\n' $((func / 2)) $((func % 2)) "$coding" "$baud" \
                "$polarity" "$ric" "$msg" >>"$entries"
        done
        "$cli" wav --entries "$entries" -o "$work/$name.wav" >/dev/null
        out="$(decode "$work/$name.wav" alpha "$([ "$polarity" = I ] && echo yes || echo no)")"
        numeric="$(decode "$work/$name.wav" numeric "$([ "$polarity" = I ] && echo yes || echo no)")"
        missing=0
        for p in "${burst[@]}"; do
            IFS=$'\t' read -r ric func coding msg text <<<"$p"
            text="${text:-$msg}"
            if [ "$coding" = N ]; then
                want="$(printf 'POCSAG%s: Address: %7s  Function: %s  Numeric: %s' "$baud" "$ric" "$func" "$text")"
                said="$numeric"
            else
                want="$(printf 'POCSAG%s: Address: %7s  Function: %s  Alpha:   %s' "$baud" "$ric" "$func" "$text")"
                said="$out"
            fi
            line="$(grep -F -- "$want" <<<"$said" | head -n 1 || true)"
            rest="${line#"$want"}"
            if [ -z "$line" ] || ! [[ "$rest" =~ ^(<EOT>)*\ *$ ]]; then
                missing=$((missing + 1))
                echo "     $name: no [$want]"
            fi
        done
        if [ "$missing" -eq 0 ]; then
            pass=$((pass + 1)); echo "ok   $name: all ${#burst[@]} pages decoded"
        else
            fail=$((fail + 1)); echo "FAIL $name: $missing of ${#burst[@]} pages not decoded"
            echo "     decoder said: [$out]"
        fi
    done
done

# Fast search: one transmission must reach all 256 codes of its block at every rate; the
# last address of a block needs the codeword after it to be decoded.
for baud in 512 1200 2400; do
    wav="$work/fast-$baud.wav"
    "$cli" fast --start 1003 --baud "$baud" -o "$wav" >/dev/null
    out="$(decode "$wav" alpha no)"
    got="$(grep -o "POCSAG$baud: Address: *[0-9]*  Function: 1" <<<"$out" | grep -o 'Address: *[0-9]*' |
           grep -o '[0-9]*$' | sort -n | uniq | tr '\n' ' ')"
    want="$(seq 1000 1255 | tr '\n' ' ')"
    if [ "$got" = "$want" ]; then
        pass=$((pass + 1)); echo "ok   fast-$baud: codes 1000..1255 all decoded"
    else
        fail=$((fail + 1)); echo "FAIL fast-$baud: decoded [$got]"
    fi
done

# Morse ident through multimon-ng's CW decoder. A radio's audio path does not pass the DC
# level of the gaps, so the recording is high-passed first, as it would be on the air.
for call in GXZYX SOS 0; do
    wav="$work/ident-$call.wav" raw="$work/ident-$call.raw"
    "$cli" ident --callsign "$call" -o "$wav" >/dev/null
    sox -q -V1 -v 0.5 "$wav" -t raw -r 22050 -e signed-integer -b 16 -c 1 "$raw" highpass 200
    head -c 44100 /dev/zero >> "$raw"
    got="$(multimon-ng -q -t raw -a MORSE_CW "$raw" 2>/dev/null | tr -d ' \n')"
    if [ "$got" = "$call" ]; then
        pass=$((pass + 1)); echo "ok   ident $call: MORSE_CW decoded '$got'"
    else
        fail=$((fail + 1)); echo "FAIL ident $call: MORSE_CW decoded '$got'"
    fi
done

echo "$pass passed, $fail failed"
[ "$fail" -eq 0 ]
