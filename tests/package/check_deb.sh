#!/usr/bin/env bash
# Builds the Debian package from a finished build and checks it: its name and dependencies,
# its files, and the installed tarvex-cli at work (--help, a page rendered to WAV).
#   check_deb.sh BUILD_DIR           unpacks the package into a temporary root and runs it there
#   check_deb.sh BUILD_DIR --install also installs it with dpkg -i (as root), runs
#                                    /usr/bin/tarvex-cli and removes the package again
set -euo pipefail
build="$(cd "$1" && pwd)"
mode="${2:-}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

(cd "$build" && cpack -G DEB -B "$work/out" >/dev/null)
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
deb="$work/out/tarvex_${version}_amd64.deb"
[ -f "$deb" ] || { echo "FAIL: no $deb; cpack made: $(ls "$work/out")"; exit 1; }
echo "package: $(basename "$deb") ($(stat -c %s "$deb") bytes)"

depends="$(dpkg-deb -f "$deb" Depends)"
echo "Depends: $depends"
for lib in libqt6widgets6 libqt6multimedia6 qt6-qpa-plugins libstdc++6; do
    grep -q "$lib" <<<"$depends" || { echo "FAIL: Depends lacks $lib"; exit 1; }
done
files="$(dpkg-deb -c "$deb" | awk '{print $6}')"
for f in ./usr/bin/tarvex ./usr/bin/tarvex-cli ./usr/bin/tarvexd \
         ./usr/lib/systemd/system/tarvexd.service ./usr/lib/sysusers.d/tarvex.conf \
         ./usr/share/applications/com.dovrik_apps.tarvex.desktop \
         ./usr/share/metainfo/com.dovrik_apps.tarvex.metainfo.xml \
         ./usr/share/tarvex/help/tarvex-help.html ./usr/lib/udev/rules.d/60-tarvex-cm108.rules \
         ./usr/share/man/man8/tarvexd.8 ./usr/share/man/man5/tarvex.ini.5 \
         ./etc/tarvex/tarvex.ini ./etc/default/tarvexd; do
    grep -qx -- "$f" <<<"$files" || { echo "FAIL: the package lacks $f"; exit 1; }
done

# The settings in /etc are conffiles, and the one tarvexd reads is one it reads healthy as it
# is shipped (every value commented out at its default).
conffiles="$(dpkg-deb -I "$deb" conffiles)"
for f in /etc/tarvex/tarvex.ini /etc/default/tarvexd; do
    grep -qx -- "$f" <<<"$conffiles" || { echo "FAIL: $f is not a conffile"; exit 1; }
done

run_cli() { # tarvex-cli
    # Output is taken whole before it is searched: grep -q would leave at its first match and
    # the program, still writing its help, would die of SIGPIPE (a failure under pipefail).
    local help
    help="$("$1" --help)"
    grep -q "tarvex-cli listing PAGE" <<<"$help" || { echo "FAIL: $1 --help"; exit 1; }
    "$1" wav --ric 1234567 --func 0 --message Hello -o "$work/page.wav" >/dev/null
    [ "$(stat -c %s "$work/page.wav")" = "$((44 + 1387 * 96))" ] ||
        { echo "FAIL: $1 wrote a WAV of the wrong size"; exit 1; }
    # The on-air commands live in a module the program finds beside it (lib/.../tarvex).
    "$1" send --ric 1234567 --message Hello --audio null --port none --key-delay 100 \
        >"$work/send.txt" || { echo "FAIL: $1 send"; cat "$work/send.txt"; exit 1; }
    grep -q "audio: null" "$work/send.txt" || { echo "FAIL: $1 send did not play"; exit 1; }
    echo "ran $1: --help, a page rendered to WAV, a page sent through its on-air module"
}

dpkg-deb -x "$deb" "$work/root"
run_cli "$work/root/usr/bin/tarvex-cli"

if [ "$mode" = "--install" ]; then
    if dpkg-query -W -f='${Status}' tarvex 2>/dev/null | grep -q "ok installed"; then
        echo "FAIL: a tarvex package is installed already; not touching it"
        exit 1
    fi
    dpkg -P tarvex >/dev/null 2>&1 || true # what an earlier removal left (its scripts' state)
    dpkg -i "$deb" >/dev/null
    trap 'dpkg -P tarvex >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
    run_cli /usr/bin/tarvex-cli
    [ -x /usr/bin/tarvex ] || { echo "FAIL: /usr/bin/tarvex missing after dpkg -i"; exit 1; }
    help="$(/usr/bin/tarvexd --help)"
    grep -q "Usage: tarvexd" <<<"$help" || { echo "FAIL: tarvexd --help"; exit 1; }
    getent passwd tarvex >/dev/null || { echo "FAIL: no tarvex system user after dpkg -i"; exit 1; }
    for g in audio dialout lp plugdev gpio; do
        id -nG tarvex | tr ' ' '\n' | grep -qx "$g" || { echo "FAIL: tarvex is not in $g"; exit 1; }
    done
    # The unit must pass systemd's own check (directives, user, executable).
    systemd-analyze verify /usr/lib/systemd/system/tarvexd.service ||
        { echo "FAIL: systemd-analyze verify tarvexd.service"; exit 1; }
    echo "tarvexd.service verified, user tarvex in audio, dialout, lp, plugdev, gpio"
    # Root administers the installed service's station, never the programs' folder.
    /usr/bin/tarvex-cli pager add pkg-check --ric 1234567 2>/dev/null
    [ "$(stat -c %U /var/lib/tarvex/Pagers.txt)" = tarvex ] && [ ! -e /usr/bin/Pagers.txt ] ||
        { echo "FAIL: root's pager add did not go to the service's folder, as tarvex's"; exit 1; }
    /usr/bin/tarvex-cli pager remove pkg-check 2>/dev/null
    mkdir "$work/other"
    /usr/bin/tarvex-cli --folder "$work/other" pager add pkg-check --ric 7 >/dev/null
    grep -q "pkg-check" "$work/other/Pagers.txt" ||
        { echo "FAIL: --folder DIR was not the station folder"; exit 1; }
    /usr/bin/tarvexd --check --config /etc/tarvex/tarvex.ini >"$work/check.txt" 2>/dev/null || true
    # No problem with the file itself, and the service plays through ALSA as shipped.
    ! grep -q "^settings /etc/tarvex/tarvex.ini" "$work/check.txt" &&
        ! grep -Eq "^audio output (default|qt)" "$work/check.txt" ||
        { echo "FAIL: tarvexd --check of the shipped settings"; cat "$work/check.txt"; exit 1; }
    # The installed tarvexd finds its Qt Multimedia module when a setting chooses it.
    TARVEX_AUDIO=qt:no-such-device /usr/bin/tarvexd --check --config /etc/tarvex/tarvex.ini \
        >"$work/check.txt" 2>/dev/null || true
    grep -q 'no audio output device matches "no-such-device"' "$work/check.txt" ||
        { echo "FAIL: the installed tarvexd's Qt audio module"; cat "$work/check.txt"; exit 1; }
    echo "root's tarvex-cli administers /var/lib/tarvex; --folder chooses another"
    # An upgrade from a package that kept the service's settings in its state folder carries
    # them over to /etc once, while the file there still sets nothing.
    old=/var/lib/tarvex/config/dovrik-apps/Tarvex.ini
    mkdir -p "$(dirname "$old")"
    printf '[Tarvex]\nSnppPort=4444\n' >"$old"
    dpkg -i "$deb" >/dev/null 2>&1
    grep -qx "SnppPort=4444" /etc/tarvex/tarvex.ini && [ -f "$old.moved-to-etc" ] ||
        { echo "FAIL: the old settings were not carried over to /etc"; exit 1; }
    rm -rf /var/lib/tarvex/config
    echo "an upgrade carried the old settings over to /etc/tarvex/tarvex.ini"
    dpkg -P tarvex >/dev/null
    echo "installed with dpkg -i, ran, removed"
fi
echo "PASS"
