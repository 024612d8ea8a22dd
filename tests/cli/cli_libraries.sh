#!/usr/bin/env bash
# The render commands of tarvex-cli load nothing but the C and C++ runtime: checked on the
# program's own dynamic section and on what the loader really brings in while `wav`, `listing`
# and `--help` run; `send` loads its on-air module (and with it the sound libraries).
#   cli_libraries.sh TARVEX_CLI WORK_DIR [--sanitized]
# --sanitized (a build with sanitizers) also lets the sanitizers' own runtimes in.
set -euo pipefail
cli="$1"
work="$2"
mkdir -p "$work"
runtime='libc\.so\.6|libm\.so\.6|libgcc_s\.so\.1|libstdc\+\+\.so\.6|ld-linux-x86-64\.so\.2|linux-vdso\.so\.1'
if [ "${3:-}" = "--sanitized" ]; then
    runtime="$runtime|libasan\.so\.[0-9]+|libubsan\.so\.[0-9]+|liblsan\.so\.[0-9]+|libtsan\.so\.[0-9]+"
fi
allowed="^($runtime)\$"
fail() { echo "FAIL: $*"; exit 1; }

needed="$(readelf -d "$cli" | sed -n 's/.*Shared library: \[\(.*\)\]/\1/p')"
echo "NEEDED: $(echo $needed)"
while read -r lib; do
    [[ "$lib" =~ $allowed ]] || fail "tarvex-cli needs $lib"
done <<<"$needed"

# Libraries the loader initialises while a command runs (LD_DEBUG=libs).
loaded() {
    LD_DEBUG=libs "$@" 2>&1 >/dev/null | sed -n 's/.*calling init: \(.*\)/\1/p' | xargs -rn1 basename
}
page=(--ric 1234567 --message "$(printf 'Loads nothing but the runtime %.0s' 1 2 3 4 5 6 7)")
for cmd in "wav ${page[*]@Q} --baud 512 -o $work/page.wav" "listing ${page[*]@Q}" \
           "tune --seconds 1 -o $work/tune.wav" "ident --callsign E -o $work/ident.wav" \
           "fast --start 1000 --listing" "--help"; do
    libs="$(eval loaded "$cli" $cmd)"
    while read -r lib; do
        [ -z "$lib" ] || [[ "$lib" =~ $allowed ]] || fail "tarvex-cli ${cmd%% *} loaded $lib"
    done <<<"$libs"
    echo "tarvex-cli ${cmd%% *}: $(echo "$libs" | grep -c .) libraries: $(echo $libs)"
done
libs="$(loaded "$cli" send --ric 1 --message x --audio null --port none --key-delay 100)"
grep -q '^tarvex-cli-onair' <<<"$libs" || fail "send did not load its on-air module"
echo "tarvex-cli send: $(echo "$libs" | grep -c .) libraries, its module among them"
echo PASS
